#include "online/PublishHighscoreUnit.h"

#include "TestSupport.h"
#include "online/GameRecord.h"
#include "online/HighscoreuploadedUnit.h"
#include "online/OnlineTestSupport.h"
#include "online/WebsendUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace {

class PublishHighscoreUnitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Env = DefaultEnvData();
        RandSeed(7);
        Env.Highscores[0].Name.Set("Anna");
        Env.Highscores[0].Score = 12345;
        Env.GamesStarted = 4;
        Env.GamesWon = 1;
        Env.GameRecords[0].Set("0102030405");
    }
    void TearDown() override {
        if (PublishHighscoreForm) delete PublishHighscoreForm.data();
    }

    // Publishes through the dialog; returns the labels of the ranks dialog, if it showed.
    std::vector<QString> PublishThroughTheDialog() {
        std::vector<QString> labels;
        WhenModal<THighscoreuploadedForm>([&labels](THighscoreuploadedForm* shown) {
            labels = {shown->Label3->text(), shown->Label4->text(), shown->Label5->text(),
                      shown->Label8->text(), shown->Label7->text(), shown->Label6->text()};
            shown->Button1->click();
        });
        PublishHighscoreForm = new TPublishHighscoreForm();
        PublishHighscoreForm->show();
        PublishHighscoreForm->Button1Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return labels;
    }

    TTempProgramFolder Folder;
    TMessageRecorder Player;
    TBrowserRecorder Browser;
};

} // namespace

TEST_F(PublishHighscoreUnitTest, TheDialogShowsTheBestScoreTheStoredDataAndItsLists) {
    Env.Residence.Set("K\xF6ln");
    Env.Country.Set("Deutschland");
    Env.Age = 27;
    Env.Sex = 'f';
    Env.Email.Set("anna@example.org");
    Env.Comment.Set("alt");
    Env.PublishName.Set("Andere");
    TPublishHighscoreForm form;
    EXPECT_EQ(form.windowTitle(), "Highscore veröffentlichen");
    EXPECT_EQ(form.Label1->text(), "Ihr höchster Punktestand:");
    EXPECT_EQ(form.Label2->text(), "12345");
    EXPECT_EQ(form.Edit1->text(), "Anna"); // the best entry's name, not the last one typed
    EXPECT_EQ(form.Edit2->text(), "Köln");
    EXPECT_EQ(form.ComboBox2->currentText(), "Deutschland");
    EXPECT_EQ(form.SpinEdit1->value(), 27);
    EXPECT_EQ(form.ComboBox1->currentIndex(), 1);
    EXPECT_EQ(form.Edit4->text(), "anna@example.org");
    EXPECT_EQ(form.Edit5->text(), ""); // the comment always starts empty
    EXPECT_EQ(form.Edit1->maxLength(), 20);
    EXPECT_EQ(form.Edit2->maxLength(), 20);
    EXPECT_EQ(form.Edit4->maxLength(), 40);
    EXPECT_EQ(form.Edit5->maxLength(), 80);
    EXPECT_EQ(form.SpinEdit1->minimum(), 0);
    EXPECT_EQ(form.SpinEdit1->maximum(), 110);
    // The countries in their order, the sexes with an empty choice; neither list takes typing.
    ASSERT_EQ(form.ComboBox2->count(), 222);
    EXPECT_EQ(form.ComboBox2->itemText(0), "Afghanistan");
    EXPECT_EQ(form.ComboBox2->itemText(1), "Ägypten");
    EXPECT_EQ(form.ComboBox2->itemText(44), "Deutschland");
    EXPECT_EQ(form.ComboBox2->itemText(221), "Zypern ");
    EXPECT_GE(form.ComboBox2->findText("Neeseeland"), 0);
    EXPECT_FALSE(form.ComboBox2->isEditable());
    EXPECT_EQ(form.ComboBox1->count(), 3);
    EXPECT_EQ(form.ComboBox1->itemText(0), "");

    Env.Country.Set("Atlantis");
    form.FormShow();
    EXPECT_EQ(form.ComboBox2->currentIndex(), -1);
    // A long name comes back from the settings cut to 20 characters and is found again.
    Env.Country.SetUtf8("Vereinigte Staaten von Amerika");
    EXPECT_EQ(Env.Country.Get(), "Vereinigte Staaten v");
    form.FormShow();
    EXPECT_EQ(form.ComboBox2->currentText(), "Vereinigte Staaten von Amerika");
}

