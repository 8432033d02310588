// crumble-tool: headless commands on the game's own code, for players, modders and tests.
// Each command prints plain text and exits non-zero with the program's message on failure.
#include "gamelib/EngineState.h"
#include "platform/bmp.h"
#include "platform/crashlog.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"
#include "LevelCommands.h"
#include "OnlineCommands.h"
#include "PlayCommands.h"
#include "SpriteCommands.h"
#include "WaveCommands.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using TArgs = std::vector<std::string>;

struct TCommand {
    std::vector<std::string> Words; // e.g. {"env", "dump"}
    std::string Arguments;          // for the usage text
    size_t ArgumentCount;
    std::function<int(const TArgs&)> Run;
};

// A command that checks its own arguments.
constexpr size_t AnyArguments = SIZE_MAX;

// A failure that ends the tool with the given message.
struct TToolError {
    std::string Message;
};

// One line per field in UTF-8. Control characters (and the unassigned Windows-1252 bytes, which
// would come out as C1 controls) are written as \xNN, a backslash as \\.
std::string Printable(const std::string& ansi) {
    std::string out;
    for (char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        const bool control =
            b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        if (c == '\\') {
            out += "\\\\";
        } else if (control) {
            const char* hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += AnsiToUtf8(std::string_view(&c, 1));
        }
    }
    return out;
}

template <size_t N> std::string Text(const TShortString<N>& s) {
    return Printable(s.Get());
}

void Field(const std::string& name, const std::string& value) {
    std::cout << name << ": " << value << '\n';
}
void Field(const std::string& name, long long value) {
    Field(name, std::to_string(value));
}

void DumpEnv(const TEnvData& env) {
    Field("Reserved0", env.Reserved0);
    Field("SoundMode", env.SoundMode);
    Field("SoundOn", env.SoundOn);
    Field("StatusLine", env.StatusLine);
    Field("Autostart", env.Autostart);
    Field("Reserved5", env.Reserved5);
    Field("MusicOn", env.MusicOn);
    Field("MusicVolume", env.MusicVolume);
    Field("EffectsVolume", env.EffectsVolume);
    Field("GfxSet", env.GfxSet);
    Field("DisplayMode", env.DisplayMode);
    Field("Transparency", env.Transparency);
    for (size_t i = 0; i < env.Highscores.size(); ++i) {
        const std::string prefix = "Highscores[" + std::to_string(i + 1) + "].";
        Field(prefix + "Name", Text(env.Highscores[i].Name));
        Field(prefix + "Score", env.Highscores[i].Score);
    }
    Field("LastPlayerName", Text(env.LastPlayerName));
    Field("PublishID", Text(env.PublishID));
    Field("Reserved364", env.Reserved364);
    Field("PublishName", Text(env.PublishName));
    Field("Residence", Text(env.Residence));
    Field("Country", Text(env.Country));
    Field("Email", Text(env.Email));
    Field("Age", env.Age);
    Field("Sex", Printable(std::string(1, env.Sex)));
    Field("Comment", Text(env.Comment));
    Field("GamesStarted", env.GamesStarted);
    Field("GamesWon", env.GamesWon);
    Field("Reserved568", env.Reserved568);
    Field("BubblesPercent", env.BubblesPercent);
    for (size_t i = 0; i < env.GameRecords.size(); ++i)
        Field("GameRecords[" + std::to_string(i + 1) + "]", Text(env.GameRecords[i]));
}

void DumpGameData(const TGameData& data) {
    Field("Header", Text(data.Header));
    Field("Level", data.Level);
    Field("PlayerName", Text(data.PlayerName));
    Field("Reserved76", data.Reserved76);
    Field("Reserved80", Text(data.Reserved80));
    Field("Reserved112", data.Reserved112);
}

int EnvDump(const TArgs& args) {
    DumpEnv(ReadEnvFile(args[0]));
    return 0;
}

