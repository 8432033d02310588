#pragma once
// "Highscore veröffentlicht!": the ranks the score server replied with, all-time on the left
// ("Dauer - Highscore"), this week on the right ("Wochenhighscore").
#include "online/PublishRecord.h"

#include <QDialog>

class QLabel;
class QPushButton;

class THighscoreuploadedForm : public QDialog {
  public:
    // The reply stays with the dialog while it is shown.
    explicit THighscoreuploadedForm(const TReplyPairs& reply, QWidget* parent = nullptr);

    // mrOk.
    int ShowModal();

    QLabel* Image1;
    QLabel* Label1;       // "Ihr Score wurde erfolgreich veröffentlicht!"
    QLabel* Label2;       // "Dauer - Highscore"
    QLabel* Label9;       // "Wochenhighscore"
    QLabel* Label3;       // all-time: "Ihre Platzierung:" + Rang
    QLabel* Label4;       // all-time: "Ihre alte Platzierung:" + Alterrang when present
    QLabel* Label5;       // all-time: "Top Score der Liste:" + Platz1 + p + " Punkte"
    QLabel* Label8;       // weekly: "Ihre Platzierung:" + wRang
    QLabel* Label7;       // weekly: "Ihre alte Platzierung:" + wAlterrang when present
    QLabel* Label6;       // weekly: "Top Score der Liste:" + wPlatz1 + " Punkte"
    QPushButton* Button1; // "Ok"
};

// A reply's value made fit for a label (short, one line); "" when the reply has no such key.
QString ShownReplyValue(const TReplyPairs& reply, const char* key);
// A label's design text, a blank, the reply's value (empty when the reply lacks it) and after.
QString WithReplyValue(const QString& designText, const TReplyPairs& reply, const char* key,
                       const QString& after = QString());
// The same for a value that only some replies carry: the design text alone without it.
QString WithPresentReplyValue(const QString& designText, const TReplyPairs& reply, const char* key);
