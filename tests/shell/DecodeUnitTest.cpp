#include "shell/DecodeUnit.h"

#include "platform/msgbox.h"
#include "platform/winpath.h"

#include "SavedRecords.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void ExpectHandMadeEnv(const TEnvData& env) {
    EXPECT_EQ(AsText(EnvToBytes(env)), HandMadeEnv());
}

// --- fixture --------------------------------------------------------------------------------

class SavedState : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMessageHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
            messages.push_back(text);
            return mrOk;
        });
        Env = DefaultEnvData();
        GameData = TGameData{};
        DefaultGameData();
        RandSeed(4711);
    }
    void TearDown() override { SetMessageHandler(nullptr); }
    fs::path At(const std::string& relative) const { return fs::path(root) / relative; }
    void Put(const std::string& relative, const std::string& content) {
        folder.Put(relative, content);
    }
    std::string Get(const std::string& relative) const { return folder.Get(relative); }
    // The messages loading the game data file name gives.
    std::vector<std::string> LoadGame(const std::string& name = GameDataFileName) {
        messages.clear();
        LoadGameData(name);
        return messages;
    }
    TTempProgramFolder folder;
    std::string root = folder.Path;
    std::vector<std::string> messages;
};

// --- records --------------------------------------------------------------------------------

TEST_F(SavedState, DefaultsOfANewInstallation) {
    Env.MusicVolume = 3;
    Env.Highscores[4].Score = 5;
    DefaultEnv();
    for (const auto& entry : Env.Highscores) {
        EXPECT_EQ(entry.Score, EmptyHighscore);
        EXPECT_EQ(entry.Name.Get(), "");
    }
    EXPECT_EQ(Env.Country.Get(), "Schweiz");
    EXPECT_EQ(Env.MusicVolume, 100);
    EXPECT_EQ(Env.EffectsVolume, 100);
    EXPECT_EQ(Env.BubblesPercent, 70);
    EXPECT_EQ(Env.DisplayMode, 0);
    EXPECT_EQ(Env.Sex, ' ');
    // The fields no control shows, seen as file bytes.
    const std::string bytes = AsText(EnvToBytes(Env));
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\x01\x01\x00\x01\x00\x01\x00", 8));
    EXPECT_EQ(bytes.substr(28 + 24, 4), std::string("\x60\x79\xFE\xFF", 4)); // -100000
    EXPECT_EQ(bytes[568], 1);
}

TEST_F(SavedState, RecordBytesLieAtTheirOffsets) {
    const std::string handMade = HandMadeEnv();
    TEnvData env = DefaultEnvData();
    EnvFromBytes(env, handMade);
    const int small[] = {env.Reserved0, env.SoundMode, env.SoundOn, env.StatusLine,
                         env.Autostart, env.Reserved5, env.MusicOn};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(small[i], 10 + i);
    EXPECT_EQ(env.MusicVolume, 42);
    EXPECT_EQ(env.EffectsVolume, 127);
    EXPECT_EQ(env.GfxSet, 1);
    EXPECT_EQ(env.DisplayMode, 2);
    EXPECT_EQ(env.Transparency, 0);
    EXPECT_EQ(env.Highscores[0].Name.Utf8(), "Jörg");
    EXPECT_EQ(env.Highscores[0].Score, 9900);
    EXPECT_EQ(env.Highscores[9].Name.Get(), "Name10");
    EXPECT_EQ(env.Highscores[9].Score, 9000);
    EXPECT_EQ(env.LastPlayerName.Get() + env.PublishID.Get(), "LastID-0123456789");
    EXPECT_EQ(env.Reserved364, -5);
    EXPECT_EQ(env.PublishName.Get() + env.Residence.Utf8() + env.Country.Get() + env.Email.Get(),
              "PublisherZürichSchweiza@b.ch");
    EXPECT_EQ(env.Age, 33);
    EXPECT_EQ(env.Sex, 'f');
    EXPECT_EQ(env.Comment.Get(), "Kommentar");
    EXPECT_EQ(env.GamesStarted, 17);
    EXPECT_EQ(env.GamesWon, 3);
    EXPECT_EQ(env.Reserved568, 9);
    EXPECT_EQ(env.BubblesPercent, 55);
    EXPECT_EQ(env.GameRecords[0].Get() + env.GameRecords[9].Get(), "rec1rec10");
    EXPECT_EQ(AsText(EnvToBytes(env)), handMade);

    TGameData data;
    GameDataFromBytes(data, HandMadeGameData());
    EXPECT_EQ(data.Header.Get(), "Game Datafile v2.0");
    EXPECT_EQ(data.Level, 263);
    EXPECT_EQ(data.PlayerName.Get(), "Spielerin");
    EXPECT_EQ(data.Reserved76, 76);
    EXPECT_EQ(data.Reserved80.Get(), "r80");
    EXPECT_EQ(data.Reserved112, -112);
    const auto back = GameDataToBytes(data);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.data()), back.size()),
              HandMadeGameData());
}

