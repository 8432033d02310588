#include "PlayCommands.h"

#include "game/AutoPlay.h"
#include "game/DDrawUnit.h"
#include "game/RohrUnit.h"
#include "game/SchussUnit.h"
#include "game/SpermUnit.h"
#include "game/scoreunit.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/ThreadUnit.h"
#include "platform/clock.h"
#include "platform/ddraw.h"
#include "platform/dsound.h"
#include "platform/input.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {

using TArgs = std::vector<std::string>;

// Any tick count far from 0: 0 would mean "no loader shown".
constexpr uint32_t FirstTick = 1000000;
constexpr int32_t ScreenWidthPx = 800, ScreenHeightPx = 600, ScreenBits = 16;

struct TEvent {
    int32_t Step = 0;
    int32_t Line = 0;
    std::vector<std::string> Words;
};

[[noreturn]] void Fail(const std::string& message) {
    throw std::runtime_error("play: " + message);
}

int32_t Number(const std::string& text, const std::string& what) {
    try {
        size_t used = 0;
        const long value = std::stol(text, &used);
        if (used == text.size() && value >= 0 && value <= INT32_MAX) return int32_t(value);
    } catch (const std::exception&) {
    }
    Fail(what + " is no number: " + text);
}

// The polled keys by their script names.
const std::map<std::string, int>& PolledKeys() {
    static const std::map<std::string, int> keys = {{"enter", VK_RETURN},
                                                    {"button", VK_LBUTTON},
                                                    {"cursor-left", VK_LEFT},
                                                    {"cursor-right", VK_RIGHT},
                                                    {"x", 'X'},
                                                    {"y", 'Y'}};
    return keys;
}

int PolledKey(const std::string& name, int32_t line) {
    const auto found = PolledKeys().find(name);
    if (found == PolledKeys().end())
        Fail("line " + std::to_string(line) + ": unknown key " + name +
             " (enter, button, cursor-left, cursor-right, x, y)");
    return found->second;
}

// A typed key: its virtual key and its character.
struct TTypedKey {
    int Key;
    char Char;
};

TTypedKey TypedKey(const std::string& name, bool ctrl, int32_t line) {
    if (name == "escape") return {VK_ESCAPE, 27};
    if (name == "enter") return {VK_RETURN, 13};
    if (name == "space") return {VK_SPACE, ' '};
    if (name == "backspace") return {0x08, 8};
    if (name.size() == 1 && name[0] > ' ' && name[0] < 127) {
        char c = name[0];
        int key = 0;
        if (c >= 'a' && c <= 'z') key = c - 'a' + 'A';
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) key = c;
        // Ctrl with a letter types its control character.
        if (ctrl && key >= 'A' && key <= 'Z') c = char(key & 0x1F);
        return {key, c};
    }
    Fail("line " + std::to_string(line) + ": unknown key " + name);
}

std::vector<TEvent> ReadScript(const std::string& text) {
    std::vector<TEvent> events;
    std::istringstream in(text);
    int32_t lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string word; words >> word;)
            parts.push_back(word);
        if (parts.empty()) continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (parts.size() < 3 || (parts[0] != "AT" && parts[0] != "at"))
            Fail(where + "expected AT <step> <event>");
        TEvent event;
        event.Step = Number(parts[1], where + "the step");
        event.Line = lineNumber;
        event.Words.assign(parts.begin() + 2, parts.end());
        const std::string& kind = event.Words[0];
        const size_t count = event.Words.size();
        const bool valid = ((kind == "down" || kind == "up" || kind == "press" || kind == "key" ||
                             kind == "ctrl") &&
                            count == 2) ||
                           (kind == "mouse" && count == 3) ||
                           (kind == "click" && (count == 1 || count == 3)) ||
                           ((kind == "escape" || kind == "shot" || kind == "dump") && count == 1);
        if (!valid) Fail(where + "unknown event: " + line);
        // Checked now, so a bad script fails before the game starts.
        if (kind == "down" || kind == "up" || kind == "press")
            PolledKey(event.Words[1], lineNumber);
        if (kind == "key" || kind == "ctrl") TypedKey(event.Words[1], kind == "ctrl", lineNumber);
        if (kind == "mouse" || count == 3) {
            Number(event.Words[1], where + "x");
            Number(event.Words[2], where + "y");
        }
        events.push_back(event);
    }
    return events;
}