int GameDataDump(const TArgs& args) {
    const std::string& fileName = args[0];
    TGameData data;
    switch (ReadGameDataFile(fileName, data)) {
    case TGameDataFileState::Loaded:
        DumpGameData(data);
        return 0;
    case TGameDataFileState::Short:
        throw TToolError{"Spielstandfile und Spielstandvariable haben unterschiedliche Größen!"};
    case TGameDataFileState::NotGameData:
        throw TToolError{fileName + ": Kein Spielstanddatei oder alte Version!"};
    case TGameDataFileState::NotFound:
        throw TToolError{fileName + ": File nicht gefunden!"};
    }
    return 1;
}

// ---- image ----------------------------------------------------------------------------------

// The game's paths are resolved against the program folder it enters; ours are the caller's.
std::string Absolute(const std::string& path) {
    return std::filesystem::absolute(path).string();
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw TToolError{"Cannot write " + path};
}

// A headless device of the given depth, as the game sets up before it loads its sheets.
struct TImageDevice {
    explicit TImageDevice(int bits) { Engine.OpenHeadless(bits); }
    TEngineState Engine;
};

// image load IN [--mask MASK] [--bits 16|24|32] OUT.bmp
int ImageLoad(const TArgs& args) {
    if (args.size() < 2 || args.size() % 2 != 0)
        throw TToolError{"image load: IN [--mask MASK] [--bits 16|24|32] OUT.bmp"};
    std::string mask;
    int bits = 16;
    for (size_t i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--mask")
            mask = Absolute(args[i + 1]);
        else if (args[i] == "--bits" &&
                 (args[i + 1] == "16" || args[i + 1] == "24" || args[i + 1] == "32"))
            bits = std::stoi(args[i + 1]);
        else
            throw TToolError{"image load: unknown option " + args[i] + " " + args[i + 1]};
    }
    const std::string in = Absolute(args[0]), out = Absolute(args.back());
    TImageDevice device(bits);
    PDirectDrawSurface surface;
    int32_t width = 0, height = 0;
    if (!SheetExists(in)) throw TToolError{in.substr(0, in.find_last_of('.')) + " not found!"};
    CreateMemSurface(in, width, height, surface, DDSCAPS_SYSTEMMEMORY, true);
    if (!surface) throw TToolError{in.substr(0, in.find_last_of('.')) + " not found!"};
    if (!mask.empty()) ApplyMaskImage(surface, mask, 0);
    // The surface's own bytes, unchanged: the 16-bit masks travel in the file's bit fields.
    TBitmapImage picture;
    picture.Width = surface->Width();
    picture.Height = surface->Height();
    picture.BitCount = bits;
    picture.RMask = surface->Format().RBitMask;
    picture.GMask = surface->Format().GBitMask;
    picture.BMask = surface->Format().BBitMask;
    picture.Stride = surface->Pitch();
    picture.Bits.assign(surface->Pixels(),
                        surface->Pixels() + size_t(surface->Pitch()) * size_t(surface->Height()));
    const std::vector<uint8_t> bytes = EncodeBitmap(picture);
    WriteBytes(out, bytes.data(), bytes.size());
    return 0;
}

