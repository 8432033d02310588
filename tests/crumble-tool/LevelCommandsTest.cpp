// The level as built: the scrambled file decodes back to its source through the tool, and every
// cell of its formations brings an enemy.
#include "shell/DecodeUnit.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
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

// What the game would pass over in silence: a cell it cannot read, or a letter no "bob"
// statement names (one in twenty "a" cells turns into a "b" cell, so "b" needs one too). That
// the script plays through, uses every kind and lets every wave be completed is the enemies'
// test on the built level.
TEST(LevelCommandsTest, EveryCellNamesALetterTheScriptAssigns) {
    std::set<char> letters = {'b'}, assigned;
    for (const std::string& text : TextLines(ReadWholeFile(CRUMBLE_LEVEL_SOURCE))) {
        const std::string line = Lower(text);
        if (std::regex_match(line, std::regex("bob[a-z]=.*"))) assigned.insert(line[3]);
        for (size_t start = 0, semi; (semi = line.find(';', start)) != std::string::npos;
             start = semi + 1) {
            const std::string cell = line.substr(start, semi - start);
            if (cell.size() < 2) continue; // an empty cell keeps its place
            EXPECT_TRUE(std::regex_match(cell, std::regex("[a-z]\\d{1,2}"))) << cell;
            letters.insert(cell[0]);
        }
    }
    for (const char letter : letters)
        EXPECT_TRUE(assigned.count(letter)) << "letter without a bob statement: " << letter;
}

} // namespace
