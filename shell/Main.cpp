#include "shell/Main.h"

#include "game/DDrawUnit.h"
#include "gamelib/SoundPrep.h"
#include "gamelib/SpriteUnit.h"
#include "online/GameInfo.h"
#include "online/InfoUnit.h"
#include "online/KnownErrors.h"
#include "online/NewHighscoreUnit.h"
#include "online/PublishErrorreportUnit.h"
#include "online/PublishHighscoreUnit.h"
#include "online/WebsendUnit.h"
#include "platform/inet.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/DecodeUnit.h"
#include "shell/MainOptions.h"
#include "shell/Tools.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

int32_t FreeMemoryKB = 0;
TForm1* Form1 = nullptr;

namespace {

constexpr uint32_t MinFreeMemoryKB = 90000;
constexpr int TimerInterval = 5000;
const QRect BrowserPlace(52, 53, 292, 171);

// What the application did with an exception that reached it: an error box, and on.
void Guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
    }
}

// The addresses that may leave the menu for the system browser; others (file:, data:,
// javascript:, schemes of other programs) are only stopped.
bool OpensOutside(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "ftp";
}

void OpenOutsideLater(QObject* context, const QUrl& url) {
    if (!OpensOutside(url)) return;
    // Not from inside the engine's callback: OpenURL may show a modal box.
    const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
    QTimer::singleShot(0, context, [address] { Guarded([&] { OpenURL(address); }); });
}

// The log's size and time of change: a new crash gives a new signature.
std::string LogSignature() {
    std::error_code error;
    const std::filesystem::path log = ResolvePath(ProgDir() + "/SPS/LOG.TXT");
    const auto size = std::filesystem::file_size(log, error);
    if (error) return {};
    const auto time = std::filesystem::last_write_time(log, error);
    if (error) return {};
    return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

// Sets a flag for the length of a scope, also when it is left by an exception.
class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
};

// A page that a link opened for a window of its own: its address goes to the system browser.
class TOutsidePage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame) {
            OpenOutsideLater(parent(), url);
            deleteLater();
        }
        return false;
    }
};

std::string Padded(const char* label) {
    std::string text = label;
    if (text.size() < 20) text.resize(20, ' ');
    return text;
}

} // namespace

void LogSystemInfo() {
    WriteLog("Retreiving system information...");
    const TGameInfo info;
    WriteLog(Padded("OSVersion:") + info.OSVersion);
    WriteLog(Padded("OSPlatform:") + info.OSPlatform);
    WriteLog(Padded("DispResu:") + info.Resolution);
    WriteLog(Padded("DirectXvs:") + info.DirectXVersion);
    WriteLog(Padded("BitsPixel:") + info.BitsPerPixel);
    WriteLog(Padded("CPUvendor:") + info.CPUVendor);
    static const char* const memoryLabels[] = {
        "MemoryLoad:",    "TotalPhys:",    "AvailPhys:",   "TotalPageFile:",
        "AvailPageFile:", "TotalVirtual:", "AvailVirtual:"};
    for (int i = 0; i < 7; ++i)
        WriteLog(Padded(memoryLabels[i]) + std::to_string(info.MemoryValue(i + 1)));
    static const char* const systemLabels[] = {
        "PageSize:", "AtiveProcessorMask:", "NumberOfProcessors:", "ProcessorType:",
        "AllocationGranularity:"};
    for (int i = 0; i < 5; ++i)
        WriteLog(Padded(systemLabels[i]) + std::to_string(info.SystemValue(i + 1)));
    FreeMemoryKB = SumFreeMemoryKB(info.MemoryValue(3), info.MemoryValue(7));
}

// The embedded browser's page: its navigations pass the menu window's veto.
class TBrowserPage : public QWebEnginePage {
  public:
    TBrowserPage(TForm1* form, QObject* parent) : QWebEnginePage(parent), FForm(form) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return FForm->WebBrowser1BeforeNavigate(url, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return new TOutsidePage(this); }

  private:
    TForm1* FForm;
};

