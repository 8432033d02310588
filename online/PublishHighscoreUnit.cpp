#include "online/PublishHighscoreUnit.h"

#include "online/HighscoreuploadedUnit.h"
#include "online/WebsendUnit.h"
#include "platform/inet.h"
#include "platform/msgbox.h"
#include "shell/Tools.h"

#include <QComboBox>
#include <QFont>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

QPointer<TPublishHighscoreForm> PublishHighscoreForm;

namespace {

static const char* const CountryNames[] = {
    "Afghanistan",
    "Ägypten",
    "Albanien",
    "Algerien",
    "Amerikanische Jungferninseln",
    "Amerikanisch Samoa",
    "Andorra",
    "Angola",
    "Anguilla",
    "Antigua und Barbuda",
    "APO/FPO (US-Militärpost)",
    "Äquatorial-Guinea",
    "Argentinien",
    "Armenien",
    "Aruba",
    "Aserbaidschan",
    "Äthiopien",
    "Australien",
    "Bahamas",
    "Bahrain",
    "Bangladesch",
    "Barbados",
    "Belgien",
    "Belize",
    "Benin",
    "Bermuda",
    "Bhutan",
    "Bolivien",
    "Bosnien und Herzegowina",
    "Botswana",
    "Brasilien",
    "Britische Jungferninseln",
    "Brunei Darussalam",
    "Bulgarien",
    "Burkina Faso",
    "Burma (Myanmar)",
    "Burundi",
    "Cayman-Inseln",
    "Chile",
    "China",
    "Cook-Inseln",
    "Costa Rica",
    "Dänemark",
    "Demokratische Republik Kongo",
    "Deutschland",
    "Dominica",
    "Dominikanische Republik",
    "Dschibuti",
    "Ecuador",
    "Elfenbeinküste",
    "El Salvador",
    "Eritrea",
    "Estland",
    "Falklandinseln (Islas Malvinas)",
    "Fidschi-Inseln",
    "Finnland",
    "Frankreich",
    "Französisch-Guyana",
    "Französisch-Polynesien",
    "Gabun",
    "Gambia",
    "Georgien",
    "Ghana",
    "Gibraltar",
    "Grenada",
    "Griechenland",
    "Grönland",
    "Großbritannien",
    "Guadeloupe",
    "Guam",
    "Guatemala",
    "Guernsey",
    "Guinea",
    "Guinea-Bissau",
    "Guyana",
    "Haiti",
    "Honduras",
    "Hong Kong",
    "Indien",
    "Indonesien",
    "Irak",
    "Iran",
    "Irland",
    "Island",
    "Israel",
    "Italien",
    "Jamaika",
    "Jan Mayen",
    "Japan",
    "Jemen",
    "Jersey",
    "Jordanien",
    "Jugoslawien",
    "Kambodscha",
    "Kamerun",
    "Kanada",
    "Kapverdische Inseln",
    "Kasachstan",
    "Katar",
    "Kenia",
    "Kirgistan",
    "Kiribati",
    "Kolumbien",
    "Komoren",
    "Kongo Republik (Brazzaville)",
    "Kroatien",
    "Kuba",
    "Kuwait",
    "Laos",
    "Lettland",
    "Libanon",
    "Liechtenstein",
    "Litauen",
    "Luxemburg",
    "Macau",
    "Madagaskar",
    "Malawi",
    "Malaysia",
    "Malediven",
    "Mali",
    "Malta",
    "Marokko",
    "Marshall-Inseln",
    "Martinique",
    "Mauretanien",
    "Mauritius",
    "Mayotte",
    "Mazedonien",
    "Mexiko",
    "Moldawien",
    "Monaco",
    "Mongolei",
    "Montserrat",
    "Mosambik",
    "Namibia",
    "Nauru",
    "Nepal",
    "Neukaledonien",
    "Neeseeland",
    "Niederlande",
    "Niederländische Antillen",
    "Nikaragua",
    "Niger",
    "Nigeria",
    "Niue",
    "Nordkorea",
    "Norwegen",
    "Oman",
    "Österreich",
    "Pakistan",
    "Palau",
    "Panama",
    "Papua-Neuguinea",
    "Paraguay",
    "Peru",
    "Philippinen",
    "Polen",
    "Portugal",
    "Puerto Rico",
    "Ruanda",
    "Rumänien",
    "Russische Föderation",
    "Saint Helena",
    "Saint Kitts-Nevis",
    "Saint Lucia",
    "Saint Pierre und Miquelon",
    "Saint Vincent und die Grenadinen",
    "Salomonen (Salomon-Inseln)",
    "Sambia",
    "San Marino",
    "Saudi Arabien",
    "Schweden",
    "Senegal",
    "Seychellen",
    "Sierra Leone",
    "Simbabwe",
    "Singapur",
    "Slowakei",
    "Slowenien",
    "Somalia",
    "Spanien",
    "Sri Lanka",
    "Südafrika",
    "Sudan",
    "Südkorea",
    "Surinam",
    "Svalbard (Spitzbergen)",
    "Swasiland",
    "Schweiz",
    "Syrien",
    "Tadschikistan",
    "Tahiti",
    "Taiwan",
    "Tansania",
    "Thailand",
    "Togo",
    "Tonga",
    "Trinidad und Tobago",
    "Tschad",
    "Tschechische Republik",
    "Tunesien",
    "Türkei",
    "Turkmenistan",
    "Turks und Caicos-Inseln",
    "Tuvalu",
    "Uganda",
    "Ukraine",
    "Ungarn",
    "Uruguay",
    "Usbekistan",
    "Vanuatu",
    "Vatikanstadt (Heiliger Stuhl)",
    "Venezuela",
    "Vereinigte Arabische Emirate",
    "Vereinigte Staaten von Amerika",
    "Vietnam",
    "Wallis und Futuna-Inseln",
    "Weißrussland",
    "West-Sahara",
    "West-Samoa",
    "Zentralafrikanische Republik",
    "Zypern ",
};
static_assert(sizeof CountryNames / sizeof CountryNames[0] == CountryCount);

// The reply shown under a failure: enough to recognise it, never a wall of text.
constexpr size_t MaxShownReply = 600;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// What the player typed, as the settings file keeps it: Windows-1252, at most max bytes, and
// no "|", which would split the field for the receiver.
std::string FieldText(const QString& text, size_t max) {
    std::string ansi = Utf8ToAnsi(text.toStdString());
    for (char& c : ansi)
        if (c == '|') c = '/';
    return ansi.substr(0, max);
}

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

const char* CountryName(int index) {
    return index >= 0 && index < CountryCount ? CountryNames[index] : "";
}

TPublishRecord PublishRecordOf(const TEnvData& env) {
    TPublishRecord record;
    record.PublishID = env.PublishID.Get();
    record.Score = env.Highscores[0].Score;
    record.PublishName = env.PublishName.Get();
    record.Residence = env.Residence.Get();
    record.Country = env.Country.Get();
    record.Email = env.Email.Get();
    record.Age = env.Age;
    record.Sex = env.Sex;
    record.Comment = env.Comment.Get();
    record.GamesStarted = env.GamesStarted;
    record.GamesWon = env.GamesWon;
    record.GameRecord = env.GameRecords[0].Get();
    return record;
}

TPublishResult ReadPublishReply(const std::string& reply, std::string* id) {
    TPublishResult result{reply, ParseReply(reply)};
    if (id) {
        id->clear();
        if (const auto value = ReplyValue(result.Pairs, "ID")) {
            for (char c : *value)
                if (c > ' ' && c < 127 && id->size() < MaxPublishIDLength) *id += c;
        }
    }
    const auto rank = ReplyValue(result.Pairs, "Rang");
    if (!rank || rank->empty()) throw EPublishError(UnknownReplyMessage, reply);
    return result;
}

TPublishResult SendHighscore(TEnvData& env) {
    const std::string record = BuildRecord(PublishRecordOf(env));
    const std::string cs = EncodeRecord(
        record, [](int n) { return static_cast<int>(Random(static_cast<uint32_t>(n))); });
    std::string reply;
    try {
        reply = HTTPGetText(ScoreServerAddress() + "?cs=" + cs);
    } catch (const EHttpStatusError& e) {
        // A refusal carries the script's reason ("Fehler=..."), which the player reads.
        throw EPublishError(e.what(), ReplyText(e.Reply.Body, e.Reply.ContentType));
    } catch (const EInetError& e) {
        throw EPublishError(e.what(), std::string());
    }
    std::string id;
    try {
        TPublishResult result = ReadPublishReply(reply, &id);
        if (!id.empty()) env.PublishID.Set(id);
        return result;
    } catch (const EPublishError&) {
        if (!id.empty()) env.PublishID.Set(id);
        throw;
    }
}

std::string PublishFailureText(const std::string& message, const std::string& reply) {
    return PublishFailedMessage + message + "\r\n" + DisplayText(reply, MaxShownReply);
}

TPublishHighscoreForm::TPublishHighscoreForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Highscore veröffentlichen");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Label1 = Caption("Ihr höchster Punktestand:", this);
    Label2 = Caption(QString(), this);
    QFont large("Arial");
    large.setPointSize(20);
    large.setBold(true);
    Label2->setFont(large);

