#include "shell/Demo.h"

#include "game/AutoPlay.h"
#include "game/DDrawUnit.h"
#include "gamelib/SoundPrep.h"
#include "platform/input.h"
#include "platform/winpath.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QApplication>
#include <QEvent>
#include <QObject>

namespace {

// Notes a real key or click anywhere in the program and keeps it from the game window, whose
// input comes from the player that is not there.
class TDemoStopper : public QObject {
  public:
    bool Requested = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const QEvent::Type type = e->type();
        if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress) {
            Requested = true;
            return true;
        }
        if (type == QEvent::KeyRelease || type == QEvent::MouseButtonRelease) return true;
        return QObject::eventFilter(watched, e);
    }
};

// Puts the real devices back however the demo ends.
class TInputOverride {
  public:
    explicit TInputOverride(TInputState& state) { SetInputOverride(&state); }
    ~TInputOverride() { SetInputOverride(nullptr); }
    TInputOverride(const TInputOverride&) = delete;
    TInputOverride& operator=(const TInputOverride&) = delete;
};

} // namespace

int RunDemo() {
    Randomize();
    EnterProgDir();
    CreateDir(ProgDir() + "/sps");
    if (LogIsOK()) EraseLog();
    LoadEnv();
    LoadGameData("SPS\\game.dat");
    PrepareSounds(TSoundProgress{});
    const TEnvData kept = Env;

    TInputState input;
    const TInputOverride devices(input);
    TAutoPlay player(input, "DEMO");
    TDemoStopper stopper;
    qApp->installEventFilter(&stopper);

    auto* form = new TDDFullScreenForm1;
    if (Env.DisplayMode >= DisplayModeFullscreen && Env.DisplayMode <= DisplayModeWindow)
        form->SetDisplayMode(static_cast<uint8_t>(Env.DisplayMode));
    bool leaving = false;
    // A key or click leaves the way Escape does: the end saves the game data, and the
    // information picture is passed at once.
    form->InputDriver = [&] {
        if (!stopper.Requested) {
            player.Step(*form);
            return;
        }
        input.Keys[VK_LBUTTON] = input.Keys[VK_LEFT] = input.Keys[VK_RIGHT] = false;
        if (!leaving) {
            leaving = true;
            form->FormKeyDown(VK_ESCAPE, false);
        } else if (form->StateProc == &TDDFullScreenForm1::glsInfo) {
            input.Keys[VK_RETURN] = !input.Keys[VK_RETURN];
        }
    };
    form->ShowModal();
    qApp->removeEventFilter(&stopper);

    Env = kept;
    SaveEnv();
    return 0;
}
