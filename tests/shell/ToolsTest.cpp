#include "shell/Tools.h"

#include "platform/clock.h"
#include "platform/winpath.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class ToolsFiles : public ::testing::Test {
  protected:
    fs::path At(const std::string& relative) const { return fs::path(root) / relative; }
    void Put(const std::string& relative, const std::string& content) {
        folder.Put(relative, content);
    }
    std::string Get(const std::string& relative) const { return folder.Get(relative); }
    TTempProgramFolder folder;
    std::string root = folder.Path;
};

// --- program folder -------------------------------------------------------------------------

TEST_F(ToolsFiles, ProgDirIsNeverShortened) {
    const std::string deep = root + "/" + std::string(60, 'a') + "/" + std::string(60, 'b');
    fs::create_directories(deep);
    SetProgramFolder(deep);
    EXPECT_EQ(ProgDir(), deep);
    ASSERT_TRUE(SetCurrentDir("/"));
    EnterProgDir();
    EXPECT_EQ(fs::current_path(), fs::canonical(deep));
}

TEST_F(ToolsFiles, EnterProgDirFailureNamesTheFolder) {
    SetProgramFolder(root + "/gone");
    try {
        EnterProgDir();
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find(root + "/gone"), std::string::npos);
        EXPECT_EQ(e.Code, ENOENT);
    }
}

// --- log ------------------------------------------------------------------------------------

TEST_F(ToolsFiles, WriteLogCreatesFolderAndAppendsCrLfLines) {
    ASSERT_TRUE(SetCurrentDir("/"));
    WriteLog("Start");
    WriteLog("2a");
    WriteLog("");
    EXPECT_TRUE(fs::is_directory(At("sps")));
    EXPECT_EQ(Get("sps/LOG.TXT"), "Start\r\n2a\r\n\r\n");
    EXPECT_EQ(fs::current_path(), fs::canonical(root))
        << "the log is written from the program folder";
}

TEST_F(ToolsFiles, WriteLogUsesAnExistingLogOfAnyCaseAndThrowsWhenItCannotWrite) {
    Put("SPS/log.txt", "old\r\n");
    WriteLog("new");
    EXPECT_EQ(Get("SPS/log.txt"), "old\r\nnew\r\n");
    EXPECT_FALSE(fs::exists(At("sps")));
    EXPECT_EQ(std::distance(fs::directory_iterator(At("SPS")), fs::directory_iterator()), 1);
    fs::remove(At("SPS/log.txt"));
    fs::create_directories(At("SPS/log.txt"));
    EXPECT_THROW(WriteLog("x"), EInOutError);
}

TEST_F(ToolsFiles, LogIsOKOnlyForAMissingLogOrAFinalOk) {
    EXPECT_TRUE(LogIsOK()) << "no log";
    const std::pair<std::string, bool> cases[] = {
        {"Start\r\nOK\r\n", true},  {"OK", true}, {"Start\nOK\n", true}, {"OK \r\n", false},
        {"ok\r\n", false},          {"", false},  {"OK\r\n\r\n", false}, {"OK\r\nERROR\r\n", false},
        {"OK\r\nStart\r\n", false},
    };
    for (const auto& [content, clean] : cases) {
        Put("sps/LOG.TXT", content);
        EXPECT_EQ(LogIsOK(), clean) << '"' << content << '"';
    }
}

// That it deletes the log is the overlay test's (below).
TEST_F(ToolsFiles, EraseLogIgnoresErrors) {
    EXPECT_NO_THROW(EraseLog());
    SetProgramFolder(root + "/gone");
    EXPECT_NO_THROW(EraseLog());
}

