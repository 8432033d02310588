#pragma once
// "Info": the picture with the program's version, and the check for a newer version in
// "korvaldinternal/version.txt" (line 1 the newest version, line 2 where to get it).
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

constexpr const char* CurrentVersionMessage = "Sie haben die aktuelle Version dieses Programmes.";

enum class TVersionVerdict {
    Silent,  // empty or unreadable: nothing to say
    Current, // not newer than ours
    Newer,   // newer, with an address to get it
    NoLink,  // newer, but line 2 is no web address to follow
};

struct TVersionCheck {
    TVersionVerdict Verdict = TVersionVerdict::Silent;
    std::string Version; // line 1
    std::string Address; // line 2
};

// Reads a version file: fewer than two lines is Silent; line 1 compared with "1.05" character
// by character (so "1.10", "2.0" and "1.05 " are newer); a newer version whose line 2 is no
// http or https address is NoLink, since the browser could not follow it.
TVersionCheck JudgeVersionFile(const std::string& text);
// The question that offers the download.
std::string NewerVersionQuestion(const TVersionCheck& check);
// What the player learns of a newer version without a usable address.
std::string NewerVersionWithoutLinkMessage(const TVersionCheck& check);
// Tells the player what a version file means (the question, the information of NoLink, or
// CurrentVersionMessage); on Yes the address opens in the browser.
TVersionCheck TellVersion(const std::string& versionFile);
// Fetches the version file and tells the player; an empty reply (also for no connection,
// which has been reported) says nothing. Network errors raise.
TVersionCheck CheckForNewVersion();

class TInfoForm : public QDialog {
  public:
    explicit TInfoForm(QWidget* parent = nullptr);

    int ShowModal();
    // "Überprüfen, ob eine neue Version verfügbar ist"; errors reach an error box.
    void Button2Click();

    QLabel* Image1;
    QLabel* Label2; // "V 1.05"
    QPushButton* Button2;
};
