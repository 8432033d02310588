#include "shell/DecodeUnit.h"

#include "platform/msgbox.h"
#include "platform/winpath.h"

#include <cstring>
#include <type_traits>

// The files hold these records byte for byte, so the layout is fixed here.
static_assert(std::is_trivially_copyable_v<TEnvData> && std::is_standard_layout_v<TEnvData>);
static_assert(std::is_trivially_copyable_v<TGameData> && std::is_standard_layout_v<TGameData>);
static_assert(sizeof(TShortString<20>) == 21 && sizeof(TShortString<100>) == 101);

static_assert(sizeof(THighscoreEntry) == 28);
static_assert(offsetof(THighscoreEntry, Name) == 0);
static_assert(offsetof(THighscoreEntry, Gap21) == 21);
static_assert(offsetof(THighscoreEntry, Score) == 24);

static_assert(sizeof(TEnvData) == EnvDataSize);
static_assert(offsetof(TEnvData, Reserved0) == 0);
static_assert(offsetof(TEnvData, SoundMode) == 1);
static_assert(offsetof(TEnvData, SoundOn) == 2);
static_assert(offsetof(TEnvData, StatusLine) == 3);
static_assert(offsetof(TEnvData, Autostart) == 4);
static_assert(offsetof(TEnvData, Reserved5) == 5);
static_assert(offsetof(TEnvData, MusicOn) == 6);
static_assert(offsetof(TEnvData, Gap7) == 7);
static_assert(offsetof(TEnvData, MusicVolume) == 8);
static_assert(offsetof(TEnvData, EffectsVolume) == 12);
static_assert(offsetof(TEnvData, GfxSet) == 16);
static_assert(offsetof(TEnvData, Gap17) == 17);
static_assert(offsetof(TEnvData, DisplayMode) == 20);
static_assert(offsetof(TEnvData, Transparency) == 24);
static_assert(offsetof(TEnvData, Gap25) == 25);
static_assert(offsetof(TEnvData, Highscores) == 28);
static_assert(offsetof(TEnvData, LastPlayerName) == 308);
static_assert(offsetof(TEnvData, PublishID) == 329);
static_assert(offsetof(TEnvData, Reserved364) == 364);
static_assert(offsetof(TEnvData, PublishName) == 368);
static_assert(offsetof(TEnvData, Residence) == 389);
static_assert(offsetof(TEnvData, Country) == 410);
static_assert(offsetof(TEnvData, Email) == 431);
static_assert(offsetof(TEnvData, Age) == 472);
static_assert(offsetof(TEnvData, Sex) == 476);
static_assert(offsetof(TEnvData, Comment) == 477);
static_assert(offsetof(TEnvData, Gap558) == 558);
static_assert(offsetof(TEnvData, GamesStarted) == 560);
static_assert(offsetof(TEnvData, GamesWon) == 564);
static_assert(offsetof(TEnvData, Reserved568) == 568);
static_assert(offsetof(TEnvData, Gap569) == 569);
static_assert(offsetof(TEnvData, BubblesPercent) == 572);
static_assert(offsetof(TEnvData, GameRecords) == 576);
static_assert(offsetof(TEnvData, Gap1586) == 1586);

static_assert(sizeof(TGameData) == GameDataSize);
static_assert(offsetof(TGameData, Header) == 0);
static_assert(offsetof(TGameData, Gap41) == 41);
static_assert(offsetof(TGameData, Level) == 42);
static_assert(offsetof(TGameData, PlayerName) == 44);
static_assert(offsetof(TGameData, Reserved76) == 76);
static_assert(offsetof(TGameData, Reserved80) == 80);
static_assert(offsetof(TGameData, Reserved112) == 112);

namespace {

// A file longer than twice the record can only be the scrambled form.
constexpr size_t PlainEnvLimit = 2 * EnvDataSize;
constexpr size_t HeaderBytes = 1 + 40;

void ApplyGameDataDefaults(TGameData& data) {
    data.Level = 1;
    data.PlayerName.Set("Spieler1");
    data.Reserved76 = 0;
    data.Reserved80.Set("");
    data.Reserved112 = 0;
}

TGameData InitialGameData() {
    TGameData data;
    ApplyGameDataDefaults(data);
    return data;
}

char Substitute(char c) {
    if (c >= 'A' && c <= 'Z') return EncodeCapitals[static_cast<size_t>(c - 'A')];
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(EncodeCapitals[static_cast<size_t>(c - 'a')] - 'A' + 'a');
    if (c >= '0' && c <= '9') return EncodeDigits[static_cast<size_t>(c - '0')];
    return c;
}

char SubstituteBack(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>('A' + EncodeCapitals.find(c));
    if (c >= 'a' && c <= 'z')
        return static_cast<char>('a' + EncodeCapitals.find(static_cast<char>(c - 'a' + 'A')));
    if (c >= '0' && c <= '9') return static_cast<char>('0' + EncodeDigits.find(c));
    return c;
}

char RandomFiller() {
    switch (Random(3)) {
    case 0:
        return static_cast<char>('A' + Random(25));
    case 1:
        return static_cast<char>('a' + Random(25));
    default:
        return static_cast<char>('0' + Random(9));
    }
}

constexpr bool IsPermutation(std::string_view perm, char first) {
    for (size_t i = 0; i < perm.size(); ++i) {
        if (perm[i] < first || perm[i] >= first + static_cast<int>(perm.size())) return false;
        for (size_t k = 0; k < i; ++k)
            if (perm[k] == perm[i]) return false;
    }
    return true;
}
static_assert(EncodeCapitals.size() == 26 && IsPermutation(EncodeCapitals, 'A'));
static_assert(EncodeDigits.size() == 10 && IsPermutation(EncodeDigits, '0'));

} // namespace