// An installed program folder: the log and the configuration live in the player's folder, the
// shipped fallback configuration is still read, and the program folder stays as it was.
TEST(ToolsOverlay, LogAndConfigurationLiveInThePlayersFolder) {
    TOverlaidProgramFolder folders;
    folders.Program.Put("SPS/Level1.txt", "level");
    folders.Program.Put("prog.cfg", "servername: shipped\r\n");
    const auto before = folders.ProgramFiles();
    WriteLog("Start");
    EXPECT_FALSE(LogIsOK());
    WriteLog("OK");
    EXPECT_TRUE(LogIsOK());
    EXPECT_EQ(ReadCfg("servername", ""), "shipped");
    WriteCfg("servername", "mine");
    EXPECT_EQ(ReadCfg("servername", ""), "mine");
    EXPECT_EQ(LogFileLocation(), folders.Player + "/SPS/LOG.TXT");
    EXPECT_EQ(ReadWholeFile(folders.Player + "/SPS/LOG.TXT"), "Start\r\nOK\r\n");
    EXPECT_EQ(ReadWholeFile(folders.Player + "/SPS/prog.cfg"), "servername: mine\r\n");
    EraseLog();
    EXPECT_FALSE(fs::exists(folders.Player + "/SPS/LOG.TXT"));
    EXPECT_EQ(folders.ProgramFiles(), before);
}

// --- configuration ----------------------------------------------------------------------------

TEST_F(ToolsFiles, ReadCfgKeyRules) {
    // A missing file gives the default, and is made empty.
    EXPECT_EQ(ReadCfg("caveedit", "0"), "0");
    ASSERT_TRUE(fs::is_regular_file(At("sps/prog.cfg")));
    EXPECT_EQ(fs::file_size(At("sps/prog.cfg")), 0u);
    EXPECT_EQ(ReadCfgRaw("caveedit"), "");
    Put("sps/prog.cfg", "CAVEEDIT: 1\r\n"
                        "PER Name: Hans Muster\r\n"
                        "url: http://x:80/a\r\n"
                        "nocolon\r\n"
                        "tight:1\r\n"
                        "empty: \r\n"
                        "twice: first\r\n"
                        "TWICE: second\r\n");
    EXPECT_EQ(ReadCfg("caveedit", "0"), "1");
    EXPECT_EQ(ReadCfg("per name", ""), "Hans Muster");
    EXPECT_EQ(ReadCfg("URL", ""), "http://x:80/a");
    EXPECT_EQ(ReadCfg("tight", "d"), "d") << "without the blank the value loses its character";
    EXPECT_EQ(ReadCfg("empty", "d"), "d");
    EXPECT_EQ(ReadCfg("twice", ""), "second");
    EXPECT_EQ(ReadCfg("nocolon", "d"), "d");
    EXPECT_EQ(ReadCfg("missing", "d"), "d");
}

TEST_F(ToolsFiles, ReadCfgFallsBackToTheProgramFoldersFile) {
    Put("prog.cfg", "PER Name: Fallback\r\ncaveedit: 1\r\n");
    Put("sps/prog.cfg", "caveedit: \r\nother: 2\r\n");
    EXPECT_EQ(ReadCfg("PER Name", "d"), "Fallback");
    EXPECT_EQ(ReadCfg("caveedit", "0"), "1") << "an empty value counts as missing";
    EXPECT_EQ(ReadCfgRaw("other"), "2");
    EXPECT_EQ(ReadCfgRaw("PER NAME"), "Fallback");
    EXPECT_EQ(ReadCfgRaw("absent"), "");
    fs::remove(At("prog.cfg"));
    EXPECT_EQ(ReadCfg("PER Name", "d"), "d");
    EXPECT_FALSE(fs::exists(At("prog.cfg"))) << "the fallback is only read";
}

TEST_F(ToolsFiles, OnlyTheFirst3000LinesCount) {
    std::string text;
    for (int i = 1; i < CfgMaxLines; ++i)
        text += "line" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    text += "last: in\r\n";    // line 3000
    text += "beyond: out\r\n"; // line 3001
    Put("sps/prog.cfg", text);
    EXPECT_EQ(ReadCfgRaw("last"), "in");
    EXPECT_EQ(ReadCfgRaw("beyond"), "");

    // A key that would land beyond line 3000 could never be read back.
    EXPECT_THROW(WriteCfg("newkey", "1"), EInOutError);
    EXPECT_EQ(Get("sps/prog.cfg"), text);

    // Changing a visible key keeps the rest of the file as it was.
    WriteCfg("line5", "five");
    const std::string changed = Get("sps/prog.cfg");
    EXPECT_NE(changed.find("\r\nline5: five\r\n"), std::string::npos);
    EXPECT_NE(changed.find("\r\nbeyond: out\r\n"), std::string::npos);
    EXPECT_EQ(ReadCfgRaw("line5"), "five");
}