TEST_F(PublishHighscoreUnitTest, SavingKeepsTheFieldsAndTheRecordCarriesThem) {
    Env.PublishID.Set("abc");
    TPublishHighscoreForm form;
    form.Edit1->setText("A|B");
    form.Edit2->setText("Z\xC3\xBCrich");
    form.ComboBox2->setCurrentIndex(-1);
    form.SpinEdit1->setValue(33);
    form.ComboBox1->setCurrentIndex(2);
    form.Edit4->setText("x|y@example.org");
    form.Edit5->setText("gut | schlecht");
    form.SaveToEnv();
    EXPECT_EQ(Env.PublishName.Get(), "A/B"); // no bar survives in the settings either
    EXPECT_EQ(BuildRecord(PublishRecordOf(Env)),
              "KVQ|abc|12345|A/B|Z\xFCrich| |x/y@example.org|33|m|"
              "gut / schlecht|4|1|0102030405|KVQ|");
    form.ComboBox1->setCurrentIndex(0);
    form.SaveToEnv();
    EXPECT_EQ(Env.Sex, ' ');
}

TEST_F(PublishHighscoreUnitTest, RepliesAreReadByTheirKeys) {
    std::string id;
    const TPublishResult result = ReadPublishReply("ID=abc\nRang=5", &id);
    EXPECT_EQ(id, "abc");
    EXPECT_EQ(ReplyValue(result.Pairs, "Rang"), "5");
    EXPECT_THROW(ReadPublishReply("", &id), EPublishError);
    EXPECT_THROW(ReadPublishReply("ID=abc\r\nRang=\r\n", &id), EPublishError);
    EXPECT_EQ(id, "abc"); // the ID is taken even when the rank is missing
    EXPECT_THROW(ReadPublishReply("<html><body>Rang 5</body></html>", &id), EPublishError);
    EXPECT_EQ(id, "");
    // The first of two keys counts; an ID keeps printable characters, at most 32.
    ReadPublishReply("ID=" + std::string(40, 'x') + "\x01\r\nID=zweite\r\nRang=1\r\nRang=2", &id);
    EXPECT_EQ(id, std::string(32, 'x'));
    try {
        ReadPublishReply("Fehler=Unlesbarer Datensatz\r\n", &id);
        FAIL();
    } catch (const EPublishError& e) {
        EXPECT_STREQ(e.what(), "Unbekannte Antwort");
        EXPECT_EQ(e.Reply, "Fehler=Unlesbarer Datensatz\r\n");
    }
}

TEST_F(PublishHighscoreUnitTest, TheRanksDialogAppendsEveryValueAndTheOldRanksWhenPresent) {
    const TReplyPairs reply = ParseReply("ID=abc\r\nRang=5\r\nPlatz1=90000\r\np= von Bea\r\n"
                                         "wRang=2\r\nwAlterrang=3\r\nwPlatz1=4000\r\n");
    THighscoreuploadedForm form(reply);
    EXPECT_EQ(form.windowTitle(), "Highscore veröffentlicht!");
    EXPECT_EQ(form.Label3->text(), "Ihre Platzierung: 5");
    EXPECT_EQ(form.Label4->text(), "Ihre alte Platzierung:");
    EXPECT_EQ(form.Label5->text(), "Top Score der Liste: 90000 von Bea Punkte");
    EXPECT_EQ(form.Label8->text(), "Ihre Platzierung: 2");
    EXPECT_EQ(form.Label7->text(), "Ihre alte Platzierung: 3");
    EXPECT_EQ(form.Label6->text(), "Top Score der Liste: 4000 Punkte");
    EXPECT_EQ(form.Label2->text(), "Dauer - Highscore");
    EXPECT_EQ(form.Label9->text(), "Wochenhighscore");
    EXPECT_EQ(form.Button1->text(), "Ok");
    EXPECT_EQ(form.Label3->textFormat(), Qt::PlainText);
    // Missing values show empty behind their texts; only the old ranks go without a blank.
    THighscoreuploadedForm sparse(ParseReply("Rang=5"));
    EXPECT_EQ(sparse.Label4->text(), "Ihre alte Platzierung:");
    EXPECT_EQ(sparse.Label5->text(), "Top Score der Liste:  Punkte");
    EXPECT_EQ(sparse.Label8->text(), "Ihre Platzierung: ");
    THighscoreuploadedForm emptyOld(ParseReply("Rang=5\r\nAlterrang="));
    EXPECT_EQ(emptyOld.Label4->text(), "Ihre alte Platzierung: ");
    // A value from a confused server is shown short and harmless.
    THighscoreuploadedForm odd(ParseReply("Rang=<b>" + std::string(100, '9') + "\x07"));
    EXPECT_EQ(odd.Label3->text().toStdString(),
              "Ihre Platzierung: <b>" + std::string(21, '9') + "...");
}

