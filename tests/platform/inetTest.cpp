#include "platform/inet.h"

#include "online/OnlineTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

std::string HttpAnswer(const std::string& status, const std::string& type,
                       const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

std::string Local(int port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EInetError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(inet, AGetReturnsStatusTypeAndBody) {
    TStubServer server({},
                       HttpAnswer("200 OK", "text/plain; charset=utf-8", "ID=abc\r\nRang=5\r\n"));
    const THttpReply reply = HttpGet(Local(server.Port, "/score.php?cs=x"));
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.ContentType, "text/plain; charset=utf-8");
    EXPECT_EQ(reply.Body, "ID=abc\r\nRang=5\r\n");
}

TEST(inet, AnErrorStatusIsRaisedWithItsNumber) {
    TStubServer server({}, HttpAnswer("404 Not Found", "text/html", "<html>weg</html>"));
    const std::string error = ErrorOf([&] { HttpGet(Local(server.Port, "/errors.txt?x=1")); });
    EXPECT_NE(error.find("HTTP-Fehler 404"), std::string::npos) << error;
    // The query stays out of the message.
    EXPECT_EQ(error.find("x=1"), std::string::npos) << error;
}

TEST(inet, AReplyBeyondTheCapIsRefused) {
    const TInetLimits old = InetLimits();
    TInetLimits limits = old;
    limits.MaxReplyBytes = 1024;
    SetInetLimits(limits);
    TStubServer server({}, HttpAnswer("200 OK", "text/plain", std::string(5000, 'x')));
    const std::string error = ErrorOf([&] { HttpGet(Local(server.Port)); });
    SetInetLimits(old);
    EXPECT_NE(error.find("zu groß"), std::string::npos) << error;
}

TEST(inet, ASilentServerEndsInATimeOutNotAHang) {
    TShortTimeouts shortly(500);
    TStubServer server; // takes the connection, never answers
    QElapsedTimer clock;
    clock.start();
    const std::string error = ErrorOf([&] { HttpGet(Local(server.Port)); });
    EXPECT_NE(error.find("Zeitüberschreitung"), std::string::npos) << error;
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(inet, AClosedPortAndABadAddressAreReported) {
    EXPECT_NE(ErrorOf([] { HttpGet(Local(ClosedPort())); }).find("Keine Verbindung"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { HttpGet("ftp://127.0.0.1/file"); }).find("Ungültige Adresse"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { HttpGet("file:///etc/passwd"); }).find("Ungültige Adresse"),
              std::string::npos);
}

TEST(inet, OnlineMeansTheServerTakesAConnection) {
    TStubServer server;
    SetOnlineProbe(Local(server.Port));
    EXPECT_TRUE(InternetConnectedNow());
    SetOnlineProbe(Local(ClosedPort()));
    EXPECT_FALSE(InternetConnectedNow());
    SetOnlineProbe(std::string());
    EXPECT_FALSE(InternetConnectedNow());
}

TEST(inet, TheBackgroundCheckNeverWaitsAndReportsAChange) {
    TStubServer server;
    int changes = 0;
    SetOnlineChangedHandler([&changes] { ++changes; });
    SetOnlineProbe(Local(server.Port));
    QElapsedTimer clock;
    clock.start();
    // Not known yet: offline, and the call returns at once.
    EXPECT_FALSE(InternetConnected());
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_TRUE(WaitUntil([] { return InternetConnected(); }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return changes == 1; }, 5000)) << changes;
    SetOnlineChangedHandler(nullptr);
    SetOnlineProbe(std::string());
}

TEST(inet, ShellOpenGoesToTheOpenerTestsSet) {
    std::vector<std::string> opened;
    SetShellOpener([&opened](const std::string& address) {
        opened.push_back(address);
        return address.starts_with("http");
    });
    EXPECT_TRUE(ShellOpen("http://localhost:8080/korvald/"));
    EXPECT_FALSE(ShellOpen("nonsense"));
    SetShellOpener(nullptr);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://localhost:8080/korvald/", "nonsense"}));
}

TEST(inet, AMailServerThatRefusesOrIsSilentRaises) {
    TShortTimeouts shortly(700);
    TStubServer refusing("220 stub ESMTP\r\n", "554 5.7.1 nein\r\n");
    TMailEnvelope mail;
    mail.Server = "127.0.0.1:" + std::to_string(refusing.Port);
    mail.From = "a@b.example";
    mail.Recipients = {"c@d.example"};
    mail.Message = "Subject: x\r\n\r\ntext\r\n";
    const std::string refused = ErrorOf([&] { SmtpSend(mail); });
    EXPECT_NE(refused.find("nicht angenommen"), std::string::npos) << refused;

    TStubServer silent;
    mail.Server = "127.0.0.1:" + std::to_string(silent.Port);
    QElapsedTimer clock;
    clock.start();
    const std::string timedOut = ErrorOf([&] { SmtpSend(mail); });
    EXPECT_NE(timedOut.find("Zeitüberschreitung"), std::string::npos) << timedOut;
    EXPECT_LT(clock.elapsed(), 5000);

    mail.Server = "127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_NE(ErrorOf([&] { SmtpSend(mail); }).find("Keine Verbindung"), std::string::npos);
    mail.Server = "evil/x@y";
    EXPECT_NE(ErrorOf([&] { SmtpSend(mail); }).find("Ungültiger Mailserver"), std::string::npos);
}
