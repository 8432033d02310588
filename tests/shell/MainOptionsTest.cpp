#include "shell/MainOptions.h"

#include "TestSupport.h"
#include "platform/msgbox.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

class MainOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMessageHandler([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
            Messages.push_back(text);
            return mrOk;
        });
        DefaultEnv();
    }
    void TearDown() override {
        if (Dialog) delete Dialog.data();
        SetMessageHandler(nullptr);
    }
    // A dialog as the menu opens it: shown without waiting. One the test left open goes first.
    TMainOptions& Open() {
        if (Dialog) delete Dialog.data();
        Dialog = new TMainOptions();
        Dialog->show();
        QCoreApplication::processEvents();
        return *Dialog;
    }
    // Whether the dialog has gone, as it does once closed.
    bool Freed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return Dialog.isNull();
    }
    std::string Cfg() const { return Folder.Get("sps/prog.cfg"); }

    TTempProgramFolder Folder;
    QPointer<TMainOptions> Dialog;
    std::vector<std::string> Messages;
};

std::array<uint8_t, EnvDataSize> Bytes() {
    return EnvToBytes(Env);
}

QString Checked(const TMainOptions& dialog) {
    QAbstractButton* item = dialog.RadioGroup1Items->checkedButton();
    return item ? item->text() : QString();
}

std::string Caption(const QWidget* control) {
    const QVariant text = control->property("text");
    return (text.isValid() ? text : control->property("title")).toString().toStdString();
}

QStringList Captions(const QList<QRadioButton*>& items) {
    QStringList texts;
    for (const QRadioButton* item : items)
        texts << item->text();
    return texts;
}

TEST_F(MainOptionsTest, CaptionsPagesAndRanges) {
    TMainOptions& dialog = Open();
    EXPECT_EQ(dialog.windowTitle(), "Einstellungen");
    ASSERT_EQ(dialog.PageControl1->count(), 3);
    EXPECT_EQ(dialog.PageControl1->tabText(0), "Grafik");
    EXPECT_EQ(dialog.PageControl1->tabText(1), "Sound");
    EXPECT_EQ(dialog.PageControl1->tabText(2), "Extras");
    EXPECT_EQ(dialog.PageControl1->currentWidget(), dialog.TabSheet1);
    EXPECT_FALSE(dialog.PageControl1->isTabVisible(2));
    EXPECT_TRUE(dialog.PageControl1->isTabVisible(0) && dialog.PageControl1->isTabVisible(1));
    EXPECT_EQ(dialog.RadioGroup1->title(), "Anzeige");
    EXPECT_EQ(Captions(dialog.RadioGroup1->findChildren<QRadioButton*>()),
              QStringList({"Vollbild 800 x 600 (standard)", "Vollbild, ohne Auflösungsänderung",
                           "Im Fenster"}));
    EXPECT_EQ(dialog.CheckBox1->text(), "Sound an");
    EXPECT_EQ(dialog.CheckBox6->text(), "Keine Musik");
    EXPECT_EQ(dialog.GroupBox2->title(), "Lautstärke");
    EXPECT_EQ(dialog.Label3->text(), "Musik");
    EXPECT_EQ(dialog.Label4->text(), "Effekte");
    EXPECT_EQ(dialog.BtOk->text(), "Ok");
    EXPECT_EQ(dialog.BtCancel->text(), "Abbruch");
    EXPECT_EQ(dialog.CheckBox4->text(), "Cave Editor");
    // The hidden controls exist but never show.
    EXPECT_FALSE(dialog.GroupBox1->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.CheckBox2->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.CheckBox2->text(), "Autostart");
    EXPECT_EQ(dialog.CheckBox3->text(), "Transparency");
    // The volume bars run 0..127, the bubble bar 0..100.
    for (const QSlider* bar : {dialog.TrackBar1, dialog.TrackBar2}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 127);
        EXPECT_EQ(bar->tickInterval(), 13);
    }
    EXPECT_EQ(dialog.TrackBar3->minimum(), 0);
    EXPECT_EQ(dialog.TrackBar3->maximum(), 100);
    // The buttons sit below the pages, "Abbruch" on the left.
    EXPECT_LT(dialog.BtCancel->x(), dialog.BtOk->x());
    EXPECT_GE(dialog.BtOk->y(), dialog.PageControl1->geometry().bottom());
    EXPECT_GE(dialog.width(), 321);
    EXPECT_GE(dialog.height(), 253);
    EXPECT_FALSE(dialog.isModal());
}