TEST_F(PublishHighscoreUnitTest, PublishingShowsTheRanksAndTheScoreIsListed) {
    TTestServer server;
    server.Configure();
    // The server checks the game record: this game caught pieces for 20000 points.
    TGameStatistics game;
    game.PepperCaught0 = 100;
    Env.GameRecords[0].Set(
        DisguiseGameRecord(GameRecordDigits(MakeGameRecord(game)), [](int) { return 0; }));
    const std::vector<QString> labels = PublishThroughTheDialog();
    ASSERT_EQ(labels.size(), 6u) << (Player.Messages.empty() ? "" : Player.Messages[0]);
    EXPECT_EQ(labels[0], "Ihre Platzierung: 1");
    EXPECT_EQ(labels[2], "Top Score der Liste: 12345 Punkte");
    EXPECT_TRUE(Player.Messages.empty());
    const std::string id = Env.PublishID.Get();
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(Env.PublishName.Get(), "Anna");
    // The brand's home page follows, and the dialog has closed.
    EXPECT_EQ(Browser.Opened, (std::vector<std::string>{WebsiteAddress()}));
    EXPECT_TRUE(PublishHighscoreForm.isNull());

    // The same player again, better: the ID goes along and the server knows the player.
    Env.Highscores[0].Score = 20000;
    const std::vector<QString> again = PublishThroughTheDialog();
    ASSERT_EQ(again.size(), 6u);
    EXPECT_EQ(again[1], "Ihre alte Platzierung: 1");
    EXPECT_EQ(Env.PublishID.Get(), id);
}

TEST_F(PublishHighscoreUnitTest, ANameIsRequired) {
    const auto web = ServePage("ID=x\r\nRang=1\r\n");
    Env.Highscores[0].Name.Set("   ");
    auto* form = new TPublishHighscoreForm();
    PublishHighscoreForm = form;
    form->show();
    form->Button1Click();
    EXPECT_EQ(Player.Messages,
              (std::vector<std::string>{"Bitte geben Sie zuerst einen Namen ein"}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(web->Received(), ""); // nothing was asked of the score script
}

TEST_F(PublishHighscoreUnitTest, TheRequestCarriesTheRecordAndFailuresLeaveTheDialogOpen) {
    Env.Age = 40;
    Env.Country.Set("Deutschland");
    auto* form = new TPublishHighscoreForm();
    PublishHighscoreForm = form;
    form->show();

    // A web page instead of the score script's answer; the request was the record.
    {
        const auto web =
            ServePage("<!DOCTYPE html><html><body>Rang 5</body></html>", "200 OK", "text/html");
        form->Button1Click();
        const std::string request = web->Received();
        ASSERT_TRUE(request.starts_with("GET /score.php?cs=")) << request;
        const std::string cs = request.substr(18, request.find(' ', 18) - 18);
        const auto record = DecodeRecord(cs);
        ASSERT_TRUE(record);
        EXPECT_TRUE(
            record->starts_with("KVQ| |12345|Anna| |Deutschland| |40| | |4|1|0102030405|KVQ|"))
            << *record;
    }
    ASSERT_EQ(Player.Messages.size(), 1u);
    EXPECT_EQ(Player.Messages[0], "Highscore konnte nicht veröffentlicht werden: Unbekannte "
                                  "Antwort\r\n<!DOCTYPE html><html><body>Rang 5</body></html>");
    // The script refuses a publication (too many from one address) and says why in German;
    // the player reads its reason, not only the status.
    {
        const auto web = ServePage("Fehler=Zu viele Veröffentlichungen in kurzer Zeit.\r\n",
                                   "429 Too Many Requests", "text/plain; charset=utf-8");
        form->Button1Click();
    }
    ASSERT_EQ(Player.Messages.size(), 2u);
    EXPECT_TRUE(Player.Messages[1].starts_with(
        "Highscore konnte nicht veröffentlicht werden: HTTP-Fehler 429"))
        << Player.Messages[1];
    EXPECT_TRUE(Player.Messages[1].ends_with("\r\nFehler=Zu viele Veröffentlichungen in kurzer "
                                             "Zeit.\r\n"))
        << Player.Messages[1];
    // No connection: the layer's message, then the empty reply fails.
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    form->Button1Click();
    ASSERT_EQ(Player.Messages.size(), 4u);
    EXPECT_EQ(Player.Messages[2], NoConnectionMessage);
    EXPECT_EQ(Player.Messages[3],
              "Highscore konnte nicht veröffentlicht werden: Unbekannte Antwort\r\n");
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Browser.Opened.empty());
    EXPECT_TRUE(Env.PublishID.Get().empty());
    EXPECT_EQ(Env.PublishName.Get(), "Anna"); // the fields are in Env all the same
}
