#include "shell/Main.h"

#include "TestSupport.h"
#include "game/DDrawUnit.h"
#include "online/InfoUnit.h"
#include "online/NewHighscoreUnit.h"
#include "online/OnlineTestSupport.h"
#include "online/PublishErrorreportUnit.h"
#include "online/PublishHighscoreUnit.h"
#include "online/WebsendUnit.h"
#include "platform/input.h"
#include "platform/msgbox.h"
#include "platform/sysinfo.h"
#include "shell/DecodeUnit.h"
#include "shell/MainOptions.h"

#include <QAction>
#include <QKeyEvent>
#include <QApplication>
#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <algorithm>

// Chromium inside Qt WebEngine frees some objects with a sized delete of a base class, which the
// address sanitizer reports although it is none of ours; this binary runs the embedded browser.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
// Chromium also keeps much of what it allocates until the process ends; only this binary runs it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore\n";
}

namespace {

// Starts a game from the menu; once it runs, does what the test wants and leaves the game with
// Escape (a key event to the game window). The display mode the game ran in, 99 when none ran.
int PlayAndLeave(TForm1& form, void (*during)() = nullptr) {
    int mode = 99;
    QTimer::singleShot(150, [&] {
        if (during) during();
        if (!DDFullScreenForm1) return;
        mode = DDFullScreenForm1->DisplayMode;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b");
        QCoreApplication::sendEvent(DDFullScreenForm1, &press);
    });
    form.ActionStartExecute();
    return mode;
}

class MenuWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDefaultDisplay(std::make_shared<THeadlessDisplay>(1024, 768, 32));
        SetInputOverride(&Input);
        SetMessageHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) {
            Messages.push_back(text);
            return buttons == TMsgDlgButtons::YesNo ? Answer : mrOk;
        });
        // Offline unless a test starts a server: nothing listens on this port.
        WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
        SetShellOpener([this](const std::string& address) {
            Opened.push_back(address);
            return true;
        });
    }
    void TearDown() override {
        if (PublishHighscoreForm) delete PublishHighscoreForm.data();
        SetShellOpener(nullptr);
        SetMessageHandler(nullptr);
        SetInputOverride(nullptr);
        SetDefaultDisplay(nullptr);
    }
    TTempProgramFolder Folder;
    TInputState Input;
    std::vector<std::string> Messages;
    std::vector<std::string> Opened;
    int Answer = mrYes;
};

// A window whose embedded browser has loaded the start page of the given server.
bool BrowserShowsAPage(TForm1& form) {
    return WaitUntil([&form] { return form.WebBrowser1->geometry() == QRect(52, 53, 292, 171); });
}

bool Loaded(TForm1& form, const std::string& address) {
    return WaitUntil([&] {
        return form.WebBrowser1->url().toString().toStdString() == address &&
               !form.WebBrowser1->page()->isLoading();
    });
}

