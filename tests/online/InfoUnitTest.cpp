#include "online/InfoUnit.h"

#include "TestSupport.h"
#include "online/NewHighscoreUnit.h"
#include "online/OnlineTestSupport.h"
#include "online/WebsendUnit.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class InfoUnitTest : public ::testing::Test {
  protected:
    TTempProgramFolder Folder;
    TMessageRecorder Player;
    TBrowserRecorder Browser;
};

TVersionVerdict Verdict(const std::string& text) {
    return JudgeVersionFile(text).Verdict;
}

} // namespace

TEST_F(InfoUnitTest, VersionsCompareAsText) {
    const std::string where = "\r\nhttp://example.org/download.html\r\n";
    EXPECT_EQ(Verdict("1.05" + where), TVersionVerdict::Current);
    EXPECT_EQ(Verdict("1.04" + where), TVersionVerdict::Current);
    EXPECT_EQ(Verdict("1.0" + where), TVersionVerdict::Current);
    EXPECT_EQ(Verdict("1.1" + where), TVersionVerdict::Newer);
    EXPECT_EQ(Verdict("1.10" + where), TVersionVerdict::Newer);
    EXPECT_EQ(Verdict("2.0" + where), TVersionVerdict::Newer);
    EXPECT_EQ(Verdict("10" + where), TVersionVerdict::Newer);
    EXPECT_EQ(Verdict("1.05 " + where), TVersionVerdict::Newer); // the blank counts
    EXPECT_EQ(Verdict("1.05\nhttp://x.example/"), TVersionVerdict::Current);
}

TEST_F(InfoUnitTest, OneLineOrNoneSaysNothingANewerOneWithoutAWebAddressSaysSo) {
    EXPECT_EQ(Verdict(""), TVersionVerdict::Silent);
    EXPECT_EQ(Verdict("2.0"), TVersionVerdict::Silent);
    EXPECT_EQ(Verdict("2.0\r\n"), TVersionVerdict::Silent);
    // Newer, but no address to go to: a bare host name, an HTML page, binary junk.
    EXPECT_EQ(Verdict("2.0\r\nwww.example.org/neu"), TVersionVerdict::NoLink);
    EXPECT_EQ(Verdict("<!DOCTYPE html>\n<html><body>x</body></html>"), TVersionVerdict::NoLink);
    EXPECT_EQ(Verdict(std::string("\xFF\x00\x01\n\x02", 5)), TVersionVerdict::NoLink);
    TellVersion("2.0\r\nfile:///etc/passwd\r\n");
    ASSERT_EQ(Player.Messages.size(), 1u);
    EXPECT_EQ(Player.Messages[0], "Es ist eine neuere Version (2.0) dieses Programmes verfügbar, "
                                  "doch die angegebene Adresse ist keine Internetadresse: "
                                  "file:///etc/passwd");
    EXPECT_EQ(Player.Types[0], TMsgDlgType::Information);
    EXPECT_TRUE(Browser.Opened.empty());
    const TVersionCheck check = JudgeVersionFile("1.10\r\nhttp://example.org/d\r\nmore\r\n");
    EXPECT_EQ(check.Version, "1.10");
    EXPECT_EQ(check.Address, "http://example.org/d");
    EXPECT_EQ(NewerVersionQuestion(check),
              "Es ist eine neuere Version (1.10) dieses Programmes verfügbar unter der Adresse "
              "http://example.org/d. Möchten Sie zu dieser Adresse gehen um die neue Version "
              "downzuloaden?");
}

TEST(InfoUnitBoxes, TagsInTheServersVersionShowAsText) {
    TTempProgramFolder folder;
    TBrowserRecorder browser;
    QString text;
    Qt::TextFormat format = Qt::RichText;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        format = box->textFormat();
        box->close(); // declined
    });
    TellVersion("<b>2.0</b>\r\nhttp://example.org/neu\r\n");
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_TRUE(text.startsWith("Es ist eine neuere Version (<b>2.0</b>) dieses"))
        << text.toStdString();
    EXPECT_TRUE(browser.Opened.empty());
}

TEST_F(InfoUnitTest, TheDialogShowsThePictureAtHalfSizeWithTheVersion) {
    TInfoForm form;
    EXPECT_EQ(form.windowTitle(), "Info");
    const QImage picture = PictureOrPlain("INFO", QSize(800, 600), "x");
    EXPECT_EQ(form.size(), QSize(picture.width() / 2, picture.height() / 2));
    EXPECT_EQ(form.Image1->geometry(), QRect(QPoint(0, 0), form.size()));
    EXPECT_TRUE(form.Image1->hasScaledContents());
    EXPECT_EQ(form.Label2->text(), "V 1.05");
    EXPECT_EQ(form.Label2->geometry(), QRect(276, 32, 92, 33));
    EXPECT_EQ(form.Button2->text(), "Überprüfen, ob eine neue Version verfügbar ist");
}

TEST_F(InfoUnitTest, TheButtonFetchesTheVersionFileAndTellsThePlayer) {
    TInfoForm form;
    {
        const auto web = ServePage("1.05\r\nhttp://example.org/download.html\r\n");
        form.Button2Click();
        EXPECT_TRUE(web->Received().starts_with("GET /korvaldinternal/version.txt HTTP/1.1"))
            << web->Received();
    }
    EXPECT_EQ(Player.Messages,
              (std::vector<std::string>{"Sie haben die aktuelle Version dieses Programmes."}));

    {
        const auto web = ServePage("1.10\nhttp://example.org/download.html\n");
        Player.Answers = {mrNo, mrYes};
        form.Button2Click();
        EXPECT_TRUE(Browser.Opened.empty());
        form.Button2Click();
    }
    ASSERT_EQ(Player.Messages.size(), 3u);
    EXPECT_TRUE(Player.Messages[1].starts_with("Es ist eine neuere Version (1.10)"));
    EXPECT_EQ(Browser.Opened, (std::vector<std::string>{"http://example.org/download.html"}));

    for (const char* silent : {"9.99", ""}) {
        const auto web = ServePage(silent);
        form.Button2Click();
        EXPECT_EQ(Player.Messages.size(), 3u) << silent; // one line or none: nothing said
    }
}

TEST_F(InfoUnitTest, NetworkTroubleGivesOneMessageAndTheDialogGoesOn) {
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    TInfoForm form;
    form.Button2Click();
    EXPECT_EQ(Player.Messages, (std::vector<std::string>{NoConnectionMessage}));

    TStubServer broken({}, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                           "Connection: close\r\n\r\n");
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(broken.Port) + "/");
    form.Button2Click();
    ASSERT_EQ(Player.Messages.size(), 2u);
    EXPECT_NE(Player.Messages[1].find("HTTP-Fehler 500"), std::string::npos);
    EXPECT_EQ(Player.Types[1], TMsgDlgType::Error);
}
