#pragma once
// "Highscore veröffentlichen": the best score with the player's optional data, sent to the
// score script as one scrambled record; the ranks of the reply are shown by
// THighscoreuploadedForm.
#include "online/PublishRecord.h"
#include "shell/DecodeUnit.h"

#include <QDialog>
#include <QPointer>
#include <stdexcept>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The 222 German country names of the "Land:" list, in their order (UTF-8).
constexpr int CountryCount = 222;
const char* CountryName(int index);

constexpr const char* UnknownReplyMessage = "Unbekannte Antwort";
constexpr const char* PublishFailedMessage = "Highscore konnte nicht veröffentlicht werden: ";
constexpr const char* NoNameMessage = "Bitte geben Sie zuerst einen Namen ein";

// The record of env as publishing sends it: the best score, the publishing fields, the
// counters and the best score's game record.
TPublishRecord PublishRecordOf(const TEnvData& env);

// A publication that failed; Reply is what the server said so far.
class EPublishError : public std::runtime_error {
  public:
    EPublishError(const std::string& message, std::string reply)
        : std::runtime_error(message), Reply(std::move(reply)) {}
    std::string Reply;
};

struct TPublishResult {
    std::string Reply; // the reply text
    TReplyPairs Pairs;
};

// What a reply means: its pairs, and the ID to keep (printable, at most 32 characters) when it
// has one. Throws EPublishError("Unbekannte Antwort") when "Rang" has no value.
TPublishResult ReadPublishReply(const std::string& reply, std::string* id);

// Publishing steps 3 to 7 on env: builds and scrambles the record, fetches the score script,
// keeps the returned ID in env.PublishID. Without a connection the message has been shown and
// the empty reply fails. Throws EPublishError (network errors carry their own message).
TPublishResult SendHighscore(TEnvData& env);

// "Highscore konnte nicht veröffentlicht werden: " + message + CR LF + the reply, cut short.
std::string PublishFailureText(const std::string& message, const std::string& reply);

class TPublishHighscoreForm : public QDialog {
  public:
    explicit TPublishHighscoreForm(QWidget* parent = nullptr);

    // Fills the fields from Env.
    void FormShow();
    // Writes the fields into Env (not to disk); a "|" becomes "/".
    void SaveToEnv();
    // "Veröffentlichen": publishing steps 1 to 9.
    void Button1Click();

    QLabel* Label1;
    QLabel* Label2;
    QGroupBox* GroupBox1;
    QLineEdit* Edit1;     // Name
    QLineEdit* Edit2;     // Wohnort
    QComboBox* ComboBox2; // Land
    QSpinBox* SpinEdit1;  // Alter
    QComboBox* ComboBox1; // "", "f", "m"
    QGroupBox* GroupBox2;
    QLineEdit* Edit4; // Email
    QLineEdit* Edit5; // Kommentar
    QPushButton* Button1;
};

// The open publishing dialog, if any; it frees itself when closed.
extern QPointer<TPublishHighscoreForm> PublishHighscoreForm;
