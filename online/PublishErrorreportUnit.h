#pragma once
// "Fehlerreport senden": a description, the player's e-mail address and the log attached,
// sent by mail to the error-report address.
#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The key of prog.cfg that remembers the e-mail address typed.
constexpr const char* ReportAddressKey = "PER Name";

class TPublishErrorreportForm : public QDialog {
  public:
    explicit TPublishErrorreportForm(QWidget* parent = nullptr);

    int ShowModal();
    // Reads the remembered address and the log.
    void FormShow();
    // Sends the report; after a sent mail the log is erased and the dialog closes. Without a
    // connection or after an error the log stays and the dialog stays open.
    void Button1Click();
    // Erases the log and closes.
    void Button2Click();

    // The log file attached; empty when there is none.
    std::string LogFileName;

    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QLabel* Label3;
    QPlainTextEdit* Memo2;
    QLabel* Label4;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;

    // However the dialog closes, the address typed is remembered.
    void done(int result) override;
};