TEST_F(SavedState, ShortStrings) {
    TShortString<5> s;
    s.Set("abcdefgh");
    EXPECT_EQ(s.Get(), "abcde");
    s.Set("xy");
    EXPECT_EQ(s.Get(), "xy");
    EXPECT_EQ(std::string(s.Chars.data(), 5), std::string("xy\0\0\0", 5)) << "no stale text";
    s.SetUtf8("Größe!");
    EXPECT_EQ(s.Get(), "Gr\xF6\xDF"
                       "e");
    EXPECT_EQ(s.Utf8(), "Größe");
    s.Length = 200; // damaged
    EXPECT_EQ(s.Get().size(), 5u);
}

// --- settings file --------------------------------------------------------------------------

TEST_F(SavedState, SaveAndLoadRoundTripScrambled) {
    EnvFromBytes(Env, HandMadeEnv());
    ASSERT_TRUE(SetCurrentDir("/"));
    SaveEnv();
    const std::string first = Get("SPS/env.dat");
    ASSERT_EQ(first.size(), 3 * EnvDataSize);
    EXPECT_EQ(first.find("Schweiz"), std::string::npos) << "scrambled";
    SaveEnv();
    const std::string second = Get("SPS/env.dat");
    EXPECT_NE(first, second) << "random fillers";
    EXPECT_EQ(DecodeText(first), DecodeText(second));
    EXPECT_FALSE(fs::exists(At("SPS/env.dat.tmp")));

    Env = DefaultEnvData();
    ASSERT_TRUE(SetCurrentDir("/"));
    LoadEnv();
    ExpectHandMadeEnv(Env);
}

// Up to twice the record size a file is plain, beyond it scrambled; the size counts modulo
// 65536. A file with no record at all gives the defaults.
TEST_F(SavedState, PlainAndScrambledFilesAreTold) {
    const std::string defaults = AsText(EnvToBytes(DefaultEnvData()));
    const std::pair<std::string, std::string> cases[] = {
        {HandMadeEnv(), HandMadeEnv()},                                 // 1588 bytes: as written
        {EncodeText(HandMadeEnv()), HandMadeEnv()},                     // 4764 bytes
        {HandMadeEnv() + std::string(EnvDataSize, 'x'), HandMadeEnv()}, // 3176 bytes: plain
        {HandMadeEnv() + std::string(65536, 'z'), HandMadeEnv()},       // 1588 modulo 65536
        {std::string(65536, 'z'), defaults},                            // 0 modulo 65536
        {"", defaults},
    };
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(content.size());
        Put("sps/ENV.DAT", content);
        Env = DefaultEnvData();
        Env.MusicVolume = 1; // neither the file's nor the default
        LoadEnv();
        EXPECT_EQ(AsText(EnvToBytes(Env)), expected);
    }
}

