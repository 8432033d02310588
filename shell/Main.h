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
class QTimer;
class QUrl;
class QWebEngineView;
class QWidget;
class TBrowserPage;

// Free physical plus free virtual memory in KB, refreshed by every LogSystemInfo.
extern int32_t FreeMemoryKB;

// Writes the version of the operating system, the display, the processor and the memory
// figures into the log.
void LogSystemInfo();
// Whether a game may start without asking about memory first.
bool EnoughFreeMemory(int32_t freeKB);
// Prepares the embedded browser's engine: without Chromium's sandbox when running as root
// (it refuses to start otherwise), without the GPU on a headless platform. Call before the
// application is created; the menu window calls it again for whoever did not.
void PrepareEmbeddedBrowser();

class TForm1 : public QMainWindow {
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QLabel* Image1;
    QFrame* Panel2;
    QProgressBar* Gauge1;
    QLabel* Label1;
    QAction* ActionStart;
    QAction* ActionHilfe;
    QAction* ActionEinstellungen;
    QAction* Actionwebsite;
    QAction* ActionClose;
    QAction* ActionPublishHighscore;
    QAction* ActionGotoHighscore;
    QAction* ActionPublishErrorreport;
    QAction* ActionInfo;
    QMenu* Datei1;
    QMenu* Game1;
    QMenu* Internet1;
    QMenu* Help1;
    QWidget* Shape1;
    // Kept hidden and 1 x 1 while offline; at 52,53, 292 x 171 once a page has loaded.
    QWebEngineView* WebBrowser1;
    // Every 5000 ms: keeps the embedded browser in step with the connection.
    QTimer* Timer1;
    QPlainTextEdit* SBMemo;

    // The handlers, public so tests can drive the window as the window system would.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void ActionStartExecute();
    void Timer1Timer();
    void ActionPublishHighscoreExecute();
    void ActionGotoHighscoreExecute();
    void ActionPublishErrorreportExecute();
    void ActionInfoExecute();
    void ActionHilfeExecute();
    // Opens a new options dialog and returns at once; several may be open.
    void ActionEinstellungenExecute();
    void ActionwebsiteExecute();
    // Offers to look the log up in errors.txt of the game's web server (after a crash).
    void LookUpKnownError();
    // The browser's events: a document has loaded; a navigation is about to start (false
    // cancels it, and the address goes to the system browser instead).
    void WebBrowser1DocumentComplete(bool ok);
    bool WebBrowser1BeforeNavigate(const QUrl& url, bool mainFrame);
    // Starts the browser's engine with its page; the first navigation does it otherwise. Done
    // before the window shows, it keeps the window from being made anew for the engine's
    // drawing later on, which would put it over a message box shown meanwhile.
    void CreateBrowserPage();
    // The browser's Visible property, and where it was last sent.
    bool BrowserVisible() const { return FBrowserVisible; }
    std::string BrowserTarget() const { return FBrowserTarget; }
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
    // The constructor's parts.
    void CreatePicture(QWidget* client);
    void CreateProgressPanel(QWidget* client);
    void CreateStartShape(QWidget* client);
    void CreateSpriteScriptMemo(QWidget* client);
    void CreateActions();
    void CreateMenus();
    void CreateBrowser(QWidget* client);
    void CreateConnectionTimer();
    void ShowMenuPicture(const char* name);
    void HideBrowser();
    void ShowBrowser();
    void Navigate(const std::string& address);
    // LookUpKnownError unless this very log was looked up already or a look-up is running:
    // activations follow every closed dialog, and a player who said No is not asked again.
    void LookUpKnownErrorOnce();
    bool FActivated = false;
    bool FInStart = false;
    bool FInActivate = false;
    bool FInLookUp = false;
    bool FBrowserVisible = false;
    // Set while the browser shows a solution page the look-up sent it to: the activation that
    // follows the look-up's own message boxes must not take it away again.
    bool FHoldPage = false;
    std::string FBrowserTarget;
    std::string FLookedUpLog;
    TBrowserPage* FPage = nullptr;
};

extern TForm1* Form1;
