#include "online/NewHighscoreUnit.h"

#include "platform/msgbox.h"
#include "shell/DecodeUnit.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr QSize MenuBackSize(480, 300);

QLabel* Text(const QString& text, QWidget* parent, const QImage& picture, int pointSize,
             bool bold) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QFont font("Arial");
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setStyleSheet(TextStyleOver(picture, bold));
    return label;
}

} // namespace

QImage PictureOrPlain(const std::string& name, QSize fallbackSize, const QString& title) {
    try {
        return LoadJpegResource(name);
    } catch (const std::exception&) {
        // Drawn here only until the picture is among the resources.
    }
    QImage picture(fallbackSize, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, fallbackSize.height());
    sky.setColorAt(0, QColor(0x1b, 0x2a, 0x6b));
    sky.setColorAt(1, QColor(0x6b, 0x1b, 0x4a));
    painter.fillRect(picture.rect(), sky);
    if (!title.isEmpty()) {
        QFont font("Arial");
        font.setPixelSize(fallbackSize.height() / 10);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(0xff, 0xd2, 0x3c));
        painter.drawText(picture.rect().adjusted(0, fallbackSize.height() / 20, 0, 0),
                         Qt::AlignHCenter | Qt::AlignTop, title);
    }
    return picture;
}

QString TextStyleOver(const QImage& picture, bool title, QRect area) {
    const QRect part = area.isEmpty() ? picture.rect() : area.intersected(picture.rect());
    const QColor average =
        part.isEmpty() ? QColor(Qt::white)
                       : QColor(picture.copy(part)
                                    .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .pixel(0, 0));
    const bool light = average.lightness() >= 128;
    const char* colour = title ? (light ? "#c8281e" : "#ffd23c") : (light ? "#4a220a" : "#ffffff");
    return QString("color: %1; background: transparent;").arg(colour);
}

QImage MenuBackPicture() {
    return PictureOrPlain("MENUBACK", MenuBackSize, QString());
}

TNewHighscoreForm::TNewHighscoreForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Ein neuer Highscore!");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const QImage picture = MenuBackPicture();
    setFixedSize(picture.size());

    Image1 = new QLabel(this);
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->setGeometry(0, 0, picture.width(), picture.height());
    Image1->lower();

    Label1 = Text("Gratulation!", this, picture, 20, true);
    Label2 = Text("ein neuer Highscore!", this, picture, 14, true);
    Label4 = Text(QString::number(Env.Highscores[0].Score) + " Punkte,", this, picture, 16, true);
    Label3 = Text("Möchten Sie Ihren Score in der weltweiten Internet Highscoreliste "
                  "veröffentlichen?",
                  this, picture, 10, false);
    Button1 = new QPushButton("Ja", this);
    Button2 = new QPushButton("Nein", this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(mrNo); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label4);
    layout->addStretch();
    layout->addWidget(Label3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    layout->addLayout(buttons);
}

int TNewHighscoreForm::ShowModal() {
    const int result = exec();
    return result == mrYes ? mrYes : mrNo;
}