void PrepareEmbeddedBrowser() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto add = [&flags](const char* flag) {
        if (!flags.contains(flag)) flags += QByteArray(flags.isEmpty() ? "" : " ") + flag;
    };
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (QGuiApplication::instance()) platform = QGuiApplication::platformName().toUtf8();
    const bool headless = platform.startsWith("offscreen") || platform.startsWith("minimal");
    // Chromium's sandbox refuses to run as root; headless runs (the tests, often in containers
    // without user namespaces) show only our own pages and go without it too.
    if (geteuid() == 0 || headless) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        add("--no-sandbox");
    }
    if (headless) add("--disable-gpu");
    if (!flags.isEmpty()) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    // The engine's start-up report is for its developers; QT_LOGGING_RULES still brings it back.
    QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
}

bool EnoughFreeMemory(int32_t freeKB) {
    // Compared unsigned, as the figure always was.
    return !(MinFreeMemoryKB > static_cast<uint32_t>(freeKB));
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Crumble Rush");
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);

    auto* client = new QWidget(this);
    setCentralWidget(client);
    // In this order: a later widget lies over an earlier one.
    CreatePicture(client);
    CreateProgressPanel(client);
    CreateStartShape(client);
    CreateSpriteScriptMemo(client);
    CreateActions();
    CreateMenus();
    CreateBrowser(client);
    CreateConnectionTimer();

    Guarded([this] { FormCreate(); });
}

void TForm1::CreatePicture(QWidget* client) {
    Image1 = new QLabel(client);
    Image1->move(0, 0);
}

void TForm1::CreateProgressPanel(QWidget* client) {
    Panel2 = new QFrame(client);
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Raised);
    Panel2->setAutoFillBackground(true);
    Panel2->resize(185, 49);
    Panel2->hide();
    Gauge1 = new QProgressBar(Panel2);
    Gauge1->setGeometry(4, 24, 177, 17);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet("QProgressBar::chunk { background: blue; }");
    Label1 = new QLabel("Konvertiere Sounds...", Panel2);
    Label1->setTextFormat(Qt::PlainText);
    Label1->move(4, 8);
}

void TForm1::CreateStartShape(QWidget* client) {
    // The start button is painted in the menu picture; this invisible shape lies over it.
    Shape1 = new QWidget(client);
    Shape1->setGeometry(152, 268, 109, 53);
    Shape1->setAttribute(Qt::WA_TranslucentBackground);
    Shape1->setCursor(Qt::PointingHandCursor);
    Shape1->installEventFilter(this);
}

void TForm1::CreateSpriteScriptMemo(QWidget* client) {
    SBMemo = new QPlainTextEdit(client);
    SBMemo->hide();
    SBMemo->setPlainText(QString::fromStdString(AnsiToUtf8(BuiltInSpriteScript())));
    SpriteScriptLines = [this] { return SpriteScript(); };
}

void TForm1::CreateActions() {
    ActionStart = new QAction("'Crumble Rush' spielen", this);
    ActionStart->setShortcut(QKeySequence(Qt::Key_F9));
    connect(ActionStart, &QAction::triggered, this, [this] { ActionStartExecute(); });
    ActionHilfe = new QAction("&Hilfe im Internet öffnen", this);
    ActionHilfe->setShortcut(QKeySequence(Qt::Key_F1));
    connect(ActionHilfe, &QAction::triggered, this, [this] { ActionHilfeExecute(); });
    ActionEinstellungen = new QAction("&Einstellungen", this);
    connect(ActionEinstellungen, &QAction::triggered, this,
            [this] { ActionEinstellungenExecute(); });
    Actionwebsite = new QAction("&Korvald Website öffnen", this);
    connect(Actionwebsite, &QAction::triggered, this, [this] { ActionwebsiteExecute(); });
    ActionClose = new QAction("&Schliessen", this);
    connect(ActionClose, &QAction::triggered, this, [this] { close(); });
    ActionPublishHighscore = new QAction("&Highscore veröffentlichen", this);
    connect(ActionPublishHighscore, &QAction::triggered, this,
            [this] { ActionPublishHighscoreExecute(); });
    ActionGotoHighscore = new QAction("&Highscore im Internet öffnen", this);
    connect(ActionGotoHighscore, &QAction::triggered, this,
            [this] { ActionGotoHighscoreExecute(); });
    ActionPublishErrorreport = new QAction("&Fehlerreport senden", this);
    connect(ActionPublishErrorreport, &QAction::triggered, this,
            [this] { ActionPublishErrorreportExecute(); });
    ActionInfo = new QAction("&Info", this);
    connect(ActionInfo, &QAction::triggered, this, [this] { ActionInfoExecute(); });
}

