#include "platform/msgbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

namespace {

// Restores the real boxes even when a test fails half-way.
struct THandlerGuard {
    ~THandlerGuard() { SetMessageHandler(nullptr); }
};

QStringList ButtonTexts(const QMessageBox* box) {
    QStringList texts;
    for (const QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

QAbstractButton* ButtonWithText(const QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons())
        if (button->text() == text) return button;
    return nullptr;
}

// Runs show() while a timer waits for the modal box to appear and hands it to act(), which
// must close it. Returns what show() returned; found tells whether a box ever appeared.
int WithBox(const std::function<int()>& show, const std::function<void(QMessageBox*)>& act,
            bool& found) {
    found = false;
    QTimer poll;
    int attempts = 0;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            poll.stop();
            found = true;
            act(box);
        } else if (++attempts > 300) {
            poll.stop(); // no box: show() returned already or never will
        }
    });
    poll.start();
    return show();
}

} // namespace

TEST(MsgBox, TheHandlerSeesEveryBoxAndItsAnswerIsPassedOn) {
    THandlerGuard guard;
    std::vector<std::tuple<std::string, TMsgDlgType, TMsgDlgButtons>> seen;
    SetMessageHandler([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
        seen.emplace_back(text, type, buttons);
        return mrNo;
    });
    EXPECT_EQ(MessageDlg("Möchten Sie das Spiel trotzdem starten?", TMsgDlgType::Confirmation,
                         TMsgDlgButtons::YesNo),
              mrNo);
    ShowMessage("Sie haben die aktuelle Version dieses Programmes.");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_tuple(std::string("Möchten Sie das Spiel trotzdem starten?"),
                                       TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo));
    EXPECT_EQ(seen[1],
              std::make_tuple(std::string("Sie haben die aktuelle Version dieses Programmes."),
                              TMsgDlgType::Information, TMsgDlgButtons::OK));
}

TEST(MsgBox, TheRealBoxShowsGermanButtonsAndIconsAndAnswers) {
    // A handler set and cleared again brings back the real box.
    SetMessageHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrYes; });
    SetMessageHandler(nullptr);
    struct TCase {
        TMsgDlgType Type;
        TMsgDlgButtons Buttons;
        QString Click; // empty: the box is closed without an answer
        QMessageBox::Icon Icon;
        int Answer;
    };
    const TCase cases[] = {
        {TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo, "Ja", QMessageBox::Question, mrYes},
        {TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo, "Nein", QMessageBox::Question, mrNo},
        {TMsgDlgType::Warning, TMsgDlgButtons::YesNo, "", QMessageBox::Warning, mrNo},
        {TMsgDlgType::Error, TMsgDlgButtons::OK, "OK", QMessageBox::Critical, mrOk},
        {TMsgDlgType::Information, TMsgDlgButtons::OK, "", QMessageBox::Information, mrOk},
    };
    for (const TCase& c : cases) {
        QString title, text;
        QStringList buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool found = false;
        const int answer = WithBox(
            [&] { return MessageDlg("Möchten Sie zu dieser Adresse gehen?", c.Type, c.Buttons); },
            [&](QMessageBox* box) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons = ButtonTexts(box);
                QAbstractButton* button = ButtonWithText(box, c.Click);
                if (button)
                    button->click();
                else
                    box->close();
            },
            found);
        ASSERT_TRUE(found) << c.Click.toStdString();
        EXPECT_EQ(title, "Crumble Rush");
        EXPECT_EQ(text, QString::fromUtf8("Möchten Sie zu dieser Adresse gehen?"));
        EXPECT_EQ(icon, c.Icon);
        const QStringList expected =
            c.Buttons == TMsgDlgButtons::YesNo ? QStringList{"Ja", "Nein"} : QStringList{"OK"};
        EXPECT_EQ(buttons, expected);
        EXPECT_EQ(answer, c.Answer) << c.Click.toStdString();
    }
}
