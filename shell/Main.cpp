#include "shell/Main.h"

#include "game/DDrawUnit.h"
#include "gamelib/SoundPrep.h"
#include "gamelib/SpriteUnit.h"
#include "online/GameInfo.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <functional>
#include <string>

int32_t FreeMemoryKB = 0;
TForm1* Form1 = nullptr;

namespace {

constexpr const char* ProgramVersion = "1.05";
constexpr uint32_t MinFreeMemoryKB = 90000;

// What the application did with an exception that reached it: an error box, and on.
void Guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
    }
}

std::string Padded(const char* label) {
    std::string text = label;
    if (text.size() < 20) text.resize(20, ' ');
    return text;
}

}  // namespace

void LogSystemInfo() {
    WriteLog("Retreiving system information...");
    const TGameInfo info;
    WriteLog(Padded("OSVersion:") + info.OSVersion);
    WriteLog(Padded("OSPlatform:") + info.OSPlatform);
    WriteLog(Padded("DispResu:") + info.Resolution);
    WriteLog(Padded("DirectXvs:") + info.DirectXVersion);
    WriteLog(Padded("BitsPixel:") + info.BitsPerPixel);
    WriteLog(Padded("CPUvendor:") + info.CPUVendor);
    static const char* const memoryLabels[] = {"MemoryLoad:",    "TotalPhys:",    "AvailPhys:",
                                               "TotalPageFile:", "AvailPageFile:", "TotalVirtual:",
                                               "AvailVirtual:"};
    for (int i = 0; i < 7; ++i)
        WriteLog(Padded(memoryLabels[i]) + std::to_string(info.MemoryValue(i + 1)));
    static const char* const systemLabels[] = {"PageSize:", "AtiveProcessorMask:",
                                               "NumberOfProcessors:", "ProcessorType:",
                                               "AllocationGranularity:"};
    for (int i = 0; i < 5; ++i)
        WriteLog(Padded(systemLabels[i]) + std::to_string(info.SystemValue(i + 1)));
    FreeMemoryKB = SumFreeMemoryKB(info.MemoryValue(3), info.MemoryValue(7));
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

    Image1 = new QLabel(client);
    Image1->move(0, 0);

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
    Label1->move(4, 8);

    // The start button is painted in the menu picture; this invisible shape lies over it.
    Shape1 = new QWidget(client);
    Shape1->setGeometry(152, 268, 109, 53);
    Shape1->setAttribute(Qt::WA_TranslucentBackground);
    Shape1->setCursor(Qt::PointingHandCursor);
    Shape1->installEventFilter(this);

    SBMemo = new QPlainTextEdit(client);
    SBMemo->hide();
    SBMemo->setPlainText(QString::fromStdString(AnsiToUtf8(BuiltInSpriteScript())));
    SpriteScriptLines = [this] { return SpriteScript(); };

    ActionStart = new QAction("'Crumble Rush' spielen", this);
    ActionStart->setShortcut(QKeySequence(Qt::Key_F9));
    connect(ActionStart, &QAction::triggered, this, [this] { ActionStartExecute(); });
    ActionClose = new QAction("&Schliessen", this);
    connect(ActionClose, &QAction::triggered, this, [this] { close(); });

    Datei1 = menuBar()->addMenu("&Datei");
    Datei1->addAction(ActionClose);
    Game1 = menuBar()->addMenu("&Spiel");
    Game1->addAction(ActionStart);

    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
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
    // The embedded browser and its timer join here with the online services.
    SoundsReady = PrepareSounds(this, Gauge1, Panel2);
    if (LogIsOK())
        EraseLog();
}

void TForm1::ActionStartExecute() {
    if (FInStart) return;
    FInStart = true;
    Guarded([this] {
        if (!SoundsReady) {
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
        DDFullScreenForm1->ShowModal();
        DDFullScreenForm1 = nullptr;
    });
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
