#include "online/HighscoreuploadedUnit.h"

#include "online/NewHighscoreUnit.h"
#include "online/WebsendUnit.h"
#include "platform/msgbox.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A rank or a score is short; anything longer came from a confused server.
constexpr size_t MaxValueChars = 24;

QLabel* Text(const QString& text, QWidget* parent, const QImage& picture, int pointSize, bool bold,
             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    QFont font("Arial");
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setStyleSheet(TextStyleOver(picture, bold));
    return label;
}

} // namespace

QString ShownReplyValue(const TReplyPairs& reply, const char* key) {
    const auto value = ReplyValue(reply, key);
    if (!value) return {};
    std::string shown = DisplayText(*value, MaxValueChars);
    for (char& c : shown)
        if (c == '\r' || c == '\n') c = ' ';
    return QString::fromStdString(shown);
}

QString WithReplyValue(const QString& designText, const TReplyPairs& reply, const char* key,
                       const QString& after) {
    return designText + " " + ShownReplyValue(reply, key) + after;
}

QString WithPresentReplyValue(const QString& designText, const TReplyPairs& reply,
                              const char* key) {
    if (!ReplyValue(reply, key)) return designText;
    return WithReplyValue(designText, reply, key);
}

THighscoreuploadedForm::THighscoreuploadedForm(const TReplyPairs& reply, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Highscore veröffentlicht!");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const QImage picture = MenuBackPicture();
    setFixedSize(picture.size());

    Image1 = new QLabel(this);
    Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->setGeometry(0, 0, picture.width(), picture.height());
    Image1->lower();

    Label1 = Text("Ihr Score wurde erfolgreich veröffentlicht!", this, picture, 14, true,
                  Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label2 = Text("Dauer - Highscore", this, picture, 11, true);
    Label9 = Text("Wochenhighscore", this, picture, 11, true);
    Label3 = Text(WithReplyValue("Ihre Platzierung:", reply, "Rang"), this, picture, 9, false);
    Label4 = Text(WithPresentReplyValue("Ihre alte Platzierung:", reply, "Alterrang"), this,
                  picture, 9, false);
    Label5 = Text(WithReplyValue("Top Score der Liste:", reply, "Platz1",
                                 ShownReplyValue(reply, "p") + " Punkte"),
                  this, picture, 9, false);
    Label8 = Text(WithReplyValue("Ihre Platzierung:", reply, "wRang"), this, picture, 9, false);
    Label7 = Text(WithPresentReplyValue("Ihre alte Platzierung:", reply, "wAlterrang"), this,
                  picture, 9, false);
    Label6 = Text(WithReplyValue("Top Score der Liste:", reply, "wPlatz1", " Punkte"), this,
                  picture, 9, false);
    Button1 = new QPushButton("Ok", this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(mrOk); });

    auto* columns = new QGridLayout;
    columns->setHorizontalSpacing(24);
    columns->addWidget(Label2, 0, 0);
    columns->addWidget(Label3, 1, 0);
    columns->addWidget(Label4, 2, 0);
    columns->addWidget(Label5, 3, 0);
    columns->addWidget(Label9, 0, 1);
    columns->addWidget(Label8, 1, 1);
    columns->addWidget(Label7, 2, 1);
    columns->addWidget(Label6, 3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addWidget(Label1);
    layout->addStretch();
    layout->addLayout(columns);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addStretch();
    layout->addLayout(buttons);
}

int THighscoreuploadedForm::ShowModal() {
    exec();
    return mrOk;
}