// A file cut short, plain or scrambled, keeps the defaults beyond its end.
TEST_F(SavedState, AShortFileKeepsTheDefaultsBeyondItsEnd) {
    Put("SPS/env.dat", HandMadeEnv().substr(0, 1000));
    LoadEnv();
    EXPECT_EQ(Env.MusicVolume, 42);
    EXPECT_EQ(Env.BubblesPercent, 55);
    EXPECT_EQ(Env.GameRecords[3].Get(), "rec4"); // ends at 980
    for (size_t i = 5; i < 10; ++i)
        EXPECT_EQ(Env.GameRecords[i].Get(), "");

    // One byte over twice the record size: scrambled.
    Put("SPS/env.dat", EncodeText(HandMadeEnv().substr(0, 1059)));
    ASSERT_EQ(fs::file_size(At("SPS/env.dat")), 3177u);
    Env = DefaultEnvData();
    LoadEnv();
    EXPECT_EQ(Env.GamesStarted, 17);
    EXPECT_EQ(Env.GameRecords[9].Get(), "");
}

TEST_F(SavedState, GarbageSettingsFilesNeverBreakTheProgram) {
    std::mt19937 gen(99);
    for (size_t size : {1u, 3u, 1587u, 1589u, 3176u, 3177u, 4763u, 4764u, 4765u, 10000u, 70000u}) {
        std::string junk(size, '\0');
        for (char& c : junk)
            c = static_cast<char>(gen());
        Put("SPS/env.dat", junk);
        ASSERT_NO_THROW(LoadEnv()) << size;
        for (const auto& entry : Env.Highscores)
            EXPECT_LE(entry.Name.Get().size(), 20u);
        TrimHighscoreNames();
        for (const auto& entry : Env.Highscores)
            EXPECT_LE(entry.Name.Get().size(), 10u);
        for (const auto& record : Env.GameRecords)
            EXPECT_LE(record.Utf8().size(), 200u);
        InsertHighscore(0);
        SaveEnv();
        EXPECT_EQ(fs::file_size(At("SPS/env.dat")), 3 * EnvDataSize);
    }
}

TEST_F(SavedState, ReadEnvFileLeavesEnvAlone) {
    Put("elsewhere/Other.DAT", HandMadeEnv());
    Env.MusicVolume = 1;
    ExpectHandMadeEnv(ReadEnvFile("ELSEWHERE\\other.dat"));
    EXPECT_EQ(Env.MusicVolume, 1);
    EXPECT_THROW(ReadEnvFile("missing.dat"), EInOutError);
    EXPECT_THROW(ReadEnvFile("elsewhere"), EInOutError);
    LoadEnv(); // no SPS\env.dat: defaults, silently
    EXPECT_EQ(Env.MusicVolume, 100);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SavedState, ACrashWhileSavingLeavesTheOldFileWhole) {
    EnvFromBytes(Env, HandMadeEnv());
    SaveEnv();
    const std::string saved = Get("SPS/env.dat");
    Env.MusicVolume = 0;
    fs::create_directories(At("SPS/env.dat.tmp")); // the new file cannot be made
    EXPECT_THROW(SaveEnv(), EInOutError);
    EXPECT_EQ(Get("SPS/env.dat"), saved);
    fs::remove(At("SPS/env.dat.tmp"));

    Put("SPS/env.dat.tmp", "half a file"); // left by a crash
    LoadEnv();
    ExpectHandMadeEnv(Env);
    SaveEnv();
    EXPECT_FALSE(fs::exists(At("SPS/env.dat.tmp")));

    GameData.Level = 5;
    SaveGameData(GameDataFileName);
    const std::string game = Get("SPS/game.dat");
    fs::create_directories(At("SPS/game.dat.tmp"));
    GameData.Level = 6;
    EXPECT_THROW(SaveGameData(GameDataFileName), EInOutError);
    EXPECT_EQ(Get("SPS/game.dat"), game);
}

// --- game data ------------------------------------------------------------------------------

TEST_F(SavedState, GameDataRoundTrip) {
    fs::create_directories(At("sps"));
    GameData.Level = 9;
    GameData.PlayerName.Set("Tester");
    ASSERT_TRUE(SetCurrentDir("/"));
    SaveGameData(GameDataFileName);
    const std::string bytes = Get("sps/game.dat");
    ASSERT_EQ(bytes.size(), GameDataSize);
    EXPECT_EQ(bytes.substr(0, 19), "\x12Game Datafile v2.0");
    GameData = TGameData{};
    EXPECT_TRUE(LoadGame().empty());
    EXPECT_EQ(GameData.Level, 9);
    EXPECT_EQ(GameData.PlayerName.Get(), "Tester");
}