// image alphamap IN OUT.raw
int ImageAlphaMap(const TArgs& args) {
    const std::string in = Absolute(args[0]);
    TEngineState engine;
    engine.SetAlphaMaps(true);
    const PAlphaMap map = LoadAlphaMap(in);
    if (!map) throw TToolError{in + " not found!"};
    WriteBytes(Absolute(args[1]), map->Bytes.data(), map->Bytes.size());
    return 0;
}

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {{"env", "dump"}, "FILE", 1, EnvDump},
        {{"gamedata", "dump"}, "FILE", 1, GameDataDump},
        {{"image", "load"}, "IN [--mask MASK] [--bits 16|24|32] OUT.bmp", AnyArguments, ImageLoad},
        {{"image", "alphamap"}, "IN OUT.raw", 2, ImageAlphaMap},
        {{"sprites", "check"}, "[SCRIPT]", AnyArguments, SpritesCheck},
        {{"sprites", "show"}, "OBJECT [SCRIPT]", AnyArguments, SpritesShow},
        {{"sprites", "render"},
         "OBJECT ANIM FRAME OUT.png [--scale F] [--alpha A] [SCRIPT]",
         AnyArguments,
         SpritesRender},
        {{"sprites", "sheet"}, "OBJECT OUT.png [SCRIPT]", AnyArguments, SpritesSheet},
        {{"sprites", "contact"}, "OUT.png [SCRIPT]", AnyArguments, SpritesContact},
        {{"level", "encode"}, "IN OUT", 2, LevelEncode},
        {{"level", "decode"}, "FILE", 1, LevelDecode},
        {{"publish"}, "ENV.DAT [--webserver URL] [--scoreserver URL]", AnyArguments, Publish},
        {{"report", "send"},
         "--from ADDR --text TEXT [--log FILE] [--webserver URL] [--mailserver HOST:PORT]",
         AnyArguments,
         ReportSend},
        {{"version", "check"}, "[--webserver URL]", AnyArguments, VersionCheck},
        {{"errors", "match"}, "LOG ERRORS.TXT", 2, ErrorsMatch},
        {{"cs", "decode"}, "TEXT", 1, CsDecode},
        {{"record", "decode"}, "TEXT", 1, RecordDecode},
        {{"play"},
         "[SCRIPT|-|--script SCRIPT] [--autoplay] [--seed N] [--updates N] [--shots DIR] "
         "[--every N] [--folder DIR]",
         AnyArguments,
         Play},
        {{"wave", "info"}, "FILE", 1, WaveInfo},
        {{"wave", "decode"}, "IN OUT.wav", 2, WaveDecode},
        {{"sounds", "prepare"}, "", 0, SoundsPrepare},
        {{"wave", "play"},
         "FILE --render OUT.wav [--ms N] [--loop] [--volume V] [--pan P] [--frequency HZ]",
         AnyArguments,
         WavePlay},
    };
    return commands;
}

int Usage() {
    std::cerr << "usage:\n";
    for (const auto& command : Commands()) {
        std::cerr << "  crumble-tool";
        for (const auto& word : command.Words)
            std::cerr << ' ' << word;
        if (!command.Arguments.empty()) std::cerr << ' ' << command.Arguments;
        std::cerr << '\n';
    }
    return 2;
}

} // namespace

// The game asks about a crash at its next start when the log of its folder does not end with
// "OK". A command that ends, well or with its message, closes what it wrote there the same way;
// a log that had not ended well before the command (the game's own) is left as it is.
class TLogCloser {
  public:
    TLogCloser() {
        const std::filesystem::path commandFolder = std::filesystem::current_path();
        try {
            FWasOK = LogIsOK();
        } catch (const std::exception&) {
            FWasOK = false;
        }
        std::filesystem::current_path(commandFolder);
    }
    ~TLogCloser() {
        try {
            if (FWasOK && !LogIsOK()) WriteLog("OK");
        } catch (const std::exception&) {
            // A log that cannot be read or written has nothing for the game to misread.
        }
    }
    TLogCloser(const TLogCloser&) = delete;
    TLogCloser& operator=(const TLogCloser&) = delete;

  private:
    bool FWasOK = false;
};

int main(int argc, char** argv) {
    InstallCrashHandler();
    const TLogCloser log;
    const TArgs args(argv + 1, argv + argc);
    for (const auto& command : Commands()) {
        const size_t words = command.Words.size();
        if (command.ArgumentCount == AnyArguments ? args.size() < words
                                                  : args.size() != words + command.ArgumentCount)
            continue;
        if (!std::equal(command.Words.begin(), command.Words.end(), args.begin())) continue;
        try {
            return command.Run(TArgs(args.begin() + static_cast<long>(words), args.end()));
        } catch (const TToolError& e) {
            std::cerr << e.Message << '\n';
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
        }
        return 1;
    }
    return Usage();
}