TEST_F(ToolsFiles, WriteCfgChangesTheLastMatchingLineOnly) {
    Put("sps/prog.cfg", "caveedit: 0\nother: x\nCaveEdit: 0\n");
    WriteCfg("caveedit", "1");
    EXPECT_EQ(Get("sps/prog.cfg"), "caveedit: 0\r\nother: x\r\ncaveedit: 1\r\n");
    WriteCfg("PER Name", "Anna");
    EXPECT_EQ(Get("sps/prog.cfg"), "caveedit: 0\r\nother: x\r\ncaveedit: 1\r\nPER Name: Anna\r\n");
    EXPECT_EQ(ReadCfg("caveedit", "0"), "1");
    EXPECT_EQ(ReadCfg("per name", ""), "Anna");
}

TEST_F(ToolsFiles, AFailedCfgWriteLeavesTheOldFileWhole) {
    Put("sps/prog.cfg", "caveedit: 0\r\n");
    // The temporary file cannot be made: the write stops before the old file is touched.
    fs::create_directories(At("sps/prog.cfg.tmp"));
    EXPECT_THROW(WriteCfg("caveedit", "1"), EInOutError);
    EXPECT_EQ(Get("sps/prog.cfg"), "caveedit: 0\r\n");
    fs::remove(At("sps/prog.cfg.tmp"));

    // A temporary file left over by a crash is ignored and then replaced.
    Put("sps/prog.cfg.tmp", "caveedit: gar");
    EXPECT_EQ(ReadCfg("caveedit", "d"), "0");
    WriteCfg("caveedit", "1");
    EXPECT_EQ(Get("sps/prog.cfg"), "caveedit: 1\r\n");
    EXPECT_FALSE(fs::exists(At("sps/prog.cfg.tmp")));
}

TEST_F(ToolsFiles, ReadFileBytesStopsAtTheLimit) {
    Put("data.bin", std::string("ab\0cd", 5));
    EXPECT_EQ(ReadFileBytes("DATA.BIN"), std::string("ab\0cd", 5));
    EXPECT_EQ(ReadFileBytes("data.bin", 3), std::string("ab\0", 3));
    EXPECT_EQ(FileSizeOf("Data.Bin"), 5u);
    EXPECT_THROW(ReadFileBytes("missing"), EInOutError);
    EXPECT_THROW(FileSizeOf("missing"), EInOutError);
    fs::create_directories(At("folder"));
    EXPECT_THROW(FileSizeOf("folder"), EInOutError);
}

// --- waiting --------------------------------------------------------------------------------

TEST(Tools, DelayMsWaitsUntilMoreThanTheTimeHasPassed) {
    TManualClock manual(100);
    SetClock(&manual);
    DelayMs(5);
    EXPECT_EQ(manual.Now.load(), 106u);
    DelayMs(0);
    EXPECT_EQ(manual.Now.load(), 107u);
    manual.Now = 0xFFFFFFFEu;
    DelayMs(5);
    EXPECT_EQ(manual.Now.load(), 4u) << "across the wrap of the counter";
    SetClock(nullptr);
}

// --- formatting -------------------------------------------------------------------------------

TEST(Tools, StrToFloatAnyTakesCommaOrPoint) {
    const std::pair<const char*, double> good[] = {
        {"3,5", 3.5}, {"3.5", 3.5}, {" -2,25 ", -2.25}, {"+7", 7.0}, {"1e3", 1000.0}, {",5", 0.5}};
    for (const auto& [text, value] : good)
        EXPECT_DOUBLE_EQ(StrToFloatAny(text), value) << text;
    for (const char* bad :
         {"", "abc", "1,2,3", "1.234,5", "3,5x", "-", "1e", "inf", "nan", "0x10"}) {
        try {
            StrToFloatAny(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string(bad) + " ist kein gültiger Gleitkommastring");
        }
    }
}

