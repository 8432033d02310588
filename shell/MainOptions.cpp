#include "shell/MainOptions.h"

#include "platform/msgbox.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <exception>
#include <string>
#include <string_view>

namespace {

constexpr int VolumeMax = 127;
constexpr int BubblesMax = 100;
// The client area the dialog was laid out for; larger fonts may widen it.
constexpr QSize ClientSize(321, 253);
constexpr QSize ButtonSize(113, 25);
constexpr int TrackBarWidth = 150;
constexpr const char* CaveEditKey = "caveedit";

// An integer as the configuration writes it: blanks around it, an optional sign, decimal
// digits that fit 32 bits. Anything else throws EConvertError with the usual message.
int32_t StrToInt(const std::string& text) {
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        throw EConvertError("'" + AnsiToUtf8(text.substr(0, 40)) +
                            "' ist kein gültiger ganzzahliger Wert");
    return value;
}

QSlider* TrackBar(int max, int ticks, QWidget* parent) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setRange(0, max);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(ticks);
    return bar;
}

QLabel* SmallFontsLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font("Small Fonts");
    font.setPointSize(7);
    label->setFont(font);
    return label;
}

} // namespace

TMainOptions::TMainOptions(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Einstellungen");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);

    PageControl1 = new QTabWidget(this);
    TabSheet1 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet1, "Grafik");
    PageControl1->addTab(TabSheet3, "Sound");
    PageControl1->addTab(TabSheet2, "Extras");

    // "Grafik": the display mode; the effects and the autostart box only pass their values on.
    RadioGroup1 = new QGroupBox("Anzeige", TabSheet1);
    RadioGroup1Items = new QButtonGroup(RadioGroup1);
    auto* modes = new QVBoxLayout(RadioGroup1);
    const char* const modeNames[] = {"Vollbild 800 x 600 (standard)",
                                     "Vollbild, ohne Auflösungsänderung", "Im Fenster"};
    for (int mode = 0; mode < 3; ++mode) {
        auto* item = new QRadioButton(modeNames[mode], RadioGroup1);
        RadioGroup1Items->addButton(item, mode);
        modes->addWidget(item);
    }
    GroupBox1 = new QGroupBox("Effects", TabSheet1);
    CheckBox3 = new QCheckBox("Transparency", GroupBox1);
    TrackBar3 = TrackBar(BubblesMax, 10, GroupBox1);
    Label1 = SmallFontsLabel("Bubbles", GroupBox1);
    Label2 = SmallFontsLabel("0%", GroupBox1);
    Label5 = SmallFontsLabel("100%", GroupBox1);
    auto* effects = new QGridLayout(GroupBox1);
    effects->addWidget(CheckBox3, 0, 0, 1, 4);
    effects->addWidget(Label1, 1, 0);
    effects->addWidget(Label2, 1, 1);
    effects->addWidget(TrackBar3, 1, 2);
    effects->addWidget(Label5, 1, 3);
    GroupBox1->hide();
    CheckBox2 = new QCheckBox("Autostart", TabSheet1);
    CheckBox2->hide();
    auto* graphics = new QVBoxLayout(TabSheet1);
    graphics->setContentsMargins(12, 12, 12, 12);
    graphics->addWidget(RadioGroup1);
    graphics->addWidget(GroupBox1);
    graphics->addWidget(CheckBox2);
    graphics->addStretch();

    // "Sound": switches and the two volumes.
    CheckBox1 = new QCheckBox("Sound an", TabSheet3);
    CheckBox6 = new QCheckBox("Keine Musik", TabSheet3);
    GroupBox2 = new QGroupBox("Lautstärke", TabSheet3);
    Label3 = new QLabel("Musik", GroupBox2);
    Label4 = new QLabel("Effekte", GroupBox2);
    TrackBar1 = TrackBar(VolumeMax, 13, GroupBox2);
    TrackBar2 = TrackBar(VolumeMax, 13, GroupBox2);
    TrackBar1->setMinimumWidth(TrackBarWidth);
    TrackBar2->setMinimumWidth(TrackBarWidth);
    auto* volumes = new QGridLayout(GroupBox2);
    volumes->addWidget(Label3, 0, 0);
    volumes->addWidget(TrackBar1, 0, 1);
    volumes->addWidget(Label4, 1, 0);
    volumes->addWidget(TrackBar2, 1, 1);
    volumes->setColumnStretch(1, 1);
    auto* sound = new QVBoxLayout(TabSheet3);
    sound->setContentsMargins(16, 16, 16, 12);
    sound->addWidget(CheckBox1);
    sound->addWidget(CheckBox6);
    sound->addSpacing(12);
    sound->addWidget(GroupBox2);
    sound->addStretch();

    // "Extras": hidden whenever the dialog shows.
    CheckBox4 = new QCheckBox("Cave Editor", TabSheet2);
    auto* extras = new QVBoxLayout(TabSheet2);
    extras->setContentsMargins(16, 16, 16, 12);
    extras->addWidget(CheckBox4);
    extras->addStretch();

    BtOk = new QPushButton("Ok", this);
    BtCancel = new QPushButton("Abbruch", this);
    BtOk->setMinimumSize(ButtonSize);
    BtCancel->setMinimumSize(ButtonSize);
    BtOk->setDefault(true);
    connect(BtOk, &QPushButton::clicked, this, [this] { BtOkClick(); });
    connect(BtCancel, &QPushButton::clicked, this, [this] { BtCancelClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtCancel);
    buttons->addStretch();
    buttons->addWidget(BtOk);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(7);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet2), false);
    setFixedSize(sizeHint().expandedTo(ClientSize));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMainOptions::showEvent(QShowEvent* e) {
    // Coming back from the task bar is no new showing: what the player set stays.
    if (!e->spontaneous()) FormShow();
    QDialog::showEvent(e);
}