TEnvData Env = DefaultEnvData();
TGameData GameData = InitialGameData();

std::array<uint8_t, EnvDataSize> EnvToBytes(const TEnvData& env) {
    std::array<uint8_t, EnvDataSize> bytes;
    std::memcpy(bytes.data(), &env, EnvDataSize);
    return bytes;
}

void EnvFromBytes(TEnvData& env, std::string_view bytes) {
    std::memcpy(&env, bytes.data(), std::min(bytes.size(), EnvDataSize));
}

std::array<uint8_t, GameDataSize> GameDataToBytes(const TGameData& data) {
    std::array<uint8_t, GameDataSize> bytes;
    std::memcpy(bytes.data(), &data, GameDataSize);
    return bytes;
}

void GameDataFromBytes(TGameData& data, std::string_view bytes) {
    std::memcpy(&data, bytes.data(), std::min(bytes.size(), GameDataSize));
}

TEnvData DefaultEnvData() {
    TEnvData env;
    env.Reserved0 = 1;
    env.SoundMode = 1;
    env.SoundOn = 1;
    env.StatusLine = 0;
    env.Autostart = 1;
    env.MusicOn = 1;
    env.MusicVolume = 100;
    env.EffectsVolume = 100;
    env.GfxSet = 0;
    env.DisplayMode = 0;
    env.Transparency = 1;
    for (auto& entry : env.Highscores)
        entry.Score = EmptyHighscore;
    env.Country.Set("Schweiz");
    env.Sex = ' ';
    env.Reserved568 = 1;
    env.BubblesPercent = 70;
    return env;
}

void DefaultEnv() {
    Env = DefaultEnvData();
    Randomize();
}

TEnvData ReadEnvFile(const std::string& fileName) {
    // The size counts modulo 65536, as it always did; a real settings file is far smaller.
    std::string text = ReadFileBytes(fileName, FileSizeOf(fileName) % 65536);
    if (text.size() > PlainEnvLimit) text = DecodeText(text);
    TEnvData env = DefaultEnvData();
    EnvFromBytes(env, text);
    return env;
}

void LoadEnv() {
    DefaultEnv();
    EnterProgDir();
    if (!FileExists(EnvFileName)) return;
    Env = ReadEnvFile(EnvFileName);
}

void SaveEnv() {
    const auto bytes = EnvToBytes(Env);
    const std::string text =
        EncodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    EnterProgDir();
    CreateDir("SPS");
    WriteFileReplacing(EnvFileName, text);
}

void DefaultGameData() {
    ApplyGameDataDefaults(GameData);
}

TGameDataFileState ReadGameDataFile(const std::string& fileName, TGameData& data) {
    if (!FileExists(fileName)) return TGameDataFileState::NotFound;
    std::string bytes;
    try {
        bytes = ReadFileBytes(fileName, GameDataSize);
    } catch (const EInOutError&) {
        return TGameDataFileState::NotFound;
    }
    if (bytes.size() < HeaderBytes) return TGameDataFileState::NotGameData;
    if (static_cast<uint8_t>(bytes[0]) != GameDataHeader.size() ||
        std::string_view(bytes).substr(1, GameDataHeader.size()) != GameDataHeader)
        return TGameDataFileState::NotGameData;
    GameDataFromBytes(data, bytes);
    return bytes.size() < GameDataSize ? TGameDataFileState::Short : TGameDataFileState::Loaded;
}

void LoadGameData(const std::string& fileName) {
    EnterProgDir();
    const TGameDataFileState state = ReadGameDataFile(fileName, GameData);
    switch (state) {
    case TGameDataFileState::Loaded:
        return;
    case TGameDataFileState::Short:
        ShowMessage("Spielstandfile und Spielstandvariable haben unterschiedliche Größen!");
        return;
    case TGameDataFileState::NotFound:
    case TGameDataFileState::NotGameData:
        if (fileName == GameDataFileName) {
            DefaultGameData();
            return;
        }
        ShowMessage(fileName + ": Kein Spielstanddatei oder alte Version!");
        if (state == TGameDataFileState::NotFound) ShowMessage(fileName + ": File nicht gefunden!");
        return;
    }
}

void SaveGameData(const std::string& fileName) {
    EnterProgDir();
    GameData.Header.Set(GameDataHeader);
    const auto bytes = GameDataToBytes(GameData);
    WriteFileReplacing(fileName,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

int32_t InsertHighscore(int32_t score) {
    int p = 1;
    while (p < HighscoreCount + 1 && score < Env.Highscores[static_cast<size_t>(p - 1)].Score)
        ++p;
    if (p == HighscoreCount + 1) return 0;
    for (int i = HighscoreCount; i > p; --i)
        Env.Highscores[static_cast<size_t>(i - 1)] = Env.Highscores[static_cast<size_t>(i - 2)];
    auto& entry = Env.Highscores[static_cast<size_t>(p - 1)];
    entry.Score = score;
    entry.Name.Set(" ");
    return p;
}

void TrimHighscoreNames() {
    for (auto& entry : Env.Highscores) {
        const std::string name = entry.Name.Get();
        if (name.size() > 10) entry.Name.Set(name.substr(0, 10));
    }
}

std::string EncodeText(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (char c : s) {
        out += RandomFiller();
        out += RandomFiller();
        out += Substitute(c);
    }
    return out;
}

std::string DecodeText(std::string_view s) {
    std::string out;
    out.reserve(s.size() / 3);
    for (size_t i = 2; i < s.size(); i += 3)
        out += SubstituteBack(s[i]);
    return out;
}