    GroupBox1 = new QGroupBox("Zusätzliche Daten die in der Liste erscheinen können", this);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setMaxLength(static_cast<int>(MaxNameLength));
    Edit2 = new QLineEdit(GroupBox1);
    Edit2->setMaxLength(static_cast<int>(MaxResidenceLength));
    ComboBox2 = new QComboBox(GroupBox1);
    ComboBox2->setEditable(false);
    ComboBox2->setMaxVisibleItems(20);
    for (int i = 0; i < CountryCount; ++i)
        ComboBox2->addItem(QString::fromUtf8(CountryNames[i]));
    SpinEdit1 = new QSpinBox(GroupBox1);
    SpinEdit1->setRange(0, 110);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setEditable(false);
    ComboBox1->addItems({"", "f", "m"});
    auto* listed = new QFormLayout(GroupBox1);
    listed->addRow(Caption("Name:", GroupBox1), Edit1);
    listed->addRow(Caption("Wohnort:", GroupBox1), Edit2);
    listed->addRow(Caption("Land:", GroupBox1), ComboBox2);
    listed->addRow(Caption("Alter:", GroupBox1), SpinEdit1);
    listed->addRow(Caption("Männlich/Weiblich:", GroupBox1), ComboBox1);

    GroupBox2 = new QGroupBox("Weitere Daten, die NICHT in der Liste veröffentlicht werden:", this);
    Edit4 = new QLineEdit(GroupBox2);
    Edit4->setMaxLength(static_cast<int>(MaxEmailLength));
    Edit5 = new QLineEdit(GroupBox2);
    Edit5->setMaxLength(static_cast<int>(MaxCommentLength));
    auto* unlisted = new QVBoxLayout(GroupBox2);
    unlisted->addWidget(Caption("Email (Für die Preisverleihung):", GroupBox2));
    unlisted->addWidget(Edit4);
    unlisted->addWidget(Caption("Ein Kommentar, der an uns weitergeleitet wird:", GroupBox2));
    unlisted->addWidget(Edit5);

