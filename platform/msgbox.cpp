#include "platform/msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <iostream>

namespace {

TMessageHandler& Handler() {
    static TMessageHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::Information:
        return QMessageBox::Information;
    case TMsgDlgType::Confirmation:
        return QMessageBox::Question;
    case TMsgDlgType::Warning:
        return QMessageBox::Warning;
    case TMsgDlgType::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

int AnswerWithoutAnyone(TMsgDlgButtons buttons) {
    // Nobody can answer: a question is declined, so nothing is done on the user's behalf.
    return buttons == TMsgDlgButtons::YesNo ? mrNo : mrOk;
}

} // namespace

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    if (Handler()) return Handler()(text, type, buttons);

    // The command-line tool has no widgets; its messages go to the terminal.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::cerr << text << std::endl;
        return AnswerWithoutAnyone(buttons);
    }

    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Crumble Rush"));
    box.setIcon(IconOf(type));
    // Texts come from servers, files and players too: a tag in them is shown, never obeyed.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    if (buttons == TMsgDlgButtons::YesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? mrYes : mrNo;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return mrOk;
}

void ShowMessage(const std::string& text) {
    MessageDlg(text, TMsgDlgType::Information, TMsgDlgButtons::OK);
}

void SetMessageHandler(TMessageHandler handler) {
    Handler() = std::move(handler);
}