void TMainOptions::FormShow() {
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet2), false);
    PageControl1->setCurrentWidget(TabSheet1);
    // A mode the game does not know starts it in mode 0, so that is what shows.
    const int mode = Env.DisplayMode >= 0 && Env.DisplayMode <= 2 ? Env.DisplayMode : 0;
    RadioGroup1Items->button(mode)->setChecked(true);
    CheckBox1->setChecked(Env.SoundOn != 0);
    CheckBox2->setChecked(Env.Autostart != 0);
    CheckBox3->setChecked(Env.Transparency != 0);
    FCaveEditRead = false;
    CheckBox4->setChecked(false);
    try {
        CheckBox4->setChecked(StrToInt(ReadCfg(CaveEditKey, "0")) != 0);
        FCaveEditRead = true;
    } catch (const std::exception& e) {
        // The player still gets the options; the damaged line waits in the configuration.
        const std::string message = e.what();
        QTimer::singleShot(
            0, this, [message] { MessageDlg(message, TMsgDlgType::Error, TMsgDlgButtons::OK); });
    }
    TrackBar3->setValue(Env.BubblesPercent);
    CheckBox6->setChecked(Env.MusicOn == 0);
    TrackBar1->setValue(Env.MusicVolume);
    TrackBar2->setValue(Env.EffectsVolume);
}

void TMainOptions::BtOkClick() {
    Env.DisplayMode = std::max(RadioGroup1Items->checkedId(), 0);
    Env.SoundOn = CheckBox1->isChecked();
    Env.Autostart = CheckBox2->isChecked();
    Env.Transparency = CheckBox3->isChecked();
    Env.BubblesPercent = TrackBar3->value();
    Env.MusicOn = !CheckBox6->isChecked();
    Env.MusicVolume = TrackBar1->value();
    Env.EffectsVolume = TrackBar2->value();
    // Last, so a configuration that cannot be written leaves no option half taken over.
    if (FCaveEditRead) {
        try {
            WriteCfg(CaveEditKey, CheckBox4->isChecked() ? "1" : "0");
        } catch (const std::exception& e) {
            MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
        }
    }
    close();
}

void TMainOptions::BtCancelClick() {
    close();
}