QImage Shown(const QLabel* label) {
    return label->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

std::vector<std::string> MenuItems(QWidget* menu) {
    std::vector<std::string> items;
    for (QAction* action : menu->actions())
        items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return items;
}

TEST_F(MenuWindowTest, CreationSizesTheWindowToThePictureAndPlacesItsParts) {
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Crumble Rush");
    const QSize picture = form.Image1->pixmap().size();
    ASSERT_FALSE(picture.isEmpty());
    EXPECT_EQ(form.centralWidget()->size(), picture);
    EXPECT_EQ(form.Shape1->geometry(), QRect(152, 268, 109, 53));
    EXPECT_FALSE(form.Panel2->isVisibleTo(&form));
    EXPECT_EQ(form.Panel2->x(), (picture.width() - 185) / 2);
    EXPECT_EQ(form.Panel2->y(), (picture.height() - 49) / 2);
    EXPECT_EQ(form.ActionStart->text(), "'Crumble Rush' spielen");
    EXPECT_EQ(form.ActionStart->shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_EQ(MenuItems(form.menuBar()),
              (std::vector<std::string>{"&Datei", "&Spiel", "&Internet", "&Hilfe"}));
    EXPECT_EQ(
        MenuItems(form.Internet1),
        (std::vector<std::string>{"&Highscore veröffentlichen", "&Highscore im Internet öffnen",
                                  "&Korvald Website öffnen", "-", "&Fehlerreport senden"}));
    EXPECT_EQ(MenuItems(form.Help1),
              (std::vector<std::string>{"&Hilfe im Internet öffnen", "-", "&Info"}));
    EXPECT_EQ(form.ActionHilfe->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(form.Timer1->interval(), 5000);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_TRUE(DirectoryExists(Folder.File("sps")) || DirectoryExists(Folder.File("SPS")));
}

TEST_F(MenuWindowTest, ClosingSavesBothRecords) {
    {
        TForm1 form;
        form.show();
        form.close();
    }
    // What they hold is the records' own test.
    EXPECT_EQ(ReadWholeFile(Folder.File("SPS/env.dat")).size(), 4764u);
    EXPECT_EQ(ReadWholeFile(Folder.File("SPS/game.dat")).size(), 116u);
}

TEST_F(MenuWindowTest, SystemInformationGoesToTheLogWithPaddedLabels) {
    LogSystemInfo();
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "Retreiving system information...");
    EXPECT_TRUE(lines[1].starts_with("OSVersion:          "));
    EXPECT_TRUE(lines[7].starts_with("MemoryLoad:         "));
    EXPECT_TRUE(lines[15].starts_with("AtiveProcessorMask: "));
    EXPECT_TRUE(lines[18].starts_with("AllocationGranularity:"));
    EXPECT_NE(lines[18].substr(22, 1), " ");
    EXPECT_GT(FreeMemoryKB, 0);
}

TEST_F(MenuWindowTest, AStartWithAnUnknownDisplayModeRunsModeZeroAndReturns) {
    TForm1 form;
    form.SoundsReady = true;
    Env.DisplayMode = 7;
    EXPECT_EQ(PlayAndLeave(form), 0);
    EXPECT_EQ(DDFullScreenForm1, nullptr);
    const std::vector<std::string> lines = LogLines(Folder);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Program Version 1.05");
    EXPECT_EQ(lines.back(), "OK");
}

TEST_F(MenuWindowTest, ShortMemoryAsksAndANoStartsNoGame) {
    TMemoryStatus status;
    status.AvailPhys = 50000ull << 10;
    status.AvailVirtual = 39999ull << 10; // together 89999 KB: one short
    SetMemoryStatusOverride(status);
    TForm1 form;
    form.SoundsReady = true;
    Answer = mrNo;
    form.ActionStartExecute();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Es ist wahrscheinlich nicht genügend freier Speicher auf Ihrem System "
                           "verfügbar. Möchten Sie das Spiel trotzdem starten?");
    EXPECT_EQ(FreeMemoryKB, 89999);
    const std::vector<std::string> lines = LogLines(Folder);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Formshow: Start"), 0);
    EXPECT_TRUE(EnoughFreeMemory(90000));
    EXPECT_TRUE(EnoughFreeMemory(-1)); // a negative figure reads as a huge unsigned one
    // A huge address space never wraps into the question.
    status.AvailPhys = 1ull << 40;
    status.AvailVirtual = 1ull << 47;
    SetMemoryStatusOverride(status);
    LogSystemInfo();
    SetMemoryStatusOverride(std::nullopt);
    EXPECT_TRUE(EnoughFreeMemory(FreeMemoryKB));
}

TEST_F(MenuWindowTest, AnUnwritableSaveFolderGivesAMessageAndTheMenuStaysUsable) {
    TForm1 form;
    form.SoundsReady = true;
    // A file where the folder should be makes every write into it fail.
    std::filesystem::remove_all(Folder.File("sps"));
    std::filesystem::remove_all(Folder.File("SPS"));
    WriteWholeFile(Folder.File("SPS"), "not a folder");
    form.ActionStartExecute();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Messages[0].empty());
    form.close();
    EXPECT_EQ(Messages.size(), 2u); // the failed save is reported too
    EXPECT_TRUE(form.ActionStart->isEnabled());
}