void TForm1::CreateMenus() {
    Datei1 = menuBar()->addMenu("&Datei");
    Datei1->addAction(ActionEinstellungen);
    Datei1->addSeparator();
    Datei1->addAction(ActionClose);
    Game1 = menuBar()->addMenu("&Spiel");
    Game1->addAction(ActionStart);
    Internet1 = menuBar()->addMenu("&Internet");
    Internet1->addAction(ActionPublishHighscore);
    Internet1->addAction(ActionGotoHighscore);
    Internet1->addAction(Actionwebsite);
    Internet1->addSeparator();
    Internet1->addAction(ActionPublishErrorreport);
    Help1 = menuBar()->addMenu("&Hilfe");
    Help1->addAction(ActionHilfe);
    Help1->addSeparator();
    Help1->addAction(ActionInfo);
}

void TForm1::CreateBrowser(QWidget* client) {
    // The engine starts with the page: at the first navigation, or earlier by CreateBrowserPage.
    PrepareEmbeddedBrowser();
    WebBrowser1 = new QWebEngineView(client);
    WebBrowser1->setGeometry(0, 0, 1, 1);
    WebBrowser1->hide();
    connect(WebBrowser1, &QWebEngineView::loadFinished, this,
            [this](bool ok) { Guarded([&] { WebBrowser1DocumentComplete(ok); }); });
}

void TForm1::CreateConnectionTimer() {
    Timer1 = new QTimer(this);
    Timer1->setInterval(TimerInterval);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
    Timer1->start();
    // A changed connection shows at once, not only at the next tick.
    SetOnlineChangedHandler([this] {
        if (Timer1->isActive()) Guarded([this] { Timer1Timer(); });
    });
}

TForm1::~TForm1() {
    SetOnlineChangedHandler(nullptr);
    if (Form1 == this) Form1 = nullptr;
    SpriteScriptLines = [] { return SplitLines(BuiltInSpriteScript()); };
}

std::vector<std::string> TForm1::SpriteScript() {
    const std::string external = ProgDir() + "\\gfx\\sb.txt";
    const bool replace = FileExists(external);
    if (replace) {
        WriteLog("Loading external sb.txt");
        SBMemo->clear();
        SBMemo->setPlainText(QString::fromStdString(AnsiToUtf8(ReadFileBytes(external))));
    }
    std::vector<std::string> lines = SplitLines(Utf8ToAnsi(SBMemo->toPlainText().toStdString()));
    if (replace) WriteLog("Lines: " + std::to_string(lines.size()));
    return lines;
}