TEST_F(MainOptionsTest, ShowsWhatEnvHolds) {
    Env.DisplayMode = 1;
    Env.SoundOn = 0;
    Env.MusicOn = 0;
    Env.MusicVolume = 5;
    Env.EffectsVolume = 127;
    Env.Autostart = 0;
    Env.Transparency = 0;
    Env.BubblesPercent = 33;
    WriteCfg("caveedit", "1");
    TMainOptions& dialog = Open();
    EXPECT_EQ(Checked(dialog), "Vollbild, ohne Auflösungsänderung");
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
    EXPECT_TRUE(dialog.CheckBox6->isChecked());
    EXPECT_EQ(dialog.TrackBar1->value(), 5);
    EXPECT_EQ(dialog.TrackBar2->value(), 127);
    EXPECT_FALSE(dialog.CheckBox2->isChecked());
    EXPECT_FALSE(dialog.CheckBox3->isChecked());
    EXPECT_EQ(dialog.TrackBar3->value(), 33);
    EXPECT_TRUE(dialog.CheckBox4->isChecked());
    EXPECT_TRUE(Messages.empty());

    // Another showing starts from Env again, on the first page.
    dialog.PageControl1->setCurrentWidget(dialog.TabSheet3);
    dialog.TrackBar1->setValue(90);
    dialog.hide();
    Env.DisplayMode = 2;
    dialog.show();
    EXPECT_EQ(Checked(dialog), "Im Fenster");
    EXPECT_EQ(dialog.TrackBar1->value(), 5);
    EXPECT_EQ(dialog.PageControl1->currentWidget(), dialog.TabSheet1);
}

TEST_F(MainOptionsTest, OkTakesTheChoicesOverAndTouchesNothingElse) {
    Env.Highscores[0].Score = 4200;
    Env.Highscores[0].Name.Set("Anna");
    Env.GamesStarted = 17;
    TEnvData expected = Env;
    TMainOptions& dialog = Open();
    dialog.RadioGroup1Items->button(2)->click();
    dialog.CheckBox1->click();
    dialog.CheckBox6->click();
    dialog.TrackBar1->setValue(0);
    dialog.TrackBar2->setValue(127);
    dialog.BtOk->click();
    EXPECT_TRUE(Freed());

    expected.DisplayMode = 2;
    expected.SoundOn = 0;
    expected.MusicOn = 0;
    expected.MusicVolume = 0;
    expected.EffectsVolume = 127;
    EXPECT_EQ(Bytes(), EnvToBytes(expected));
    // Env stays in memory: the file comes with the next save.
    EXPECT_FALSE(FileExists(Folder.File("SPS/env.dat")));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(MainOptionsTest, OkWithoutChangesKeepsEnvAndWritesTheCaveEditorLine) {
    Env.Autostart = 0;
    Env.Transparency = 0;
    Env.BubblesPercent = 0;
    Env.DisplayMode = 1;
    const auto before = Bytes();
    Open().BtOk->click();
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Cfg(), "caveedit: 0\r\n");
    EXPECT_TRUE(Freed());

    // A ticked cave editor passes through as "1", beside other keys.
    WriteCfg("PER Name", "Eva");
    WriteCfg("caveedit", "7");
    Open().BtOk->click();
    EXPECT_EQ(Cfg(), "caveedit: 1\r\nPER Name: Eva\r\n");
    EXPECT_EQ(Bytes(), before);
}

TEST_F(MainOptionsTest, CancelAndTheCloseButtonChangeNothing) {
    const auto before = Bytes();
    TMainOptions& dialog = Open();
    dialog.RadioGroup1Items->button(2)->click();
    dialog.CheckBox1->click();
    dialog.CheckBox6->click();
    dialog.TrackBar1->setValue(1);
    dialog.BtCancel->click();
    EXPECT_TRUE(Freed());
    EXPECT_EQ(Bytes(), before);
    // Reading the key made an empty configuration; nothing was written into it.
    EXPECT_EQ(Cfg(), "");

    TMainOptions& again = Open();
    again.TrackBar2->setValue(3);
    again.close();
    EXPECT_TRUE(Freed());
    EXPECT_EQ(Bytes(), before);
}