TEST_F(MenuWindowTest, OfflineTheBrowserStaysHiddenAndTheMenuPlain) {
    TForm1 form;
    form.FormActivate();
    EXPECT_FALSE(form.BrowserVisible());
    EXPECT_FALSE(form.WebBrowser1->isVisibleTo(&form));
    EXPECT_EQ(form.WebBrowser1->size(), QSize(1, 1));
    EXPECT_EQ(Shown(form.Image1), LoadJpegResource("MENUE").convertToFormat(QImage::Format_RGB32));
    form.ActionGotoHighscoreExecute();
    EXPECT_EQ(Messages, (std::vector<std::string>{
                            "Es konnte keine Verbundung zum Internet hergestellt werden"}));
    EXPECT_FALSE(form.ReturnToHome);
}

// The embedded browser against the companion server: the start page in the menu picture, the
// highscore page and back, links that leave for the system browser, a solution page that
// stays, and the plain menu once the server has gone.
TEST_F(MenuWindowTest, OnlineTheEmbeddedBrowserShowsOnlyTheInternalPages) {
    auto server = std::make_unique<TTestServer>();
    server->Configure();
    TForm1 form;
    form.show();
    ASSERT_TRUE(BrowserShowsAPage(form));
    EXPECT_TRUE(form.BrowserVisible());
    EXPECT_TRUE(form.WebBrowser1->isVisible());
    const std::string start = StartPageAddress();
    EXPECT_EQ(form.BrowserTarget(), start);
    EXPECT_EQ(Shown(form.Image1),
              LoadJpegResource("MENUE_NET").convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(form.WebBrowser1->title().contains("Crumble"))
        << form.WebBrowser1->title().toStdString();

    // Addresses outside the internal pages go to the system browser; the page stays.
    EXPECT_TRUE(form.WebBrowser1BeforeNavigate(
        QUrl(QString::fromStdString(start + "/highscore.html")), true));
    EXPECT_FALSE(form.WebBrowser1BeforeNavigate(QUrl("file:///etc/passwd"), true));
    EXPECT_FALSE(form.WebBrowser1BeforeNavigate(QUrl("https://example.org/frame"), false));
    form.WebBrowser1->page()->runJavaScript("window.location.href = 'https://example.org/news';");
    ASSERT_TRUE(WaitUntil([this] { return !Opened.empty(); }));
    EXPECT_EQ(Opened, (std::vector<std::string>{"https://example.org/news"}));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(form.WebBrowser1->url().toString().toStdString(), start);
    EXPECT_EQ(form.WebBrowser1->geometry(), QRect(52, 53, 292, 171));

    // The highscore page, and back home at the next tick.
    form.ActionGotoHighscoreExecute();
    EXPECT_TRUE(form.ReturnToHome);
    EXPECT_TRUE(Loaded(form, WebPageAddress("korvaldinternal/highscore.html")));
    form.Timer1Timer();
    EXPECT_FALSE(form.ReturnToHome);
    EXPECT_TRUE(Loaded(form, start));

    // A known crash's solution page shows in the embedded browser, and the activation that
    // follows the closed question keeps it.
    WriteLog("Exception raised in Threadnotify while Bobs.Paint: x");
    WriteLog("ERROR");
    form.LookUpKnownError();
    const std::string solution = WebPageAddress("korvaldinternal/errors/grafik.html");
    EXPECT_EQ(Opened.size(), 1u);
    ASSERT_TRUE(Loaded(form, solution));
    form.FormActivate();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
    EXPECT_TRUE(Loaded(form, solution));
    EXPECT_EQ(form.WebBrowser1->geometry(), QRect(52, 53, 292, 171));

    // The server goes away: the next ticks hide the browser and show the plain picture.
    server.reset();
    ASSERT_TRUE(WaitUntil([&form] {
        form.Timer1Timer();
        return !form.BrowserVisible();
    }));
    EXPECT_EQ(form.WebBrowser1->size(), QSize(1, 1));
    EXPECT_FALSE(form.WebBrowser1->isVisible());
    EXPECT_EQ(Shown(form.Image1), LoadJpegResource("MENUE").convertToFormat(QImage::Format_RGB32));
}

TEST_F(MenuWindowTest, ACrashIsLookedUpInTheKnownErrors) {
    auto web = ServePage("<zn=1><z1=Exception raised in Threadnotify><W=grafik.html>\r\n"
                         "<zn=2><z1=Loading Sound><z2=generic error:><S><W=sound.html>\r\n");
    TForm1 form;
    WriteLog("Program Version 1.05");
    WriteLog("Exception raised in Threadnotify while Flip(): surface lost");
    WriteLog("ERROR");
    form.LookUpKnownError();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(
        Messages[0].starts_with("Während der Programmausführung ist ein Fehler aufgetreten."));
    EXPECT_TRUE(web->Received().starts_with("GET /korvaldinternal/errors.txt ")) << web->Received();
    EXPECT_EQ(Opened,
              (std::vector<std::string>{WebPageAddress("korvaldinternal/errors/grafik.html")}));
    EXPECT_TRUE(LogIsOK()); // erased

    // A line with S keeps the log.
    WriteLog("Loading Sound: treffer");
    WriteLog("generic error: kaputt");
    WriteLog("ERROR");
    form.LookUpKnownError();
    EXPECT_EQ(Opened.back(), WebPageAddress("korvaldinternal/errors/sound.html"));
    EXPECT_FALSE(LogIsOK());

    // A No to the first question looks nothing up.
    Answer = mrNo;
    form.LookUpKnownError();
    EXPECT_EQ(Messages.size(), 3u);
    EXPECT_EQ(Opened.size(), 2u);
    // An errors.txt line without a number ends the look-up with a conversion error, which
    // the application shows as it shows every error.
    Answer = mrYes;
    web = ServePage("<z1=ERROR><W=x.html>\r\n");
    EXPECT_THROW(form.LookUpKnownError(), EConvertError);
    EXPECT_EQ(Messages.size(), 4u);
    EXPECT_FALSE(LogIsOK());
}

TEST_F(MenuWindowTest, OfflineACrashIsUnknownAndTheReportKeepsTheLog) {
    TForm1 form;
    WriteLog("Etwas ganz Neues");
    WriteLog("ERROR");
    bool reportShown = false;
    WhenModal<TPublishErrorreportForm>([&reportShown](TPublishErrorreportForm* report) {
        reportShown = true;
        report->Button1Click(); // nothing can be sent
        EXPECT_TRUE(report->isVisible());
        report->close();
    });
    form.LookUpKnownError();
    EXPECT_TRUE(reportShown);
    ASSERT_EQ(Messages.size(), 4u);
    EXPECT_TRUE(Messages[0].starts_with("Während der Programmausführung"));
    EXPECT_EQ(Messages[1], NoConnectionMessage);
    EXPECT_EQ(Messages[2], "Dieser Fehler ist leider noch unbekannt. Möchten Sie uns einen "
                           "Fehlerreport senden?");
    EXPECT_EQ(Messages[3], NoConnectionMessage);
    EXPECT_TRUE(Opened.empty());
    EXPECT_EQ(LogLines(Folder), (std::vector<std::string>{"Etwas ganz Neues", "ERROR"}));
}

TEST_F(MenuWindowTest, ActivationAsksAboutOneCrashOnlyOnce) {
    WriteLog("ERROR");
    TForm1 form;
    Answer = mrNo;
    const auto questions = [this] {
        return std::count_if(Messages.begin(), Messages.end(),
                             [](const std::string& m) { return m.starts_with("Während"); });
    };
    form.FormActivate();
    form.FormActivate();
    EXPECT_EQ(questions(), 1);
    WriteLog("ERROR"); // a new crash
    form.FormActivate();
    EXPECT_EQ(questions(), 2);
}

TEST_F(MenuWindowTest, PublishingNeedsAScoreAndOpensOneDialog) {
    TForm1 form;
    Env = DefaultEnvData();
    form.ActionPublishHighscoreExecute();
    EXPECT_EQ(Messages, (std::vector<std::string>{"Ihre Highscoreliste ist noch leer."}));
    EXPECT_TRUE(PublishHighscoreForm.isNull());
    Env.Highscores[0].Score = 1500;
    form.ActionPublishHighscoreExecute();
    ASSERT_FALSE(PublishHighscoreForm.isNull());
    TPublishHighscoreForm* first = PublishHighscoreForm;
    EXPECT_TRUE(first->isVisible());
    form.ActionPublishHighscoreExecute();
    EXPECT_EQ(PublishHighscoreForm.data(), first);
}

TEST_F(MenuWindowTest, ANewBestScoreAfterAGameOffersPublishing) {
    TForm1 form;
    form.SoundsReady = true;
    Env = DefaultEnvData();
    bool offered = false;
    WhenModal<TNewHighscoreForm>([&offered](TNewHighscoreForm* offer) {
        offered = true;
        EXPECT_EQ(offer->Label4->text(), "4200 Punkte,");
        offer->Button1->click();
    });
    PlayAndLeave(form, [] { Env.Highscores[0].Score = 4200; }); // as the game's end inserts it
    EXPECT_TRUE(offered);
    ASSERT_FALSE(PublishHighscoreForm.isNull());
    EXPECT_TRUE(PublishHighscoreForm->isVisible());
    EXPECT_TRUE(form.Timer1->isActive());
}

TEST_F(MenuWindowTest, AGameThatChangesOnlyLowerPlacesOffersNothing) {
    TForm1 form;
    form.SoundsReady = true;
    Env = DefaultEnvData();
    Env.Highscores[0].Score = 9000;
    int offers = 0;
    QTimer watch; // every offer that shows is counted and declined
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&offers] {
        if (auto* offer = dynamic_cast<TNewHighscoreForm*>(QApplication::activeModalWidget())) {
            ++offers;
            offer->Button2->click();
        }
    });
    watch.start();
    PlayAndLeave(form, [] {
        Env.Highscores[1].Score = 4200;
        Env.Highscores[9].Score = 100;
    });
    EXPECT_EQ(Env.Highscores[1].Score, 4200); // the game ran while the list changed
    EXPECT_EQ(offers, 0);
    EXPECT_TRUE(PublishHighscoreForm.isNull());
}

