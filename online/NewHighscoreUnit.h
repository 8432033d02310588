#pragma once
// "Ein neuer Highscore!": offered after a game that changed the best score; "Ja" makes the menu
// window open the publishing dialog.
#include <QDialog>
#include <QImage>
#include <QRect>
#include <QSize>
#include <string>

class QLabel;
class QPushButton;

// The dialogs' background, the JPEG resource "MENUBACK"; a plain picture of the game's colours
// in the same size while the resource is missing.
QImage MenuBackPicture();
// A resource picture, or a plain one of fallbackSize with the title when it is missing.
QImage PictureOrPlain(const std::string& name, QSize fallbackSize, const QString& title);
// The style sheet of a text drawn over that part of a picture (an empty area: the whole):
// dark on light pictures, light on dark ones; titles in the game's red or yellow.
QString TextStyleOver(const QImage& picture, bool title, QRect area = QRect());

class TNewHighscoreForm : public QDialog {
  public:
    explicit TNewHighscoreForm(QWidget* parent = nullptr);

    // mrYes ("Ja") or mrNo ("Nein", also closing the window).
    int ShowModal();

    QLabel* Image1;
    QLabel* Label1;       // "Gratulation!"
    QLabel* Label2;       // "ein neuer Highscore!"
    QLabel* Label4;       // the best score and " Punkte,"
    QLabel* Label3;       // the question
    QPushButton* Button1; // "Ja"
    QPushButton* Button2; // "Nein"
};