TEST_F(SavedState, AForeignGameDataFileGivesTheDefaultsAndIsReplacedOnSave) {
    // An old version; a header one character short of the right one, with the right length
    // byte; too short to hold a header.
    std::string almost = HandMadeGameData();
    almost[18] = '1';
    for (const std::string& foreign :
         {HandMadeGameData("Game Datafile v1.0"), almost, std::string("\x12Game")}) {
        Put("SPS/GAME.DAT", foreign);
        GameData.Level = 4;
        EXPECT_TRUE(LoadGame().empty());
        EXPECT_EQ(GameData.Level, 1) << foreign.size();
        EXPECT_EQ(GameData.PlayerName.Get(), "Spieler1");
    }
    SaveGameData(GameDataFileName);
    EXPECT_EQ(Get("SPS/GAME.DAT").substr(0, 19), "\x12Game Datafile v2.0");
}

TEST_F(SavedState, GameDataOfOtherNamesReportsProblems) {
    const std::string foreign = "SPS\\other.dat: Kein Spielstanddatei oder alte Version!";
    EXPECT_EQ(LoadGame("SPS\\other.dat"),
              (std::vector<std::string>{foreign, "SPS\\other.dat: File nicht gefunden!"}));
    Put("SPS/other.dat", HandMadeGameData("Level file"));
    EXPECT_EQ(LoadGame("SPS\\other.dat"), std::vector<std::string>{foreign});
    Put("SPS/other.dat", HandMadeGameData());
    EXPECT_TRUE(LoadGame("SPS\\OTHER.DAT").empty());
    EXPECT_EQ(GameData.Level, 263);
}

TEST_F(SavedState, ShortAndLongGameDataFiles) {
    GameData.Reserved112 = 99;
    Put("SPS/game.dat", HandMadeGameData().substr(0, 60));
    EXPECT_EQ(LoadGame(),
              std::vector<std::string>{
                  "Spielstandfile und Spielstandvariable haben unterschiedliche Größen!"});
    EXPECT_EQ(GameData.Level, 263) << "what was read stays";
    EXPECT_EQ(GameData.Reserved112, 99);

    Put("SPS/game.dat", HandMadeGameData() + std::string(500, '\xFF'));
    EXPECT_TRUE(LoadGame().empty());
    EXPECT_EQ(GameData.Reserved112, -112);
}

// --- highscores -----------------------------------------------------------------------------

void SetScores(std::initializer_list<int32_t> scores) {
    size_t i = 0;
    for (int32_t score : scores) {
        Env.Highscores[i].Score = score;
        Env.Highscores[i].Name.Set("P" + std::to_string(score));
        Env.GameRecords[i].Set("G" + std::to_string(score));
        ++i;
    }
}

TEST_F(SavedState, InsertHighscorePlacesTiesAbove) {
    SetScores({900, 500, 300});
    EXPECT_EQ(InsertHighscore(500), 2);
    EXPECT_EQ(Env.Highscores[0].Score, 900);
    EXPECT_EQ(Env.Highscores[1].Score, 500);
    EXPECT_EQ(Env.Highscores[1].Name.Get(), " ");
    EXPECT_EQ(Env.Highscores[2].Score, 500);
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "P500");
    EXPECT_EQ(Env.Highscores[3].Name.Get(), "P300");
    EXPECT_EQ(Env.Highscores[4].Score, EmptyHighscore);
    EXPECT_EQ(Env.GameRecords[1].Get(), "G500") << "records stay in place";
    EXPECT_EQ(Env.GameRecords[2].Get(), "G300");
}

