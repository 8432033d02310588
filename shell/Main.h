#pragma once
// The menu window: the menu picture with its start button, the main menu, the hidden progress
// panel of the sound preparation, and the start of a game.
#include <QMainWindow>
#include <cstdint>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

// Free physical plus free virtual memory in KB, refreshed by every LogSystemInfo.
extern int32_t FreeMemoryKB;

// Writes the version of the operating system, the display, the processor and the memory
// figures into the log.
void LogSystemInfo();
// Whether a game may start without asking about memory first.
bool EnoughFreeMemory(int32_t freeKB);

class TForm1 : public QMainWindow {
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QLabel* Image1;
    QFrame* Panel2;
    QProgressBar* Gauge1;
    QLabel* Label1;
    QAction* ActionStart;
    QAction* ActionClose;
    QMenu* Datei1;
    QMenu* Game1;
    QWidget* Shape1;
    QPlainTextEdit* SBMemo;

    // The handlers, public so tests can drive the window as the window system would.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void ActionStartExecute();
    // The sprite script's lines from SBMemo; a "gfx\sb.txt" beside the program first replaces
    // them (logged "Loading external sb.txt" and "Lines: " + count).
    std::vector<std::string> SpriteScript();

    bool SoundsReady = false;
    bool ReturnToHome = false;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ShowMenuPicture(const char* name);
    bool FActivated = false;
    bool FInStart = false;
};

extern TForm1* Form1;