std::string StateName(TDDFullScreenForm1::TStateProc state) {
    using F = TDDFullScreenForm1;
    const std::pair<F::TStateProc, const char*> names[] = {
        {&F::glsInit, "glsInit"}, {&F::glsBegin, "glsBegin"}, {&F::glsBegin2, "glsBegin2"},
        {&F::glsLoop, "glsLoop"}, {&F::glsExit, "glsExit"},   {&F::glsInfo, "glsInfo"},
        {&F::glsEnd, "glsEnd"},   {&F::glsIdle, "glsIdle"}};
    for (const auto& [proc, name] : names)
        if (proc == state) return name;
    return "none";
}

// The last frame the display showed, as a picture.
QImage ScreenPicture(const THeadlessDisplay& display) {
    QImage::Format format = QImage::Format_RGB16;
    if (display.FrameBits == 24) format = QImage::Format_BGR888;
    if (display.FrameBits == 32) format = QImage::Format_RGB32;
    if (display.LastFrame.empty()) return {};
    const QImage frame(display.LastFrame.data(), display.FrameWidth, display.FrameHeight,
                       qsizetype(display.FrameWidth) * (display.FrameBits / 8), format);
    return frame.copy();
}

// The lines the game appends to its log, read as they come; the log is put back at the end.
class TLogFollower {
  public:
    TLogFollower() : FFile(ProgDir() + "\\SPS\\LOG.TXT") {
        try {
            FBefore = ReadFileBytes(FFile);
            FExisted = true;
        } catch (const EInOutError&) {
        }
        FRead = FBefore.size();
    }
    ~TLogFollower() {
        try {
            if (FExisted)
                WriteFileReplacing(FFile, FBefore);
            else
                DeleteFileAt(FFile);
        } catch (const std::exception&) {
        }
    }
    TLogFollower(const TLogFollower&) = delete;
    TLogFollower& operator=(const TLogFollower&) = delete;

    void Print(int32_t step) {
        std::string now;
        try {
            now = ReadFileBytes(FFile);
        } catch (const EInOutError&) {
            return;
        }
        if (now.size() <= FRead) return;
        // Whole lines only; a line still being written waits for the next step.
        const size_t end = now.rfind('\n');
        if (end == std::string::npos || end < FRead) return;
        for (const std::string& line : SplitLines(now.substr(FRead, end + 1 - FRead)))
            std::cout << Pad(step) << AnsiToUtf8(line) << '\n';
        FRead = end + 1;
    }

    static std::string Pad(int32_t step) {
        char text[16];
        std::snprintf(text, sizeof text, "%6d ", step);
        return text;
    }

  private:
    std::string FFile;
    std::string FBefore;
    bool FExisted = false;
    size_t FRead = 0;
};

// Everything the headless game replaces, put back however the run ends.
class THeadlessGame {
  public:
    THeadlessGame()
        : Display(std::make_shared<THeadlessDisplay>(ScreenWidthPx, ScreenHeightPx, ScreenBits)) {
        SetDefaultDisplay(Display);
        SetInputOverride(&Input);
        SetClock(&Clock);
        SetDefaultSoundOutput(std::make_shared<TNullSoundOutput>());
        SetMessageHandler([](const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) {
            std::cout << "message: " << text << '\n';
            return buttons == TMsgDlgButtons::YesNo ? mrNo : mrOk;
        });
    }
    ~THeadlessGame() {
        delete Form.data(); // a window still open closes as a deleted window does
        SetMessageHandler(nullptr);
        SetDefaultSoundOutput(nullptr);
        SetClock(nullptr);
        SetInputOverride(nullptr);
        SetDefaultDisplay(nullptr);
    }
    THeadlessGame(const THeadlessGame&) = delete;
    THeadlessGame& operator=(const THeadlessGame&) = delete;

    // Lets the window handle what it posted to itself: the loop's end, its closing, its freeing.
    void HandlePosted() {
        for (int round = 0; round < 4 && Form; ++round) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    std::shared_ptr<THeadlessDisplay> Display;
    TInputState Input;
    TManualClock Clock{FirstTick};
    QPointer<TDDFullScreenForm1> Form;
};

const char* KindName(int32_t kind) {
    return kind >= skNone && kind <= SpermKindCount ? SpermKinds[size_t(kind)].Name : "?";
}

std::string Number1(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(value));
    return text;
}

std::string At(const TRBob& body) {
    return "(" + Number1(body.X) + ", " + Number1(body.Y) + ", " + Number1(body.Z) + ")";
}