TEST_F(SavedState, InsertHighscoreIntoEmptyAndFullLists) {
    EXPECT_EQ(InsertHighscore(EmptyHighscore - 1), 0);
    EXPECT_EQ(InsertHighscore(EmptyHighscore), 1);
    Env = DefaultEnvData();
    EXPECT_EQ(InsertHighscore(0), 1);

    SetScores({1000, 900, 800, 700, 600, 500, 400, 300, 200, 100});
    const std::string before = AsText(EnvToBytes(Env));
    EXPECT_EQ(InsertHighscore(99), 0);
    EXPECT_EQ(AsText(EnvToBytes(Env)), before);
    EXPECT_EQ(InsertHighscore(100), 10);
    EXPECT_EQ(Env.Highscores[9].Name.Get(), " ");
    EXPECT_EQ(Env.Highscores[8].Score, 200);
    EXPECT_EQ(InsertHighscore(5000), 1);
    EXPECT_EQ(Env.Highscores[1].Name.Get(), "P1000");
    EXPECT_EQ(Env.Highscores[9].Score, 200) << "the last place dropped out";
}

TEST_F(SavedState, TrimHighscoreNames) {
    Env.Highscores[0].Name.Set("ABCDEFGHIJKLMNO");
    Env.Highscores[1].Name.Set("ABCDEFGHIJ");
    Env.Highscores[2].Name.Set("Kurz");
    Env.Highscores[3].Name.Set("01234567890123456789");
    Env.Highscores[3].Name.Length = 250; // damaged
    TrimHighscoreNames();
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "ABCDEFGHIJ");
    EXPECT_EQ(Env.Highscores[1].Name.Get(), "ABCDEFGHIJ");
    EXPECT_EQ(Env.Highscores[2].Name.Get(), "Kurz");
    EXPECT_EQ(Env.Highscores[3].Name.Get(), "0123456789");
}

// --- scrambling -----------------------------------------------------------------------------

bool IsFiller(char c) {
    return (c >= 'A' && c <= 'Y') || (c >= 'a' && c <= 'y') || (c >= '0' && c <= '8');
}

TEST_F(SavedState, EncodeAbc) {
    const std::string encoded = EncodeText("abc");
    ASSERT_EQ(encoded.size(), 9u);
    for (size_t i : {2u, 5u, 8u})
        EXPECT_TRUE(encoded[i] >= 'a' && encoded[i] <= 'z') << encoded;
    EXPECT_EQ(DecodeText(encoded), "abc");

    // Fillers: capitals A-Y, small letters a-y and digits 0-8, each about a third.
    RandSeed(1);
    const std::string dots = EncodeText(std::string(300, '.'));
    int kinds[3] = {0, 0, 0};
    for (size_t i = 0; i < dots.size(); ++i) {
        if (i % 3 == 2) continue;
        const char c = dots[i];
        ASSERT_TRUE(IsFiller(c)) << c;
        ++kinds[c <= '8' ? 2 : c <= 'Y' ? 0 : 1];
    }
    for (int count : kinds)
        EXPECT_GT(count, 150);
    RandSeed(1);
    EXPECT_EQ(EncodeText(std::string(300, '.')), dots) << "the fillers follow the seed";
}

TEST_F(SavedState, DecodeInvertsEncodeForEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(DecodeText(EncodeText(all)), all);
    EXPECT_EQ(DecodeText(""), "");
    EXPECT_EQ(DecodeText(EncodeText("xy") + "ab"), "xy") << "an incomplete group is ignored";
}

TEST_F(SavedState, TheSubstitutionKeepsClassesAndHidesText) {
    const std::string capitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string encoded = EncodeText(capitals + "0123456789 .\xE4");
    std::string thirds;
    for (size_t i = 2; i < encoded.size(); i += 3)
        thirds += encoded[i];
    std::string sortedCapitals = thirds.substr(0, 26);
    std::sort(sortedCapitals.begin(), sortedCapitals.end());
    EXPECT_EQ(sortedCapitals, capitals);
    EXPECT_NE(thirds.substr(0, 26), capitals);
    std::string digits = thirds.substr(26, 10);
    EXPECT_NE(digits, "0123456789");
    std::sort(digits.begin(), digits.end());
    EXPECT_EQ(digits, "0123456789");
    EXPECT_EQ(thirds.substr(36), " .\xE4");
    // Level files share the substitution: a fixed text always scrambles to the same thirds.
    const std::string again = EncodeText(capitals);
    for (size_t i = 0; i < 26; ++i)
        EXPECT_EQ(again[3 * i + 2], thirds[i]);
}

} // namespace