TEST_F(MenuWindowTest, TooLittleDiskSpaceLeavesTheTimerOff) {
    TForm1 form;
    form.SoundsReady = false;
    form.ActionStartExecute();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].starts_with("Zu wenig Festplattenspeicher"));
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST_F(MenuWindowTest, HelpWebSiteInfoAndReportActions) {
    WriteCfg("webserver", "http://games.example:81/");
    TForm1 form;
    form.ActionHilfeExecute();
    form.ActionwebsiteExecute();
    EXPECT_EQ(Opened,
              (std::vector<std::string>{"http://games.example:81/crumblerush/hilfe/index.html",
                                        "http://games.example:81/korvald/"}));
    bool info = false, report = false;
    WhenModal<TInfoForm>([&info](TInfoForm* shown) {
        info = true;
        shown->close();
    });
    form.ActionInfoExecute();
    WhenModal<TPublishErrorreportForm>([&report](TPublishErrorreportForm* shown) {
        report = true;
        shown->close();
    });
    form.ActionPublishErrorreportExecute();
    EXPECT_TRUE(info);
    EXPECT_TRUE(report);
}

TEST_F(MenuWindowTest, TheOptionsComeFromDateiAndTheirDisplayModeReachesTheNextGame) {
    TForm1 form;
    form.SoundsReady = true;
    EXPECT_EQ(MenuItems(form.Datei1),
              (std::vector<std::string>{"&Einstellungen", "-", "&Schliessen"}));
    EXPECT_TRUE(form.ActionEinstellungen->shortcut().isEmpty());
    // Each call opens a dialog of its own and returns at once.
    form.ActionEinstellungen->trigger();
    form.ActionEinstellungen->trigger();
    const QList<TMainOptions*> dialogs = form.findChildren<TMainOptions*>();
    ASSERT_EQ(dialogs.size(), 2);
    EXPECT_TRUE(dialogs[0]->isVisible() && dialogs[1]->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    dialogs[1]->BtCancel->click();
    dialogs[0]->RadioGroup1Items->button(2)->click();
    dialogs[0]->BtOk->click();
    ASSERT_EQ(Env.DisplayMode, 2);
    EXPECT_EQ(PlayAndLeave(form), 2);
}

} // namespace