// What the game shows now: state, score and clock, the bag, the crosshair, every visible enemy
// and piece.
void Dump(const TDDFullScreenForm1& form, int32_t step) {
    const std::string pad = TLogFollower::Pad(step) + "dump ";
    std::cout << pad << "state " << StateName(form.StateProc) << ", step " << form.StepCount;
    if (Anzeige)
        std::cout << ", score " << Anzeige->Scorepoints->Score << ", time left "
                  << Anzeige->Scoretime->TimeLeft;
    std::cout << '\n';
    if (Pointers) {
        const TTuete& bag = *Pointers->Tuete;
        const char* walk[] = {"standing", "walking left", "walking right"};
        std::cout << pad << "bag " << (bag.Visible ? "shown" : "hidden") << " at " << At(bag)
                  << ", width " << bag.BagWidth() << ", " << walk[std::clamp(bag.WalkState, 0, 2)]
                  << ", turned " << TurnCounter << ", wide " << WideCounter << '\n';
        const TCross& cross = *Pointers->Cross;
        std::cout << pad << "cross " << (cross.Visible ? "shown" : "hidden") << " at " << At(cross)
                  << ", rapid fire " << GunCounter << '\n';
    }
    if (Spermien)
        for (int32_t slot = 1; slot <= Spermien->Count(); ++slot) {
            const TSperm& sperm = Spermien->Sperm(slot);
            if (sperm.Visible)
                std::cout << pad << "enemy " << slot << " " << KindName(sperm.Kind) << " at "
                          << At(sperm) << '\n';
        }
    if (Schuesse)
        for (int32_t slot = 1; slot <= Schuesse->Count(); ++slot) {
            const TSchuss& piece = Schuesse->Schuss(slot);
            if (piece.Visible)
                std::cout << pad << "piece " << slot << " " << KindName(piece.Kind) << " level "
                          << piece.Level << " at " << At(piece) << ", "
                          << (piece.Caught ? "caught" : "falling") << '\n';
        }
}

// The score and clock of the game on the screen, kept after the display has gone.
struct TScoreSeen {
    int32_t Score = 0;
    int32_t TimeLeft = PlayingTime;
    int32_t Rank = 0;
    void Look() {
        if (!Anzeige) return;
        Score = Anzeige->Scorepoints->Score;
        TimeLeft = Anzeige->Scoretime->TimeLeft;
        Rank = Anzeige->Rank;
    }
    std::string Text() const {
        return "score " + std::to_string(Score) + ", time left " + std::to_string(TimeLeft);
    }
};

// Without --updates: 3000 updates, or with --autoplay until the first game is over.
constexpr int32_t DefaultUpdates = 3000;
// An autoplayed game ends well within this: loader, attract screen, 92 s of play, the table.
constexpr int32_t AutoplayLimit = 20000;

struct TOptions {
    std::string Script;
    uint32_t Seed = 1;
    int32_t Updates = 0; // 0: as above
    bool Autoplay = false;
    std::string Shots;
    int32_t Every = 0;
    std::string Folder;
};

TOptions ReadOptions(const TArgs& args) {
    TOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--autoplay") {
            options.Autoplay = true;
        } else if (arg.starts_with("--")) {
            if (i + 1 >= args.size()) Fail(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--seed")
                options.Seed = uint32_t(Number(value, "--seed"));
            else if (arg == "--updates")
                options.Updates = Number(value, "--updates");
            else if (arg == "--shots")
                options.Shots = std::filesystem::absolute(value).string();
            else if (arg == "--every")
                options.Every = Number(value, "--every");
            else if (arg == "--folder")
                options.Folder = std::filesystem::absolute(value).string();
            else if (arg == "--script" && options.Script.empty())
                options.Script = value;
            else if (arg == "--script")
                Fail("more than one script: " + value);
            else
                Fail("unknown option " + arg);
        } else if (options.Script.empty()) {
            options.Script = arg;
        } else {
            Fail("more than one script: " + arg);
        }
    }
    return options;
}

std::string ScriptText(const std::string& script) {
    if (script.empty()) return {};
    if (script == "-") {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return text.str();
    }
    return ReadFileBytes(std::filesystem::absolute(script).string());
}

void TypeKey(TDDFullScreenForm1& form, const std::string& name, bool ctrl, int32_t line) {
    const TTypedKey typed = TypedKey(name, ctrl, line);
    if (typed.Key != 0) form.FormKeyDown(typed.Key, ctrl);
    form.FormKeyPress(typed.Char);
}

} // namespace

