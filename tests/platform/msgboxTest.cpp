#include "platform/msgbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

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

TEST(MsgBox, HandlerReceivesTextTypeAndButtons) {
    THandlerGuard guard;
    std::string seenText;
    TMsgDlgType seenType = TMsgDlgType::Information;
    TMsgDlgButtons seenButtons = TMsgDlgButtons::OK;
    int calls = 0;
    SetMessageHandler([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
        ++calls;
        seenText = text;
        seenType = type;
        seenButtons = buttons;
        return mrYes;
    });
    EXPECT_EQ(MessageDlg("Möchten Sie das Spiel trotzdem starten?", TMsgDlgType::Confirmation,
                         TMsgDlgButtons::YesNo),
              mrYes);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenText, "Möchten Sie das Spiel trotzdem starten?");
    EXPECT_EQ(seenType, TMsgDlgType::Confirmation);
    EXPECT_EQ(seenButtons, TMsgDlgButtons::YesNo);
}

TEST(MsgBox, HandlerAnswerIsPassedOn) {
    THandlerGuard guard;
    SetMessageHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; });
    EXPECT_EQ(MessageDlg("?", TMsgDlgType::Warning, TMsgDlgButtons::YesNo), mrNo);
}

TEST(MsgBox, ShowMessageIsAnInformationWithOK) {
    THandlerGuard guard;
    std::string seenText;
    TMsgDlgType seenType = TMsgDlgType::Error;
    TMsgDlgButtons seenButtons = TMsgDlgButtons::YesNo;
    SetMessageHandler([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
        seenText = text;
        seenType = type;
        seenButtons = buttons;
        return mrOk;
    });
    ShowMessage("Sie haben die aktuelle Version dieses Programmes.");
    EXPECT_EQ(seenText, "Sie haben die aktuelle Version dieses Programmes.");
    EXPECT_EQ(seenType, TMsgDlgType::Information);
    EXPECT_EQ(seenButtons, TMsgDlgButtons::OK);
}

TEST(MsgBox, QuestionShowsGermanButtonsAndYesAnswersYes) {
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool found = false;
    const int answer = WithBox(
        [] {
            return MessageDlg("Möchten Sie zu dieser Adresse gehen?", TMsgDlgType::Confirmation,
                              TMsgDlgButtons::YesNo);
        },
        [&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = ButtonTexts(box);
            if (QAbstractButton* yes = ButtonWithText(box, "Ja"))
                yes->click();
            else
                box->reject();
        },
        found);
    ASSERT_TRUE(found);
    EXPECT_EQ(title, "Crumble Rush");
    EXPECT_EQ(text, QString::fromUtf8("Möchten Sie zu dieser Adresse gehen?"));
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttons, (QStringList{"Ja", "Nein"}));
    EXPECT_EQ(answer, mrYes);
}

TEST(MsgBox, NoAnswersNo) {
    bool found = false;
    const int answer =
        WithBox([] { return MessageDlg("?", TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo); },
                [](QMessageBox* box) {
                    if (QAbstractButton* no = ButtonWithText(box, "Nein"))
                        no->click();
                    else
                        box->reject();
                },
                found);
    ASSERT_TRUE(found);
    EXPECT_EQ(answer, mrNo);
}

TEST(MsgBox, ClosingAQuestionWithoutAnswerIsNo) {
    bool found = false;
    const int answer =
        WithBox([] { return MessageDlg("?", TMsgDlgType::Warning, TMsgDlgButtons::YesNo); },
                [](QMessageBox* box) { box->close(); }, found);
    ASSERT_TRUE(found);
    EXPECT_EQ(answer, mrNo);
}

TEST(MsgBox, ErrorShowsOKOnlyWithCriticalIcon) {
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool found = false;
    const int answer =
        WithBox([] { return MessageDlg("Fehler", TMsgDlgType::Error, TMsgDlgButtons::OK); },
                [&](QMessageBox* box) {
                    buttons = ButtonTexts(box);
                    icon = box->icon();
                    if (QAbstractButton* ok = ButtonWithText(box, "OK"))
                        ok->click();
                    else
                        box->reject();
                },
                found);
    ASSERT_TRUE(found);
    EXPECT_EQ(buttons, (QStringList{"OK"}));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(answer, mrOk);
}

TEST(MsgBox, IconsOfInformationAndWarning) {
    for (auto [type, expected] : {std::pair{TMsgDlgType::Information, QMessageBox::Information},
                                  std::pair{TMsgDlgType::Warning, QMessageBox::Warning}}) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool found = false;
        WithBox([type] { return MessageDlg("x", type, TMsgDlgButtons::OK); },
                [&](QMessageBox* box) {
                    icon = box->icon();
                    box->close();
                },
                found);
        ASSERT_TRUE(found);
        EXPECT_EQ(icon, expected);
    }
}

TEST(MsgBox, ClearedHandlerBringsBackTheRealBox) {
    int calls = 0;
    SetMessageHandler([&](const std::string&, TMsgDlgType, TMsgDlgButtons) {
        ++calls;
        return mrYes;
    });
    SetMessageHandler(nullptr);
    bool found = false;
    const int answer =
        WithBox([] { return MessageDlg("?", TMsgDlgType::Confirmation, TMsgDlgButtons::YesNo); },
                [](QMessageBox* box) { box->close(); }, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(answer, mrNo);
}