    Button1 = new QPushButton("Veröffentlichen", this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    auto* score = new QHBoxLayout;
    score->addWidget(Label1);
    score->addWidget(Label2);
    score->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(score);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    FormShow();
}

void TPublishHighscoreForm::FormShow() {
    Label2->setText(QString::number(Env.Highscores[0].Score));
    Edit1->setText(QString::fromStdString(Env.Highscores[0].Name.Utf8()));
    Edit2->setText(QString::fromStdString(Env.Residence.Utf8()));
    const QString country = QString::fromStdString(Env.Country.Utf8());
    int index = ComboBox2->findText(country, Qt::MatchExactly | Qt::MatchCaseSensitive);
    // The settings keep 20 characters: a longer name comes back cut and is found by its start.
    if (index < 0 && !country.isEmpty() && Env.Country.Get().size() == MaxCountryLength) {
        for (int i = 0; i < ComboBox2->count(); ++i) {
            if (!ComboBox2->itemText(i).startsWith(country)) continue;
            if (index >= 0) {
                index = -1; // not one country
                break;
            }
            index = i;
        }
    }
    ComboBox2->setCurrentIndex(index);
    SpinEdit1->setValue(Env.Age);
    ComboBox1->setCurrentIndex(Env.Sex == 'f' ? 1 : Env.Sex == 'm' ? 2 : 0);
    Edit4->setText(QString::fromStdString(Env.Email.Utf8()));
    Edit5->clear();
}

void TPublishHighscoreForm::SaveToEnv() {
    Env.PublishName.Set(FieldText(Edit1->text(), MaxNameLength));
    Env.Residence.Set(FieldText(Edit2->text(), MaxResidenceLength));
    Env.Country.Set(ComboBox2->currentIndex() < 0
                        ? std::string()
                        : FieldText(ComboBox2->currentText(), MaxCountryLength));
    Env.Age = SpinEdit1->value();
    const QString sex = ComboBox1->currentIndex() < 0 ? QString() : ComboBox1->currentText();
    Env.Sex = sex.isEmpty() ? ' ' : static_cast<char>(sex.at(0).toLatin1());
    Env.Email.Set(FieldText(Edit4->text(), MaxEmailLength));
    Env.Comment.Set(FieldText(Edit5->text(), MaxCommentLength));
}

void TPublishHighscoreForm::Button1Click() {
    SaveToEnv();
    if (Trimmed(Env.PublishName.Get()).empty()) {
        ShowMessage(NoNameMessage);
        Edit1->setFocus();
        return;
    }
    TPublishResult result;
    try {
        result = SendHighscore(Env);
        THighscoreuploadedForm uploaded(result.Pairs);
        uploaded.ShowModal();
    } catch (const EPublishError& e) {
        MessageDlg(PublishFailureText(e.what(), e.Reply), TMsgDlgType::Error, TMsgDlgButtons::OK);
        return;
    } catch (const std::exception& e) {
        MessageDlg(PublishFailureText(e.what(), result.Reply), TMsgDlgType::Error,
                   TMsgDlgButtons::OK);
        return;
    }
    OpenURL(WebsiteAddress());
    close();
}