TEST_F(MainOptionsTest, EachOpenDialogWritesItsOwnValues) {
    QPointer<TMainOptions> first = &Open();
    Dialog = nullptr;
    TMainOptions& second = Open();
    first->TrackBar1->setValue(11);
    second.TrackBar1->setValue(22);
    second.TrackBar2->setValue(44);
    second.BtOk->click();
    EXPECT_EQ(Env.MusicVolume, 22);
    first->BtOk->click();
    EXPECT_EQ(Env.MusicVolume, 11);
    EXPECT_EQ(Env.EffectsVolume, 100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

// A settings file with values no dialog ever stored: read as it is, shown as the game uses it.
TEST_F(MainOptionsTest, ADamagedSettingsFileShowsSaneValuesAndOkRepairsThem) {
    TEnvData damaged = DefaultEnvData();
    damaged.DisplayMode = 7;
    damaged.MusicVolume = 500;
    damaged.EffectsVolume = -20;
    damaged.BubblesPercent = 250;
    damaged.SoundOn = 5;
    damaged.MusicOn = 9;
    const auto raw = EnvToBytes(damaged);
    Folder.Put("SPS/env.dat", std::string(reinterpret_cast<const char*>(raw.data()), raw.size()));
    LoadEnv();
    ASSERT_EQ(Env.MusicVolume, 500);

    TMainOptions& dialog = Open();
    EXPECT_EQ(Checked(dialog), "Vollbild 800 x 600 (standard)");
    EXPECT_EQ(dialog.TrackBar1->value(), 127);
    EXPECT_EQ(dialog.TrackBar2->value(), 0);
    EXPECT_EQ(dialog.TrackBar3->value(), 100);
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    EXPECT_FALSE(dialog.CheckBox6->isChecked());
    dialog.BtCancel->click();
    EXPECT_EQ(Bytes(), raw);

    Env.DisplayMode = -1;
    Open().BtOk->click();
    EXPECT_EQ(Env.DisplayMode, 0);
    EXPECT_EQ(Env.MusicVolume, 127);
    EXPECT_EQ(Env.EffectsVolume, 0);
    EXPECT_EQ(Env.BubblesPercent, 100);
    EXPECT_EQ(Env.SoundOn, 1);
    EXPECT_EQ(Env.MusicOn, 1);
}

TEST_F(MainOptionsTest, AnUnreadableCaveEditorValueIsReportedAndKept) {
    Folder.Put("sps/prog.cfg", "caveedit: ja\r\n");
    TMainOptions& dialog = Open();
    EXPECT_FALSE(dialog.CheckBox4->isChecked());
    EXPECT_EQ(Messages, std::vector<std::string>{"'ja' ist kein gültiger ganzzahliger Wert"});
    dialog.TrackBar1->setValue(64);
    dialog.BtOk->click();
    EXPECT_EQ(Env.MusicVolume, 64);
    EXPECT_EQ(Cfg(), "caveedit: ja\r\n");

    // Blanks around a number and a sign are fine.
    Folder.Put("sps/prog.cfg", "caveedit:  -3 \r\n");
    EXPECT_TRUE(Open().CheckBox4->isChecked());
    Folder.Put("sps/prog.cfg", "caveedit: 99999999999\r\n");
    EXPECT_FALSE(Open().CheckBox4->isChecked());
    EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(MainOptionsTest, AConfigurationThatCannotBeWrittenStillTakesTheOptions) {
    Folder.Put("sps/prog.cfg", "caveedit: 0\r\n");
    // A folder where the new configuration is written first makes the write fail.
    std::filesystem::create_directories(Folder.File("sps") + "/prog.cfg.tmp");
    TMainOptions& dialog = Open();
    dialog.RadioGroup1Items->button(2)->click();
    dialog.CheckBox4->setChecked(true);
    dialog.BtOk->click();
    EXPECT_EQ(Env.DisplayMode, 2);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("prog.cfg"), std::string::npos);
    EXPECT_EQ(Cfg(), "caveedit: 0\r\n");
    EXPECT_TRUE(Freed());
}

// Every caption must be readable whole on the platform's fonts: no control narrower or lower
// than its text needs.
TEST_F(MainOptionsTest, EveryVisibleTextFitsItsControl) {
    TMainOptions& dialog = Open();
    for (QWidget* page : {dialog.TabSheet1, dialog.TabSheet3}) {
        dialog.PageControl1->setCurrentWidget(page);
        QCoreApplication::processEvents();
        for (QWidget* control : dialog.findChildren<QWidget*>()) {
            if (!control->isVisible() ||
                !(qobject_cast<QAbstractButton*>(control) || qobject_cast<QLabel*>(control) ||
                  qobject_cast<QGroupBox*>(control)))
                continue;
            const QSize need = control->minimumSizeHint().expandedTo(
                qobject_cast<QGroupBox*>(control) ? QSize() : control->sizeHint());
            const std::string text = Caption(control);
            EXPECT_GE(control->width(), need.width()) << text;
            EXPECT_GE(control->height(), need.height()) << text;
            // Inside the dialog, not cut off by its edge.
            const QRect place(control->mapTo(&dialog, QPoint(0, 0)), control->size());
            EXPECT_TRUE(dialog.rect().contains(place)) << text;
        }
    }
}

} // namespace
