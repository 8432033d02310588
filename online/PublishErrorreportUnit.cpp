#include "online/PublishErrorreportUnit.h"

#include "online/WebsendUnit.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// More than this of a log is not worth showing; the whole file is attached all the same.
constexpr size_t MaxShownLog = 1024 * 1024;

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

TPublishErrorreportForm::TPublishErrorreportForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Fehlerreport senden");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Label2 = Caption(
        "Fehlerbeschreibung (Was ist passiert? Wie können wir den Fehler reproduzieren?)", this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Label3 = Caption("Diese Logdatei wird an ihre Fehlermeldung angehängt:", this);
    Memo2 = new QPlainTextEdit(this);
    Memo2->setReadOnly(true);
    Memo2->setFocusPolicy(Qt::NoFocus);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label4 = Caption("Wahrscheinlich werden wir noch zusätzliche Hilfe von Ihnen benötigen um den "
                     "Fehler zu finden. Vielleicht haben wir noch Fragen oder wir möchten Ihnen "
                     "eine Debugversion des Spiels schicken. Das geht jedoch nur, wenn Sie Ihre "
                     "Email Adresse angeben:",
                     this);
    Edit1 = new QLineEdit(this);
    Button1 = new QPushButton("Report an Veltrasoft AG Switzerland senden", this);
    Button2 = new QPushButton("Logdatei löschen", this);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addWidget(Memo1, 2);
    layout->addWidget(Label3);
    layout->addWidget(Memo2, 3);
    layout->addWidget(Label4);
    layout->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    resize(560, 520);

    FormShow();
    Memo1->setFocus();
}

void TPublishErrorreportForm::FormShow() {
    Edit1->setText(QString::fromStdString(AnsiToUtf8(ReadCfgRaw(ReportAddressKey))));
    LogFileName = ProgDir() + "\\sps\\log.txt";
    if (FileExists(LogFileName)) {
        Memo2->setPlainText(
            QString::fromStdString(AnsiToUtf8(ReadFileBytes(LogFileName, MaxShownLog))));
    } else {
        Memo2->setPlainText(QString::fromStdString("No logfile available (" + LogFileName + ")"));
        LogFileName.clear();
    }
}

int TPublishErrorreportForm::ShowModal() {
    return exec();
}

void TPublishErrorreportForm::Button1Click() {
    try {
        if (!SendErrorMail(Edit1->text().toStdString(), Memo1->toPlainText().toStdString(),
                           LogFileName))
            return; // no connection: nothing was sent, so the log is still wanted
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
        return;
    }
    EraseLog();
    done(Accepted);
}

void TPublishErrorreportForm::Button2Click() {
    EraseLog();
    done(Accepted);
}

void TPublishErrorreportForm::done(int result) {
    try {
        WriteCfg(ReportAddressKey, Utf8ToAnsi(Edit1->text().toStdString()));
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::Error, TMsgDlgButtons::OK);
    }
    QDialog::done(result);
}
