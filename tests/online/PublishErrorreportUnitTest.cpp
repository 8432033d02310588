#include "online/PublishErrorreportUnit.h"

#include "TestSupport.h"
#include "online/OnlineTestSupport.h"
#include "online/WebsendUnit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class PublishErrorreportUnitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RandSeed(3);
        WriteLog("Program Version 1.05");
        WriteLog("Exception raised in Threadnotify while Flip(): lost");
        WriteLog("ERROR");
    }
    bool LogExists() { return FileExists(ProgDir() + "\\sps\\log.txt"); }

    TTempProgramFolder Folder;
    TMessageRecorder Player;
};

} // namespace

TEST_F(PublishErrorreportUnitTest, TheDialogShowsItsTextsTheLogAndTheRememberedAddress) {
    WriteCfg("PER Name", "spieler@example.org");
    TPublishErrorreportForm form;
    EXPECT_EQ(form.windowTitle(), "Fehlerreport senden");
    EXPECT_EQ(form.Label2->text(),
              "Fehlerbeschreibung (Was ist passiert? Wie können wir den Fehler reproduzieren?)");
    EXPECT_EQ(form.Label3->text(), "Diese Logdatei wird an ihre Fehlermeldung angehängt:");
    EXPECT_TRUE(form.Label4->text().endsWith("wenn Sie Ihre Email Adresse angeben:"));
    EXPECT_EQ(form.Button1->text(), "Report an Veltrasoft AG Switzerland senden");
    EXPECT_EQ(form.Button2->text(), "Logdatei löschen");
    EXPECT_EQ(form.Edit1->text(), "spieler@example.org");
    EXPECT_TRUE(form.Memo2->isReadOnly());
    EXPECT_EQ(form.Memo2->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(form.Memo2->toPlainText().contains("Exception raised in Threadnotify"));
    EXPECT_EQ(form.LogFileName, ProgDir() + "\\sps\\log.txt");
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
}

TEST_F(PublishErrorreportUnitTest, WithoutALogTheMemoSaysSoAndNothingIsAttached) {
    EraseLog();
    TPublishErrorreportForm form;
    EXPECT_EQ(form.Memo2->toPlainText().toStdString(),
              "No logfile available (" + ProgDir() + "\\sps\\log.txt)");
    EXPECT_TRUE(form.LogFileName.empty());
}

TEST_F(PublishErrorreportUnitTest, ASentReportErasesTheLogAndClosesTheDialog) {
    TTestServer server;
    server.Configure();
    const std::string log = ReadWholeFile(Folder.File("SPS/LOG.TXT"));
    {
        TPublishErrorreportForm form;
        form.Memo1->setPlainText("Beim Start abgestürzt.\nImmer wieder.");
        form.Edit1->setText("spieler@example.org");
        form.show();
        form.Button1Click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Player.Messages, (std::vector<std::string>{"Vielen Dank für Ihre Hilfe!"}));
    EXPECT_FALSE(LogExists());
    // What the dialog handed on: the address, the description and the log as it was.
    const std::string sent = server.Reports("1");
    EXPECT_NE(sent.find("From:     spieler@example.org\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\n\nBeim Start abgestürzt.\nImmer wieder.\n"), std::string::npos) << sent;
    EXPECT_NE(
        sent.find("--- Attachment: log.txt (" + std::to_string(log.size()) + " bytes) ---\n" + log),
        std::string::npos)
        << sent;
    // The address typed comes back next time, also after a restart (it is in prog.cfg).
    EXPECT_EQ(ReadCfgRaw("PER Name"), "spieler@example.org");
    TPublishErrorreportForm next;
    EXPECT_EQ(next.Edit1->text(), "spieler@example.org");
    EXPECT_TRUE(next.Memo2->toPlainText().startsWith("No logfile available ("));
    next.show();
    next.Button1Click();
    EXPECT_NE(server.Reports("2").find("(no attachment)"), std::string::npos);
}

TEST_F(PublishErrorreportUnitTest, WithoutAConnectionOrWithARefusedMailNothingIsLost) {
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    TPublishErrorreportForm form;
    form.show();
    form.Button1Click();
    EXPECT_EQ(Player.Messages, (std::vector<std::string>{NoConnectionMessage}));

    const auto web = ServePage("");
    TStubServer refusing("220 stub\r\n", "554 5.7.1 nein\r\n");
    WriteCfg("mailserver", "127.0.0.1:" + std::to_string(refusing.Port));
    form.Button1Click();
    ASSERT_EQ(Player.Messages.size(), 2u);
    EXPECT_NE(Player.Messages[1].find("nicht angenommen"), std::string::npos);
    EXPECT_EQ(Player.Types[1], TMsgDlgType::Error);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(LogExists());
}

TEST_F(PublishErrorreportUnitTest, DeletingTheLogClosesAndClosingRemembersTheAddress) {
    {
        TPublishErrorreportForm form;
        form.show();
        form.Edit1->setText("neu@example.org");
        form.Button2Click();
        EXPECT_FALSE(form.isVisible());
    }
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(ReadCfgRaw("PER Name"), "neu@example.org");
    {
        TPublishErrorreportForm form;
        form.show();
        form.Edit1->setText("");
        form.close();
    }
    EXPECT_EQ(ReadCfgRaw("PER Name"), "");
}
