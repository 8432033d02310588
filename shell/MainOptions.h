#pragma once
// "Einstellungen": the player's options in Env (display mode, sound, music, the two volumes),
// taken over by "Ok" and used from the next game on. Nothing is saved here; Env reaches
// SPS\env.dat with the next SaveEnv. Shown without waiting; frees itself when closed.
#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QShowEvent;
class QSlider;
class QTabWidget;

class TMainOptions : public QDialog {
  public:
    explicit TMainOptions(QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QWidget* TabSheet1; // "Grafik"
    QPushButton* BtOk;
    QPushButton* BtCancel;
    QCheckBox* CheckBox1; // "Sound an"
    QWidget* TabSheet3;   // "Sound"
    QCheckBox* CheckBox2; // "Autostart", kept invisible
    QCheckBox* CheckBox6; // "Keine Musik"
    QGroupBox* GroupBox2; // "Lautstärke"
    QLabel* Label3;
    QLabel* Label4;
    QSlider* TrackBar1;             // music volume 0..127
    QSlider* TrackBar2;             // effects volume 0..127
    QGroupBox* RadioGroup1;         // "Anzeige"
    QButtonGroup* RadioGroup1Items; // the display modes 0, 1, 2 by id
    QWidget* TabSheet2;             // "Extras", hidden whenever the dialog shows
    QCheckBox* CheckBox4;           // "Cave Editor"
    QGroupBox* GroupBox1;           // "Effects", kept invisible
    QCheckBox* CheckBox3;           // "Transparency"
    QSlider* TrackBar3;             // bubbles 0..100
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label5;

    // The handlers, public so tests can drive the dialog as the window system would.
    // Loads the controls from Env and the configuration, on the page "Grafik".
    void FormShow();
    // Takes the controls over into Env and closes.
    void BtOkClick();
    // Closes; Env stays as it was.
    void BtCancelClick();

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    // False when the cave editor's configuration value could not be read: "Ok" then leaves it
    // as it stands instead of overwriting it with a box the player never saw.
    bool FCaveEditRead = false;
};