int Play(const TArgs& args) {
    const TOptions options = ReadOptions(args);
    const std::vector<TEvent> events = ReadScript(ScriptText(options.Script));
    if (!options.Shots.empty()) std::filesystem::create_directories(options.Shots);

    // Never a window on a screen: the offscreen platform, whatever the environment says.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "crumble-tool";
    char* argv[] = {name, nullptr};
    std::optional<QApplication> application;
    if (!QCoreApplication::instance()) application.emplace(argc, argv);

    if (!options.Folder.empty()) SetProgramFolder(options.Folder);
    EnterProgDir();
    CreateDir(ProgDir() + "/sps");
    THeadlessGame game;
    LoadEnv();
    LoadGameData("SPS\\game.dat");
    RandSeed(options.Seed);
    TLogFollower log;

    auto* form = new TDDFullScreenForm1;
    game.Form = form;
    form->ManualLoop = true;
    std::optional<TAutoPlay> autoplay;
    if (options.Autoplay) {
        autoplay.emplace(game.Input);
        form->InputDriver = [&autoplay, form] { autoplay->Step(*form); };
    }
    form->show();
    game.HandlePosted();
    log.Print(0);

    const int32_t updates = options.Updates > 0 ? options.Updates
                            : options.Autoplay  ? AutoplayLimit
                                                : DefaultUpdates;
    // An autoplayed game without a count of updates runs until its end has been saved.
    const bool untilGameOver = options.Autoplay && options.Updates == 0;
    TScoreSeen seen;
    bool over = false, stop = false;
    std::vector<int> releaseNext;
    int32_t step = 1;
    for (; step <= updates && game.Form; ++step) {
        for (const int key : releaseNext)
            game.Input.Keys[key] = false;
        releaseNext.clear();
        bool shot = options.Every > 0 && step % options.Every == 0;
        bool dump = false;
        for (const TEvent& event : events) {
            if (event.Step != step) continue;
            const std::vector<std::string>& w = event.Words;
            const std::string& kind = w[0];
            if (kind == "mouse" || (kind == "click" && w.size() == 3))
                game.Input.Cursor = TPoint{Number(w[1], "x"), Number(w[2], "y")};
            if (kind == "down") game.Input.Keys[PolledKey(w[1], event.Line)] = true;
            if (kind == "up") game.Input.Keys[PolledKey(w[1], event.Line)] = false;
            if (kind == "press" || kind == "click") {
                const int key = kind == "click" ? VK_LBUTTON : PolledKey(w[1], event.Line);
                game.Input.Keys[key] = true;
                releaseNext.push_back(key);
            }
            if (kind == "key" || kind == "ctrl") TypeKey(*form, w[1], kind == "ctrl", event.Line);
            if (kind == "escape") TypeKey(*form, "escape", false, event.Line);
            if (kind == "shot") shot = true;
            if (kind == "dump") dump = true;
        }
        game.Clock.Advance(TLoopThread::Period);
        form->PollLoop();
        game.HandlePosted();
        log.Print(step);
        if (game.Form) {
            if (dump) Dump(*form, step);
            seen.Look();
            // The end of a game: the state passes through glsExit for one update.
            const bool exiting = form->StateProc == &TDDFullScreenForm1::glsExit;
            if (exiting && !over)
                std::cout << TLogFollower::Pad(step) << "game over: " << seen.Text() << ", place "
                          << seen.Rank << '\n';
            if (over && !exiting && untilGameOver) stop = true;
            over = exiting;
        }
        if (shot && !options.Shots.empty()) {
            char file[32];
            std::snprintf(file, sizeof file, "step-%05d.png", step);
            const std::string path = (std::filesystem::path(options.Shots) / file).string();
            if (!ScreenPicture(*game.Display).save(QString::fromStdString(path), "PNG"))
                Fail("cannot write " + path);
            std::cout << TLogFollower::Pad(step) << "shot " << path << '\n';
        }
        if (stop) {
            ++step;
            break;
        }
    }
    if (game.Form) {
        std::cout << TLogFollower::Pad(step - 1) << "stopped in " << StateName(form->StateProc)
                  << ", " << form->StepCount << " steps played, " << seen.Text() << '\n';
        delete form;
        log.Print(step - 1);
    } else {
        std::cout << TLogFollower::Pad(step - 1) << "window closed\n";
    }
    return 0;
}
