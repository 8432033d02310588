// The tool's commands on the player's files and on images: what they print or write, and the
// program's own message with a non-zero exit on failure.
#include "shell/SavedRecords.h"
#include "TestSupport.h"
#include "shell/DecodeUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

class FileCommandsTest : public ::testing::Test {
  protected:
    TToolRun Run(const QStringList& args) { return RunTool(args, Folder.Path); }
    TTempProgramFolder Folder;
};

bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

size_t LineCount(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(FileCommandsTest, EnvDumpOfPlainScrambledOddAndJunkFiles) {
    Folder.Put("plain.dat", HandMadeEnv());
    Folder.Put("scrambled.dat", EncodeText(HandMadeEnv()));
    const TToolRun plain = Run({"env", "dump", "PLAIN.DAT"});
    ASSERT_EQ(plain.ExitCode, 0) << plain.Err;
    for (const char* line :
         {"Reserved0: 10", "MusicOn: 16", "MusicVolume: 42", "GfxSet: 1", "DisplayMode: 2",
          "Highscores[1].Name: Jörg", "Highscores[1].Score: 9900", "Highscores[10].Name: Name10",
          "Highscores[10].Score: 9000", "Residence: Zürich", "Country: Schweiz", "Sex: f",
          "Age: 33", "Reserved364: -5", "BubblesPercent: 55", "GameRecords[1]: rec1",
          "GameRecords[10]: rec10"})
        EXPECT_TRUE(HasLine(plain.Out, line)) << line << "\n" << plain.Out;
    EXPECT_EQ(LineCount(plain.Out), 12u + 20 + 14 + 10);
    const TToolRun scrambled = Run({"env", "dump", "scrambled.dat"});
    EXPECT_EQ(scrambled.ExitCode, 0);
    EXPECT_EQ(scrambled.Out, plain.Out);

    // Every value stays on its one line.
    std::string record = HandMadeEnv();
    PutText(record, 576, "a\nb\\c");
    Folder.Put("odd.dat", record);
    EXPECT_TRUE(HasLine(Run({"env", "dump", "odd.dat"}).Out, "GameRecords[1]: a\\x0Ab\\\\c"));

    std::mt19937 gen(5);
    std::string junk(4000, '\0');
    for (char& c : junk)
        c = static_cast<char>(gen());
    Folder.Put("junk.dat", junk);
    const TToolRun garbage = Run({"env", "dump", "junk.dat"});
    EXPECT_EQ(garbage.ExitCode, 0);
    EXPECT_EQ(LineCount(garbage.Out), 56u);
}

TEST_F(FileCommandsTest, GameDataDumpFailuresAndUsage) {
    Folder.Put("game.dat", HandMadeGameData());
    const TToolRun run = Run({"gamedata", "dump", "GAME.DAT"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Header: Game Datafile v2.0\nLevel: 263\nPlayerName: Spielerin\n"
                       "Reserved76: 76\nReserved80: r80\nReserved112: -112\n");

    Folder.Put("old.dat", HandMadeGameData("Game Datafile v1.0"));
    const TToolRun old = Run({"gamedata", "dump", "old.dat"});
    EXPECT_NE(old.ExitCode, 0);
    EXPECT_EQ(old.Err, "old.dat: Kein Spielstanddatei oder alte Version!\n");
    EXPECT_TRUE(old.Out.empty());

    const TToolRun missing = Run({"gamedata", "dump", "none.dat"});
    EXPECT_NE(missing.ExitCode, 0);
    EXPECT_EQ(missing.Err, "none.dat: File nicht gefunden!\n");
    const TToolRun missingEnv = Run({"env", "dump", "none.dat"});
    EXPECT_NE(missingEnv.ExitCode, 0);
    EXPECT_NE(missingEnv.Err.find("none.dat"), std::string::npos);
    for (const QStringList& args :
         {QStringList{}, QStringList{"env", "load", "x"}, QStringList{"env", "dump", "a", "b"}}) {
        const TToolRun usage = Run(args);
        EXPECT_EQ(usage.ExitCode, 2);
        EXPECT_NE(usage.Err.find("crumble-tool env dump FILE"), std::string::npos) << usage.Err;
    }
}

TEST_F(FileCommandsTest, ImageLoadAndAlphaMap) {
    WriteBitmap(Folder.File("sheet.bmp"), 3, 2, 24, {},
                [](int32_t x, int32_t y) { return y == 0 ? 0xFF0000u >> (8 * x) : 0x081018u; });
    WriteBitmap(Folder.File("sheetm.bmp"), 3, 2, 1, {0, 0xFFFFFF},
                [](int32_t x, int32_t y) { return x == 2 && y == 1 ? 1u : 0u; });
    ASSERT_EQ(Run({"image", "load", "sheet.bmp", "--mask", "sheetm.bmp", "--bits", "16", "out.bmp"})
                  .ExitCode,
              0);
    const std::string out = Folder.Get("out.bmp");
    const TBitmapImage picture =
        DecodeBitmap(reinterpret_cast<const uint8_t*>(out.data()), out.size());
    ASSERT_EQ(picture.Pixels(), TPicturePixels::Bits16);
    const auto raw = [&](int32_t x, int32_t y) {
        return uint32_t(picture.Row(y)[2 * x] | picture.Row(y)[2 * x + 1] << 8);
    };
    EXPECT_EQ(raw(0, 0), 0xF800u);
    EXPECT_EQ(raw(2, 0), 0x001Fu);
    EXPECT_EQ(raw(0, 1), 0x0883u);
    EXPECT_EQ(raw(2, 1), 0u); // masked: the key colour

    WriteBitmap(Folder.File("sheet_mask.bmp"), 3, 1, 8, {0},
                [](int32_t x, int32_t) { return uint32_t(7 * x); });
    ASSERT_EQ(Run({"image", "alphamap", "sheet_mask.bmp", "map.raw"}).ExitCode, 0);
    EXPECT_EQ(Folder.Get("map.raw"), std::string("\0\7\16\0", 4));

    WriteBitmap(Folder.File("small.bmp"), 2, 2, 24, {}, [](int32_t, int32_t) { return 0u; });
    const TToolRun failed = Run({"image", "load", "sheet.bmp", "--mask", "small.bmp", "out.bmp"});
    EXPECT_NE(failed.ExitCode, 0);
    EXPECT_EQ(failed.Err, "Surface and mask image have different dimensions\n");
}

} // namespace