void TForm1::FormCreate() {
    ReturnToHome = false;
    Randomize();
    EnterProgDir();
    CreateDir(ProgDir() + "/sps");
    LoadEnv();
    LoadGameData("SPS\\game.dat");
    ShowMenuPicture("MENUE");
    const QSize size = Image1->pixmap().size();
    centralWidget()->setFixedSize(size);
    setFixedSize(sizeHint());
    Panel2->move((size.width() - Panel2->width()) / 2, (size.height() - Panel2->height()) / 2);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TForm1::ShowMenuPicture(const char* name) {
    const QImage picture = LoadJpegResource(name);
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->resize(picture.size());
}

void TForm1::FormActivate() {
    // The steps below open boxes and dialogs, whose closing activates the window again.
    if (FInActivate) return;
    const TFlagScope activating(FInActivate);
    if (!FHoldPage) {
        HideBrowser();
        repaint();
    }
    Timer1Timer();
    SoundsReady = PrepareSounds(this, Gauge1, Panel2);
    if (LogIsOK())
        EraseLog();
    else
        LookUpKnownErrorOnce();
}

void TForm1::HideBrowser() {
    FBrowserVisible = false;
    if (FPage) FPage->triggerAction(QWebEnginePage::Stop);
    WebBrowser1->setGeometry(WebBrowser1->x(), WebBrowser1->y(), 1, 1);
    WebBrowser1->hide();
}

void TForm1::ShowBrowser() {
    FBrowserVisible = true;
    WebBrowser1->show();
}

void TForm1::CreateBrowserPage() {
    if (FPage) return;
    FPage = new TBrowserPage(this, WebBrowser1);
    WebBrowser1->setPage(FPage);
}

void TForm1::Navigate(const std::string& address) {
    CreateBrowserPage();
    FBrowserTarget = address;
    WebBrowser1->load(QUrl(QString::fromStdString(address), QUrl::TolerantMode));
}

void TForm1::Timer1Timer() {
    const bool online = IsOnline();
    if (FBrowserVisible && online && ReturnToHome) {
        FHoldPage = false;
        Navigate(StartPageAddress());
        ReturnToHome = false;
    }
    if (!FBrowserVisible && online) {
        ShowBrowser();
        Navigate(StartPageAddress());
    }
    if (FBrowserVisible && !online) {
        FHoldPage = false;
        HideBrowser();
        try {
            ShowMenuPicture("MENUE");
        } catch (const std::exception&) {
            // The menu stays as it is.
        }
    }
}

void TForm1::WebBrowser1DocumentComplete(bool ok) {
    // A page that could not be loaded (no server, an aborted load) shows nothing; the next tick
    // tries again. One that came after the browser was hidden is not wanted any more.
    if (!FBrowserVisible) return;
    if (!ok) {
        if (WebBrowser1->width() == 1) HideBrowser();
        return;
    }
    try {
        ShowMenuPicture("MENUE_NET");
    } catch (const std::exception&) {
        // The frame of the picture is missing, the page shows all the same.
    }
    WebBrowser1->setGeometry(BrowserPlace);
}

bool TForm1::WebBrowser1BeforeNavigate(const QUrl& url, bool mainFrame) {
    const std::string target = url.toString(QUrl::FullyEncoded).toStdString();
    const std::string start = QUrl(QString::fromStdString(StartPageAddress()), QUrl::TolerantMode)
                                  .toString(QUrl::FullyEncoded)
                                  .toStdString();
    if (target.find(start) != std::string::npos) return true;
    if (mainFrame) OpenOutsideLater(this, url);
    return false;
}

void TForm1::LookUpKnownErrorOnce() {
    if (FInLookUp) return;
    const std::string signature = LogSignature();
    if (signature == FLookedUpLog) return;
    FLookedUpLog = signature;
    LookUpKnownError();
}

void TForm1::LookUpKnownError() {
    if (FInLookUp) return;
    const TFlagScope lookingUp(FInLookUp);
    FLookedUpLog = LogSignature();
    if (MessageDlg("Während der Programmausführung ist ein Fehler aufgetreten. Möchten Sie, daß "
                   "auf der Fehlerlösungsseite im Internet nachgesehen wird, ob es eine Lösung "
                   "für dieses Problem gibt?",
                   TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) != mrYes)
        return;
    // Without a connection the message has been shown and the text is empty: no line matches,
    // and the player is offered the report (which keeps the log while nothing can be sent).
    const std::string errors = HTTPGetText(WebPageAddress("korvaldinternal/errors.txt"));
    const std::string logFile = ProgDir() + "\\sps\\log.txt";
    const std::vector<std::string> log =
        FileExists(logFile) ? SplitTextLines(ReadFileBytes(logFile)) : std::vector<std::string>();
    const auto known = MatchKnownError(Utf8ToAnsi(errors), log);
    if (!known) {
        if (MessageDlg("Dieser Fehler ist leider noch unbekannt. Möchten Sie uns einen "
                       "Fehlerreport senden?",
                       TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) == mrYes)
            ActionPublishErrorreportExecute();
        return;
    }
    const std::string solution =
        WebPageAddress("korvaldinternal/errors/" + AnsiToUtf8(known->Page));
    if (FBrowserVisible) {
        FHoldPage = true;
        Navigate(solution);
    } else {
        OpenURL(solution);
    }
    if (!known->KeepLog) EraseLog();
    FLookedUpLog = LogSignature();
}

void TForm1::ActionPublishHighscoreExecute() {
    if (Env.Highscores[0].Score == EmptyHighscore) {
        ShowMessage("Ihre Highscoreliste ist noch leer.");
        return;
    }
    // One publishing dialog at a time: a second call brings the open one forward.
    if (!PublishHighscoreForm) PublishHighscoreForm = new TPublishHighscoreForm();
    PublishHighscoreForm->show();
    PublishHighscoreForm->raise();
    PublishHighscoreForm->activateWindow();
}

void TForm1::ActionGotoHighscoreExecute() {
    bool online = IsOnline();
    if (!online) {
        DialUp();
        online = CheckOnline();
        if (!FBrowserVisible && online) ShowBrowser();
    }
    if (!online) {
        ShowMessage("Es konnte keine Verbundung zum Internet hergestellt werden");
        return;
    }
    if (FBrowserVisible) Navigate(WebPageAddress("korvaldinternal/highscore.html"));
    ReturnToHome = true;
}

void TForm1::ActionPublishErrorreportExecute() {
    TPublishErrorreportForm form;
    form.ShowModal();
}

void TForm1::ActionInfoExecute() {
    TInfoForm form;
    form.ShowModal();
}

void TForm1::ActionHilfeExecute() {
    OpenURL(WebPageAddress("crumblerush/hilfe/index.html"));
}

void TForm1::ActionEinstellungenExecute() {
    // A window of its own; as the menu window's child it ends with the program.
    auto* options = new TMainOptions(this);
    options->show();
}

void TForm1::ActionwebsiteExecute() {
    OpenURL(WebsiteAddress());
}

void TForm1::ActionStartExecute() {
    if (FInStart) return;
    FInStart = true;
    Timer1->stop();
    // Only the disk-space message leaves the timer off.
    bool timerOn = true;
    Guarded([this, &timerOn] {
        if (!SoundsReady) {
            timerOn = false;
            MessageDlg("Zu wenig Festplattenspeicher verfügbar auf Laufwerk " +
                           MountPoint(ProgDir()) + ".",
                       TMsgDlgType::Information, TMsgDlgButtons::OK);
            return;
        }
        WriteLog(std::string("Program Version ") + ProgramVersion);
        LogSystemInfo();
        if (!EnoughFreeMemory(FreeMemoryKB)) {
            if (MessageDlg("Es ist wahrscheinlich nicht genügend freier Speicher auf Ihrem System "
                           "verfügbar. Möchten Sie das Spiel trotzdem starten?",
                           TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo) != mrYes)
                return;
        }
        DDFullScreenForm1 = new TDDFullScreenForm1(this);
        if (Env.DisplayMode >= 0 && Env.DisplayMode <= 2)
            DDFullScreenForm1->SetDisplayMode(static_cast<uint8_t>(Env.DisplayMode));
        const int32_t bestBefore = Env.Highscores[0].Score;
        FHoldPage = false;
        DDFullScreenForm1->ShowModal();
        DDFullScreenForm1 = nullptr;
        if (!LogIsOK()) Guarded([this] { LookUpKnownErrorOnce(); });
        if (Env.Highscores[0].Score != bestBefore) {
            TNewHighscoreForm offer;
            if (offer.ShowModal() == mrYes) ActionPublishHighscoreExecute();
        }
    });
    if (timerOn) Timer1->start();
    FInStart = false;
}

void TForm1::FormClose() {
    SaveEnv();
    SaveGameData("SPS\\game.dat");
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        FActivated = true;
        Guarded([this] { FormActivate(); });
    } else if (e->type() == QEvent::Show && !FActivated) {
        // Without a window manager no activation may arrive; the first show stands in for it.
        QTimer::singleShot(0, this, [this] {
            if (!FActivated) {
                FActivated = true;
                Guarded([this] { FormActivate(); });
            }
        });
    }
    return QMainWindow::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
    Guarded([this] { FormClose(); });
    // The program ends with the menu window, an open publishing dialog too.
    if (PublishHighscoreForm) PublishHighscoreForm->close();
    e->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Shape1 && e->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        QTimer::singleShot(0, this, [this] { ActionStartExecute(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}
