#include "online/WebsendUnit.h"

#include "TestSupport.h"
#include "online/OnlineTestSupport.h"
#include "platform/inet.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <regex>

namespace {

class WebsendUnitTest : public ::testing::Test {
  protected:
    TTempProgramFolder Folder;
    TMessageRecorder Player;
    TBrowserRecorder Browser;
};

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST_F(WebsendUnitTest, TheAddressesPointAtTheCompanionServerUnlessProgCfgSaysOtherwise) {
    EXPECT_EQ(WebServerAddress(), "http://localhost:8080/");
    EXPECT_EQ(ScoreServerAddress(), "http://localhost:8080/score.php");
    EXPECT_EQ(WebsiteAddress(), "http://localhost:8080/korvald/");
    EXPECT_EQ(MailServerAddress(), "localhost:2525");
    EXPECT_EQ(StartPageAddress(), "http://localhost:8080/korvaldinternal");
    EXPECT_EQ(WebPageAddress("korvaldinternal/errors.txt"),
              "http://localhost:8080/korvaldinternal/errors.txt");

    // The pages and the script follow the web server, which gets its final "/".
    WriteCfg("webserver", "http://games.example:81");
    EXPECT_EQ(WebServerAddress(), "http://games.example:81/");
    EXPECT_EQ(ScoreServerAddress(), "http://games.example:81/score.php");
    EXPECT_EQ(WebsiteAddress(), "http://games.example:81/korvald/");
    WriteCfg("scoreserver", "https://scores.example/cgi/score.php");
    WriteCfg("website", "https://korvald.example/");
    WriteCfg("mailserver", "mail.example");
    EXPECT_EQ(ScoreServerAddress(), "https://scores.example/cgi/score.php");
    EXPECT_EQ(WebsiteAddress(), "https://korvald.example/");
    EXPECT_EQ(MailServerAddress(), "mail.example:25");
    WriteCfg("mailserver", "[::1]:2526");
    EXPECT_EQ(MailServerAddress(), "[::1]:2526");
    WriteCfg("mailserver", "[::1]");
    EXPECT_EQ(MailServerAddress(), "[::1]:25");

    OverrideOnlineAddress("webserver", "http://override.example/");
    EXPECT_EQ(WebServerAddress(), "http://override.example/");
    OverrideOnlineAddress("webserver", "");
    EXPECT_EQ(WebServerAddress(), "http://games.example:81/");
}

TEST_F(WebsendUnitTest, RepliesBecomeUtf8TextWithCrLfLineEnds) {
    EXPECT_EQ(ReplyText("a\nb\rc\r\nd", "text/plain"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(ReplyText("K\xC3\xB6ln", "text/plain; charset=utf-8"), "K\xC3\xB6ln");
    EXPECT_EQ(ReplyText("K\xF6ln", "text/plain; charset=ISO-8859-1"), "K\xC3\xB6ln");
    // Without a charset: UTF-8 when it is, Windows-1252 otherwise.
    EXPECT_EQ(ReplyText("K\xC3\xB6ln", ""), "K\xC3\xB6ln");
    EXPECT_EQ(ReplyText("K\xF6ln \x80", ""), "K\xC3\xB6ln \xE2\x82\xAC");
    EXPECT_EQ(ReplyText("", ""), "");
}

TEST_F(WebsendUnitTest, DisplayTextTamesWhatAServerSent) {
    EXPECT_EQ(DisplayText(std::string("a\0b\x01\r\n", 6), 100), "a b \r\n");
    EXPECT_EQ(DisplayText("abcdef", 3), "abc...");
    EXPECT_EQ(DisplayText("\xC3\xA4\xC3\xB6\xC3\xBC", 2), "\xC3\xA4\xC3\xB6...");
    EXPECT_EQ(DisplayText("\xFF", 10), "\xC3\xBF");
}

TEST_F(WebsendUnitTest, TheEnvelopeSenderIsTheTypedAddressOnlyWhenItIsOne) {
    EXPECT_EQ(EnvelopeSender(" spieler@example.org "), "spieler@example.org");
    EXPECT_EQ(EnvelopeSender(""), "");
    EXPECT_EQ(EnvelopeSender("Hans Muster"), "");
    EXPECT_EQ(EnvelopeSender("a@b@c"), "");
    EXPECT_EQ(EnvelopeSender("<a@b.example>"), "");
    EXPECT_EQ(EnvelopeSender("a@b.example\r\nRCPT TO:<x@y>"), "");
}

TEST_F(WebsendUnitTest, TheReportMailIsMimeWithTheLogInBase64) {
    const std::string mail =
        BuildErrorMail("J\xC3\xBCrg <j@example.org>\r\nBcc: x@y", "Zeile 1\nZeile = 2 \n.Punkt",
                       "log.txt", "Program Version 1.05\r\nERROR\r\n");
    EXPECT_NE(mail.find("Subject: Korvald Fehlermeldung\r\n"), std::string::npos);
    EXPECT_NE(mail.find("To: <fehlerreport@korvald.example>\r\n"), std::string::npos);
    EXPECT_NE(mail.find("X-Priority: 3 (Normal)\r\n"), std::string::npos);
    // The typed sender is one header line, encoded since it is not ASCII.
    EXPECT_NE(mail.find("From: =?UTF-8?B?"), std::string::npos);
    EXPECT_EQ(mail.find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(mail.find("Zeile 1\r\nZeile =3D 2=20\r\n.Punkt\r\n"), std::string::npos);
    EXPECT_NE(mail.find("filename=\"log.txt\""), std::string::npos);
    EXPECT_NE(mail.find("UHJvZ3JhbSBWZXJzaW9uIDEuMDUNCkVSUk9SDQo=\r\n"), std::string::npos);
    for (size_t at = mail.find('\n'); at != std::string::npos; at = mail.find('\n', at + 1))
        ASSERT_EQ(mail[at - 1], '\r') << "bare line feed at " << at;

    // Without a sender or a log: no From line, no attachment part.
    const std::string bare = BuildErrorMail("", "x", "", "");
    EXPECT_EQ(bare.find("From:"), std::string::npos);
    EXPECT_EQ(bare.find("attachment"), std::string::npos);
}

TEST_F(WebsendUnitTest, TheReportArrivesAtTheServerWithTheLogAttached) {
    TTestServer server;
    server.Configure();
    WriteLog("Program Version 1.05");
    WriteLog("Exception raised in Threadnotify");
    WriteLog("ERROR");
    ASSERT_TRUE(SendErrorMail("spieler@example.org", "Es ist abgest\xC3\xBCrzt.\nZweite Zeile",
                              ProgDir() + "\\sps\\log.txt"));
    EXPECT_EQ(Player.Messages, (std::vector<std::string>{"Vielen Dank für Ihre Hilfe!"}));
    const std::string list = server.Reports();
    EXPECT_NE(list.find("spieler@example.org  Korvald Fehlermeldung  [log.txt, "),
              std::string::npos)
        << list;
    const std::string shown = server.Reports("1");
    EXPECT_NE(shown.find("Es ist abgest\xC3\xBCrzt.\nZweite Zeile"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Exception raised in Threadnotify"), std::string::npos) << shown;

    // An empty sender still sends, with the null reverse path.
    ASSERT_TRUE(SendErrorMail("", "ohne Adresse", ""));
    EXPECT_NE(server.Reports().find("<>  Korvald Fehlermeldung"), std::string::npos)
        << server.Reports();

    // A log of 3 MB goes as its last part, which the mail server takes.
    std::string big;
    int lines = 0;
    for (; big.size() < 3 * 1024 * 1024; ++lines)
        big += "Loading Sound: effekt" + std::to_string(lines) + "\r\n";
    big += "ERROR\r\n";
    WriteWholeFile(Folder.File("big.txt"), big);
    ASSERT_TRUE(
        SendErrorMail("spieler@example.org", "Riesiges Protokoll", ProgDir() + "\\big.txt"));
    const std::string large = server.Reports("3");
    EXPECT_NE(large.find("Riesiges Protokoll"), std::string::npos) << large.substr(0, 2000);
    const size_t note = large.find(" bytes at the start of the log left out]\r\n");
    ASSERT_NE(note, std::string::npos) << large.substr(0, 2000);
    EXPECT_NE(large.find("effekt" + std::to_string(lines - 1) + "\r\nERROR\r\n"), std::string::npos)
        << large.substr(large.size() - 200);
    EXPECT_GT(large.size() - note, 700000u);
}

TEST_F(WebsendUnitTest, AReportTooLargeForTheMailKeepsTheLogsLastLines) {
    std::string log;
    for (int line = 0; log.size() < 300000; ++line)
        log += "Zeile " + std::to_string(line) + " des langen Protokolls\r\n";
    const std::string mail = FitErrorMail("a@b.example", "kurz", "log.txt", log, 20000);
    EXPECT_LE(mail.size(), 20000u);
    EXPECT_GT(mail.size(), 19000u); // the room is used
    const size_t start = mail.find("\r\n\r\n", mail.find("filename=\"log.txt\"")) + 4;
    const std::string encoded = mail.substr(start, mail.find("--", start) - start);
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(encoded));
    const std::string sent(decoded.constData(), static_cast<size_t>(decoded.size()));
    const std::regex note(R"(^\[(\d+) bytes at the start of the log left out\]\r\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(sent, match, note)) << sent.substr(0, 80);
    const size_t leftOut = std::stoul(match[1]);
    EXPECT_EQ(sent.substr(match.length(0)), log.substr(leftOut));
    EXPECT_EQ(log[leftOut - 1], '\n'); // whole lines

    // A description too long for the mail is cut at its end; a small one goes as it is.
    const std::string described = "Ä" + std::string(60000, 'x');
    const std::string cut = FitErrorMail("", described, "", "", 20000);
    EXPECT_LE(cut.size(), 20000u);
    EXPECT_NE(cut.find("=C3=84xxx"), std::string::npos);
    EXPECT_EQ(FitErrorMail("", "kurz", "log.txt", "OK\r\n", 20000).find("left out"),
              std::string::npos);
}

TEST_F(WebsendUnitTest, WithoutAConnectionNothingIsSentAndThePlayerIsTold) {
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    EXPECT_FALSE(SendErrorMail("a@b.example", "x", ""));
    EXPECT_EQ(FetchText(WebPageAddress("korvaldinternal/version.txt")), std::nullopt);
    EXPECT_EQ(HTTPGetText(WebPageAddress("korvaldinternal/version.txt")), "");
    EXPECT_EQ(Player.Messages, std::vector<std::string>(3, NoConnectionMessage));
}

TEST_F(WebsendUnitTest, ARefusingMailServerRaisesForTheCaller) {
    const auto web = ServePage("");
    TStubServer refusing("220 stub\r\n", "554 5.7.1 keine Lust\r\n");
    WriteCfg("mailserver", "127.0.0.1:" + std::to_string(refusing.Port));
    EXPECT_NE(ErrorOf([] { SendErrorMail("a@b.example", "x", ""); }).find("nicht angenommen"),
              std::string::npos);
    EXPECT_TRUE(Player.Messages.empty());
}

TEST_F(WebsendUnitTest, HttpGetAsksForTheAddressAndErrorsReachTheCaller) {
    {
        const auto web = ServePage("fehlt", "404 Not Found");
        EXPECT_NE(ErrorOf([] {
                      HTTPGetText(WebPageAddress("korvaldinternal/missing.txt"));
                  }).find("HTTP-Fehler 404"),
                  std::string::npos);
    }
    const auto web = ServePage("1.05\nhttp://example.org/\n");
    EXPECT_EQ(HTTPGetText(WebPageAddress("korvaldinternal/version.txt")),
              "1.05\r\nhttp://example.org/\r\n");
    EXPECT_TRUE(web->Received().starts_with("GET /korvaldinternal/version.txt HTTP/1.1\r\n"))
        << web->Received();
    EXPECT_TRUE(Player.Messages.empty());
}

TEST_F(WebsendUnitTest, OpenURLTellsThePlayerWhenNoBrowserStarts) {
    OpenURL("http://localhost:8080/korvald/");
    EXPECT_TRUE(Player.Messages.empty());
    Browser.Works = false;
    OpenURL("http://localhost:8080/x");
    EXPECT_EQ(Browser.Opened.size(), 2u);
    ASSERT_EQ(Player.Messages.size(), 1u);
    EXPECT_EQ(Player.Messages[0],
              "Internet Browser konnte nicht gestartet werden. Goto\rhttp://localhost:8080/x");
    EXPECT_EQ(Player.Types[0], TMsgDlgType::Error);
}

TEST_F(WebsendUnitTest, OnlineFollowsTheWebServer) {
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    EXPECT_FALSE(CheckOnline());
    TStubServer server;
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(server.Port) + "/");
    EXPECT_TRUE(CheckOnline());
    EXPECT_TRUE(IsOnline()); // the check now is also the last result
}
