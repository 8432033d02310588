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
    QLabel* Label5;       // all-time: "Top Score der Liste:" + Platz1 + " Punkte"
    QLabel* Label8;       // weekly: "Ihre Platzierung:" + wRang
    QLabel* Label7;       // weekly: "Ihre alte Platzierung:" + wAlterrang when present
    QLabel* Label6;       // weekly: "Top Score der Liste:" + wPlatz1 + " Punkte"
    QPushButton* Button1; // "Ok"
};

// A label's design text with the reply's value appended ("text value"), or the design text
// alone when the reply has no such key. The value is made fit for showing.
QString WithReplyValue(const QString& designText, const TReplyPairs& reply, const char* key,
                       const QString& after = QString());