struct TCommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(Tools, StrToFloatAnyIgnoresTheLocale) {
    // A German C locale when installed, and always a C++ locale with a decimal comma.
    const std::string previousC = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) std::setlocale(LC_NUMERIC, "de_DE");
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new TCommaDecimal));
    EXPECT_DOUBLE_EQ(StrToFloatAny("3,5"), 3.5);
    EXPECT_DOUBLE_EQ(StrToFloatAny("3.5"), 3.5);
    std::locale::global(previous);
    std::setlocale(LC_NUMERIC, previousC.c_str());
}

TEST(Tools, IntToStrZero) {
    EXPECT_EQ(IntToStrZero(-7, 3), "-007");
    EXPECT_EQ(IntToStrZero(1234, 3), "1234");
    EXPECT_EQ(IntToStrZero(42, 5), "00042");
    EXPECT_EQ(IntToStrZero(0, 0), "0");
    EXPECT_EQ(IntToStrZero(0, 2), "00");
    EXPECT_EQ(IntToStrZero(-5, 0), "-5");
    EXPECT_EQ(IntToStrZero(INT32_MIN, 12), "-002147483648");
}

// --- Windows-1252 -----------------------------------------------------------------------------

TEST(Tools, AnsiUtf8RoundTripOfEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = AnsiToUtf8(all);
    EXPECT_EQ(Utf8ToAnsi(utf8), all);
    EXPECT_EQ(std::count(utf8.begin(), utf8.end(), '?'), 1) << "no byte is lost to '?'";
}

TEST(Tools, AnsiUtf8KnownCharacters) {
    EXPECT_EQ(AnsiToUtf8("Gr\xF6\xDF"
                         "e"),
              "Größe");
    EXPECT_EQ(Utf8ToAnsi("Größe"), "Gr\xF6\xDF"
                                   "e");
    EXPECT_EQ(AnsiToUtf8("\x80\x8A\x9F"), "€ŠŸ");
    EXPECT_EQ(Utf8ToAnsi("€ – “x”"), "\x80 \x96 \x93x\x94");
    EXPECT_EQ(AnsiToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(Utf8ToAnsi("\u0080\u0085"), "??") << "C1 controls Windows-1252 lacks";
    EXPECT_EQ(Utf8ToAnsi("日本"), "??");
    EXPECT_EQ(Utf8ToAnsi("😀a"), "?a");
    EXPECT_EQ(Utf8ToAnsi("\xFF"
                         "a"),
              "?a")
        << "not UTF-8";
    EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?") << "cut sequence";
    EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??") << "overlong";
    EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???") << "surrogate";
}

// --- random -----------------------------------------------------------------------------------

TEST(Tools, RandomIsSeedableAndInRange) {
    RandSeed(12345);
    std::vector<uint32_t> first;
    for (int i = 0; i < 100; ++i)
        first.push_back(Random(1000));
    RandSeed(12345);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Random(1000), first[static_cast<size_t>(i)]);
    std::set<uint32_t> seen;
    for (int i = 0; i < 1000; ++i) {
        const uint32_t r = Random(3);
        ASSERT_LT(r, 3u);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(Random(0), 0u);
    EXPECT_EQ(Random(1), 0u);
    RandSeed(1);
    const uint32_t a = Random(0xFFFFFFFFu);
    RandSeed(2);
    EXPECT_NE(Random(0xFFFFFFFFu), a);
}

TEST(Tools, RandomFloatStepsTheSameGeneratorWithinZeroToOne) {
    // The state after seeding 0 and one step is 1, after two steps 134775814.
    RandSeed(0);
    EXPECT_EQ(RandomFloat(), 1.0 / 4294967296.0);
    EXPECT_EQ(Random(4294967295u), uint32_t((134775814ull * 4294967295ull) >> 32));
    double low = 1, high = 0;
    for (int i = 0; i < 10000; ++i) {
        const double r = RandomFloat();
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_LT(low, 0.01);
    EXPECT_GT(high, 0.99);
}

} // namespace
