#pragma once
// The saved state: the settings record Env (SPS\env.dat, scrambled) and the game data record
// GameData (SPS\game.dat), both fixed-size and stored byte for byte, the local highscore list,
// and the text scrambling shared with the level files.
#include "shell/Tools.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

static_assert(std::endian::native == std::endian::little, "the records are stored as in memory");

// A length-prefixed text of at most N Windows-1252 bytes: one length byte, then N bytes.
// Bytes behind the text carry no meaning; Set clears them so saved files hold no stale text.
template <size_t N> struct TShortString {
    uint8_t Length = 0;
    std::array<char, N> Chars{};

    // The raw bytes; a damaged length byte above N is read as N.
    std::string Get() const { return std::string(Chars.data(), std::min<size_t>(Length, N)); }
    // Keeps the first N bytes of text.
    void Set(std::string_view text) {
        const size_t n = std::min(text.size(), N);
        Length = static_cast<uint8_t>(n);
        std::fill(std::copy_n(text.begin(), n, Chars.begin()), Chars.end(), '\0');
    }
    std::string Utf8() const { return AnsiToUtf8(Get()); }
    void SetUtf8(std::string_view text) { Set(Utf8ToAnsi(text)); }
};

constexpr int32_t EmptyHighscore = -100000; // the score of an unused place
constexpr int HighscoreCount = 10;

struct THighscoreEntry {
    TShortString<20> Name;
    std::array<uint8_t, 3> Gap21{};
    int32_t Score = 0;
};

// Booleans are bytes (0 or 1) so that any byte a file holds is a valid value.
// The lists are 0-based here: highscore place p (1..10) is Highscores[p - 1], and its game
// record is GameRecords[p - 1].
struct TEnvData {
    uint8_t Reserved0 = 0;
    uint8_t SoundMode = 0; // 2 switches on the sound engine's device flag
    uint8_t SoundOn = 0;
    uint8_t StatusLine = 0;
    uint8_t Autostart = 0;
    uint8_t Reserved5 = 0;
    uint8_t MusicOn = 0;
    std::array<uint8_t, 1> Gap7{};
    int32_t MusicVolume = 0;   // 0..127
    int32_t EffectsVolume = 0; // 0..127
    uint8_t GfxSet = 0;        // 0 "sb", 1 "fb"
    std::array<uint8_t, 3> Gap17{};
    int32_t DisplayMode = 0; // 0, 1 or 2
    uint8_t Transparency = 0;
    std::array<uint8_t, 3> Gap25{};
    std::array<THighscoreEntry, HighscoreCount> Highscores{}; // best first
    TShortString<20> LastPlayerName;
    TShortString<34> PublishID;
    int32_t Reserved364 = 0;
    TShortString<20> PublishName;
    TShortString<20> Residence;
    TShortString<20> Country;
    TShortString<40> Email;
    int32_t Age = 0;
    char Sex = 0; // ' ' none, 'f', 'm'
    TShortString<80> Comment;
    std::array<uint8_t, 2> Gap558{};
    int32_t GamesStarted = 0;
    int32_t GamesWon = 0;
    uint8_t Reserved568 = 0;
    std::array<uint8_t, 3> Gap569{};
    int32_t BubblesPercent = 0; // 0..100
    std::array<TShortString<100>, HighscoreCount> GameRecords{};
    std::array<uint8_t, 2> Gap1586{};
};

struct TGameData {
    TShortString<40> Header;
    std::array<uint8_t, 1> Gap41{};
    uint16_t Level = 0; // the level file "SPS\Level<Level>.txt"
    TShortString<31> PlayerName;
    int32_t Reserved76 = 0;
    TShortString<31> Reserved80;
    int32_t Reserved112 = 0;
};

constexpr size_t EnvDataSize = 1588;
constexpr size_t GameDataSize = 116;
constexpr const char* EnvFileName = "SPS\\env.dat";
constexpr const char* GameDataFileName = "SPS\\game.dat";
constexpr std::string_view GameDataHeader = "Game Datafile v2.0";

// The substitutes of "A".."Z" and "0".."9" used by EncodeText; the level files use them too.
constexpr std::string_view EncodeCapitals = "QWERTZUIOPASDFGHJKLYXCVBNM";
constexpr std::string_view EncodeDigits = "7305194862";

extern TEnvData Env;
extern TGameData GameData;

// The record with every default (highscores empty, country "Schweiz", volumes 100, ...).
TEnvData DefaultEnvData();
// Env := DefaultEnvData(), and seeds the random generator from the clock.
void DefaultEnv();
// DefaultEnv, then SPS\env.dat in the program folder when it exists. Throws EInOutError.
void LoadEnv();
// Writes Env scrambled to SPS\env.dat, replacing the old file whole. Throws EInOutError.
void SaveEnv();
// The defaults overlaid with what the settings file at fileName holds (scrambled or plain),
// without touching Env. Only (size mod 65536) bytes are read; a shorter record keeps the
// defaults for the rest. Throws EInOutError when the file cannot be read.
TEnvData ReadEnvFile(const std::string& fileName);

// Level 1, player "Spieler1", the reserved fields cleared; the header stays.
void DefaultGameData();
// Reads GameData from fileName (relative to the program folder). Problems with
// "SPS\game.dat" give the defaults silently; other names are reported in message boxes.
void LoadGameData(const std::string& fileName);
// Sets the header and writes GameData to fileName, replacing the old file whole.
// Throws EInOutError.
void SaveGameData(const std::string& fileName);

enum class TGameDataFileState {
    Loaded,      // header and all 116 bytes read
    NotFound,    // missing or not openable
    NotGameData, // shorter than the header, or another header
    Short,       // the right header but fewer than 116 bytes; data holds what was read
};
// Reads a game data file into data without touching GameData; data changes only when the
// header is right.
TGameDataFileState ReadGameDataFile(const std::string& fileName, TGameData& data);

// Puts score into the list; returns its place 1..10 (a tie goes above the old entry) or 0.
// The new entry's name is " "; GameRecords stay where they are.
int32_t InsertHighscore(int32_t score);
// Cuts every highscore name to at most 10 characters.
void TrimHighscoreNames();

// Three characters per character: two random fillers and the substitute.
std::string EncodeText(std::string_view s);
// Every third character, substituted back; a trailing incomplete group is ignored.
std::string DecodeText(std::string_view s);

// The raw record bytes. The *FromBytes forms copy the first min(size, record size) bytes over
// the record and leave the rest as it was.
std::array<uint8_t, EnvDataSize> EnvToBytes(const TEnvData& env);
void EnvFromBytes(TEnvData& env, std::string_view bytes);
std::array<uint8_t, GameDataSize> GameDataToBytes(const TGameData& data);
void GameDataFromBytes(TGameData& data, std::string_view bytes);
