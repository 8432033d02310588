#include "online/InfoUnit.h"

#include "online/KnownErrors.h"
#include "online/NewHighscoreUnit.h"
#include "online/WebsendUnit.h"
#include "platform/msgbox.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

namespace {

// The picture's size while the "INFO" resource is missing (shown at half that).
constexpr QSize InfoSize(800, 600);

bool IsWebAddress(const std::string& text) {
    const auto starts = [&text](std::string_view prefix) {
        if (text.size() <= prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
        return true;
    };
    if (!starts("http://") && !starts("https://")) return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
    return true;
}

} // namespace

TVersionCheck JudgeVersionFile(const std::string& text) {
    const std::vector<std::string> lines = SplitTextLines(text);
    TVersionCheck check;
    if (lines.size() < 2) return check;
    check.Version = lines[0];
    check.Address = lines[1];
    // A plain comparison of the characters, as the original compared its strings.
    if (check.Version.compare(ProgramVersion) > 0)
        check.Verdict =
            IsWebAddress(check.Address) ? TVersionVerdict::Newer : TVersionVerdict::NoLink;
    else
        check.Verdict = TVersionVerdict::Current;
    return check;
}

std::string NewerVersionQuestion(const TVersionCheck& check) {
    return "Es ist eine neuere Version (" + DisplayText(check.Version, 40) +
           ") dieses Programmes verfügbar unter der Adresse " + DisplayText(check.Address, 300) +
           ". Möchten Sie zu dieser Adresse gehen um die neue Version downzuloaden?";
}

std::string NewerVersionWithoutLinkMessage(const TVersionCheck& check) {
    return "Es ist eine neuere Version (" + DisplayText(check.Version, 40) +
           ") dieses Programmes verfügbar, doch die angegebene Adresse ist keine Internetadresse: " +
           DisplayText(check.Address, 300);
}

TVersionCheck CheckForNewVersion() {
    const std::string reply = HTTPGetText(WebPageAddress("korvaldinternal/version.txt"));
    if (reply.empty()) return {};
    return TellVersion(reply);
}

TVersionCheck TellVersion(const std::string& versionFile) {
    const TVersionCheck check = JudgeVersionFile(versionFile);
    switch (check.Verdict) {
    case TVersionVerdict::Silent:
        break;
    case TVersionVerdict::Newer:
        if (MessageDlg(NewerVersionQuestion(check), TMsgDlgType::Confirmation,
                       TMsgDlgButtons::YesNo) == mrYes)
            OpenURL(check.Address);
        break;
    case TVersionVerdict::NoLink:
        ShowMessage(NewerVersionWithoutLinkMessage(check));
        break;
    case TVersionVerdict::Current:
        ShowMessage(CurrentVersionMessage);
        break;
    }
    return check;
}

TInfoForm::TInfoForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Info");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const QImage picture = PictureOrPlain("INFO", InfoSize, "Crumble Rush");
    // Half the picture, halved as signed integers.
    const QSize client(picture.width() / 2, picture.height() / 2);
    setFixedSize(client);

    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, client.width(), client.height());
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(picture));

    Label2 = new QLabel(QString("V ") + ProgramVersion, this);
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(276, 32, 92, 33);
    Label2->setAttribute(Qt::WA_TranslucentBackground);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setStyleSheet(TextStyleOver(picture, true, QRect(2 * 276, 2 * 32, 2 * 92, 2 * 33)));
    QFont font("Arial");
    font.setPointSize(14);
    font.setBold(true);
    Label2->setFont(font);

    Button2 = new QPushButton("Überprüfen, ob eine neue Version verfügbar ist", this);
    // Top right, in the picture's sky above the title and the version.
    QFont small = Button2->font();
    small.setPointSize(8);
    Button2->setFont(small);
    Button2->adjustSize();
    Button2->move(client.width() - Button2->width() - 4, 3);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

int TInfoForm::ShowModal() {
    return exec();
}

void TInfoForm::Button2Click() {
    try {
        CheckForNewVersion();
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
    }
}
