// The level as built: the scrambled file decodes back to its source through the tool, and the
// source is a well-formed script whose formations and waves the game can run.
#include "shell/DecodeUnit.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

const std::filesystem::path GameDir = std::filesystem::path(CRUMBLE_TOOL_PATH).parent_path();

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(LevelCommandsTest, TheBuiltLevelIsScrambledAndDecodesToItsSource) {
    const std::string source = ReadWholeFile(CRUMBLE_LEVEL_SOURCE);
    const std::string built = ReadWholeFile((GameDir / "SPS" / "Level1.txt").string());
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(built.find("DefineFormation"), std::string::npos) << "not scrambled";
    const TToolRun decoded = RunTool(
        {"level", "decode", QString::fromStdString((GameDir / "SPS" / "Level1.txt").string())});
    EXPECT_EQ(decoded.ExitCode, 0);
    EXPECT_EQ(decoded.Out, source);
    // The game decodes every line on its own.
    const std::vector<std::string> scrambled = TextLines(built);
    const std::vector<std::string> plain = TextLines(source);
    ASSERT_EQ(scrambled.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i)
        EXPECT_EQ(DecodeText(scrambled[i]), plain[i]) << "line " << i + 1;
}

TEST(LevelCommandsTest, EncodeAndDecodeKeepEveryLineAndFailOnAMissingFile) {
    TTempProgramFolder folder;
    const std::string plain = "bobA=Chip1\r\n\r\nbobspeed=2,5 ;x\r\nend\r\n";
    folder.Put("in.txt", plain);
    const std::string in = folder.Path + "/in.txt", out = folder.Path + "/out.txt";
    EXPECT_EQ(RunTool({"level", "encode", QString::fromStdString(in), QString::fromStdString(out)})
                  .ExitCode,
              0);
    EXPECT_EQ(RunTool({"level", "decode", QString::fromStdString(out)}).Out,
              "bobA=Chip1\n\nbobspeed=2,5 ;x\nend\n");
    EXPECT_NE(
        RunTool({"level", "decode", QString::fromStdString(folder.Path + "/missing.txt")}).ExitCode,
        0);
}

TEST(LevelCommandsTest, TheScriptIsWellFormed) {
    const std::vector<std::string> lines = TextLines(ReadWholeFile(CRUMBLE_LEVEL_SOURCE));
    const std::set<std::string> kinds = {"chip1",      "umdreh",      "pepper1",
                                         "dauerfeuer", "doppelbreit", "explode"};
    std::map<std::string, size_t> labels;
    for (size_t i = 0; i < lines.size(); ++i)
        if (Lower(lines[i]).rfind("defineformation", 0) == 0) labels[Lower(lines[i])] = i;

    std::set<char> letters;
    std::set<std::string> usedKinds;
    std::set<std::string> called;
    bool waveOpen = false;
    int waves = 0;
    size_t i = 0;
    for (; i < lines.size(); ++i) {
        const std::string line = Lower(lines[i]);
        if (line == "end") break;
        std::smatch m;
        if (std::regex_match(line, m, std::regex("bob([a-z])=(.*)"))) {
            EXPECT_TRUE(kinds.count(m[2])) << line;
            letters.insert(m[1].str()[0]);
            usedKinds.insert(m[2]);
        } else if (std::regex_match(line, m, std::regex("formation(\\d+)"))) {
            called.insert("defineformation" + m[1].str());
        } else if (line == "wavebegin") {
            EXPECT_FALSE(waveOpen) << "line " << i + 1;
            waveOpen = true;
            ++waves;
        } else if (line == "waveend") {
            EXPECT_TRUE(waveOpen) << "line " << i + 1;
            waveOpen = false;
        }
    }
    ASSERT_LT(i, lines.size()) << "the script has no end";
    EXPECT_FALSE(waveOpen);
    EXPECT_GE(waves, 5);
    EXPECT_EQ(usedKinds, kinds) << "every kind, the four extras included, takes part";
    // One in twenty "a" cells turns into a "b" cell, so "b" must be assigned too.
    EXPECT_TRUE(letters.count('a') && letters.count('b'));

    for (const std::string& label : called) {
        SCOPED_TRACE(label);
        ASSERT_TRUE(labels.count(label));
        EXPECT_GT(labels[label], i) << "formations follow the script's end";
        size_t row = labels[label] + 1;
        for (; row < lines.size() && Lower(lines[row]).rfind("end", 0) != 0; ++row) {
            std::string cells = Lower(lines[row]);
            size_t start = 0, semi = 0;
            while ((semi = cells.find(';', start)) != std::string::npos) {
                const std::string cell = cells.substr(start, semi - start);
                if (cell.size() >= 2) {
                    EXPECT_TRUE(std::regex_match(cell, std::regex("[a-z]\\d{1,2}"))) << cell;
                    EXPECT_TRUE(letters.count(cell[0]))
                        << "letter without a bob statement: " << cell;
                }
                start = semi + 1;
            }
        }
        EXPECT_LT(row, lines.size()) << "formation without its end row";
    }
}

} // namespace
