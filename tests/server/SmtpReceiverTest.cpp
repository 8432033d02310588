#include "server/SmtpReceiver.h"

#include "ServerTestSupport.h"
#include "server/MailMessage.h"
#include "server/ReportStore.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

// An error report whose text has a line that starts with a dot.
const std::string ReportMailText =
    ReportMail("Korvald Fehlermeldung", "Das Spiel ist abgest\xC3\xBCrzt.\r\n..Zeile mit Punkt",
               "Program Version 1.05\r\nERROR");

class SmtpReceiverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TSmtpOptions options;
        options.MaxMessageSize = 64 * 1024;
        options.ReadTimeout = std::chrono::milliseconds(300);
        Receiver = std::make_unique<TSmtpReceiver>(
            [this](const TSmtpEnvelope& envelope) {
                const std::lock_guard guard(Lock);
                Received.push_back(envelope);
                return static_cast<long long>(Received.size());
            },
            options);
        Port = Receiver->Start("127.0.0.1", 0);
    }

    std::vector<TSmtpEnvelope> Mails() {
        const std::lock_guard guard(Lock);
        return Received;
    }

    // Greeting, EHLO, MAIL, RCPT and DATA; returns the reply to DATA.
    std::string Begin(TTestConnection& c, const std::string& from = "<spieler@example.org>") {
        EXPECT_EQ(c.ReadReply().substr(0, 4), "220 ");
        c.Send("EHLO client.example\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 4), "250-");
        c.Send("MAIL FROM:" + from + "\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
        c.Send("RCPT TO:<fehlerreport@korvald.example>\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
        c.Send("DATA\r\n");
        return c.ReadReply();
    }

    std::mutex Lock;
    std::vector<TSmtpEnvelope> Received;
    std::unique_ptr<TSmtpReceiver> Receiver;
    int Port = 0;
};

} // namespace

// The mail as it arrives, read as a message and kept as a report.
TEST_F(SmtpReceiverTest, ReceivesAMailWithAttachmentAndItIsStoredAsAReport) {
    {
        TTestConnection c(Port);
        EXPECT_EQ(Begin(c, "<bote@example.org>").substr(0, 3), "354");
        c.Send(ReportMailText + ".\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
        c.Send("QUIT\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 3), "221");
    }
    const auto mails = Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].MailFrom, "bote@example.org");
    ASSERT_EQ(mails[0].Recipients.size(), 1u);
    EXPECT_EQ(mails[0].Recipients[0], "fehlerreport@korvald.example");

    const TMailMessage message = ParseMailMessage(mails[0].Data);
    EXPECT_EQ(message.From, "spieler@example.org");
    EXPECT_EQ(message.Subject, "Korvald Fehlermeldung");
    // The leading dot of the second line was doubled for the transfer only.
    EXPECT_EQ(message.Text, "Das Spiel ist abgest\xC3\xBCrzt.\n.Zeile mit Punkt");
    ASSERT_EQ(message.Attachments.size(), 1u);
    EXPECT_EQ(message.Attachments[0].FileName, "log.txt");
    EXPECT_EQ(message.Attachments[0].Data, "Program Version 1.05\r\nERROR");

    TTempFolder folder;
    TReportStore store((folder.Path / "reports.db").string(), folder.Path / "raw");
    const auto report = store.Get(store.Add(mails[0], 1700000000));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->Sender, "spieler@example.org");
    EXPECT_EQ(report->EnvelopeFrom, "bote@example.org");
    EXPECT_EQ(report->Text, message.Text);
    EXPECT_EQ(report->AttachmentName, "log.txt");
}

TEST_F(SmtpReceiverTest, CommandsOutOfOrderAreRefusedAndTheSessionGoesOn) {
    TTestConnection c(Port);
    c.ReadReply();
    c.Send("DATA\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "503");
    c.Send("RCPT TO:<a@b>\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "503");
    c.Send("\x01\x02 GARBAGE \xFF\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "500");
    c.Send("MAIL FROM:\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "501");
    c.Send("helo x\r\nNOOP\r\nMAIL FROM:<a@b>\r\nRSET\r\nDATA\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "503"); // RSET forgot the sender
    EXPECT_TRUE(Mails().empty());
    // Sends nothing more: the receiver says goodbye on its own after its read time-out.
    EXPECT_EQ(c.ReadAll().substr(0, 3), "421");
}

TEST_F(SmtpReceiverTest, TooLargeMailIsRefusedAndNothingStored) {
    TTestConnection declared(Port);
    declared.ReadReply();
    declared.Send("MAIL FROM:<a@b> SIZE=999999999\r\n");
    EXPECT_EQ(declared.ReadReply().substr(0, 3), "552");

    TTestConnection c(Port);
    EXPECT_EQ(Begin(c).substr(0, 3), "354");
    const std::string line(998, 'A');
    std::string body = "Subject: gross\r\n\r\n";
    while (body.size() < 70 * 1024)
        body += line + "\r\n";
    c.Send(body + ".\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "552");
    EXPECT_TRUE(Mails().empty());
    // The receiver still takes the next mail.
    TTestConnection next(Port);
    EXPECT_EQ(Begin(next).substr(0, 3), "354");
    next.Send("Subject: klein\r\n\r\nkurz\r\n.\r\n");
    EXPECT_EQ(next.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(Mails().size(), 1u);
}

TEST_F(SmtpReceiverTest, ClientVanishingMidMailLeavesNothingBehind) {
    {
        TTestConnection c(Port);
        Begin(c);
        c.Send("Subject: halb\r\n\r\nnur die H\xC3\xA4lfte");
    }
    // The next one, with the empty sender of a bounce, is taken whole.
    TTestConnection next(Port);
    EXPECT_EQ(Begin(next, "<>").substr(0, 3), "354");
    next.Send("Subject: ganz\r\n\r\nx\r\n.\r\n");
    EXPECT_EQ(next.ReadReply().substr(0, 3), "250");
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_EQ(Mails()[0].MailFrom, "");
    EXPECT_EQ(ParseMailMessage(Mails()[0].Data).Subject, "ganz");
}

TEST_F(SmtpReceiverTest, OnlyTheReportMailboxTakesMail) {
    TTestConnection c(Port);
    c.ReadReply();
    c.Send("HELO x\r\nMAIL FROM:<spieler@example.org>\r\n");
    c.ReadReply();
    c.ReadReply();
    for (const char* other : {"<postmaster@korvald.example>", "<fehlerreport@example.org>",
                              "<fehlerreport@korvald.example.evil.org>", "<relay@elsewhere.org>"}) {
        c.Send(std::string("RCPT TO:") + other + "\r\n");
        EXPECT_EQ(c.ReadReply().substr(0, 4), "550 ") << other;
    }
    c.Send("DATA\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "503"); // no recipient was taken
    // Domains are case-insensitive; so is the mailbox here.
    c.Send("RCPT TO:<FehlerReport@KORVALD.example>\r\nDATA\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "354");
    c.Send("Subject: x\r\n\r\ny\r\n.\r\n");
    EXPECT_EQ(c.ReadReply().substr(0, 3), "250");
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_EQ(Mails()[0].Recipients.size(), 1u);
}

TEST(SmtpReceiverLimits, OneClientAddressHoldsOnlyAFewConnections) {
    TSmtpOptions options;
    options.MaxConnectionsPerAddress = 3;
    TSmtpReceiver receiver([](const TSmtpEnvelope&) { return 1LL; }, options);
    const int port = receiver.Start("127.0.0.1", 0);
    std::vector<std::unique_ptr<TTestConnection>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<TTestConnection>(port));
        EXPECT_EQ(held.back()->ReadReply().substr(0, 4), "220 ");
    }
    TTestConnection refused(port);
    EXPECT_EQ(refused.ReadAll().substr(0, 4), "421 ");

    // Once one of them quits, its place is free again. The receiver notices the end of a
    // session on its own thread, so the new connection may come a moment too early.
    held.front()->Send("QUIT\r\n");
    EXPECT_EQ(held.front()->ReadReply().substr(0, 3), "221");
    std::string greeting;
    for (int attempt = 0; attempt < 100 && greeting.substr(0, 4) != "220 "; ++attempt) {
        TTestConnection again(port);
        greeting = again.ReadReply();
        if (greeting.substr(0, 4) != "220 ")
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(greeting.substr(0, 4), "220 ");
}

TEST(MailMessage, EncodedWordsAndQuotedPrintable) {
    EXPECT_EQ(DecodeHeaderWords("=?UTF-8?B?S29ydmFsZCBGZWhsZXJtZWxkdW5n?="),
              "Korvald Fehlermeldung");
    EXPECT_EQ(DecodeHeaderWords("=?ISO-8859-1?Q?Gr=FC=DFe_aus?= =?utf-8?q?_K=C3=B6ln?= !"),
              "Gr\xC3\xBC\xC3\x9F"
              "e aus K\xC3\xB6ln !");
    EXPECT_EQ(DecodeHeaderWords("plain text"), "plain text");
    EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc=4"), "a=bc=4");
    EXPECT_EQ(DecodeBase64("SGFs\r\nbG8="), "Hallo");
}

TEST(MailMessage, SinglePartMailIsTheText) {
    const TMailMessage message =
        ParseMailMessage("From: =?utf-8?q?J=C3=BCrgen?= <j@example.org>\r\nSubject: Hallo\r\n"
                         "Content-Type: text/plain; charset=iso-8859-1\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n\r\nS=FC=DF\r\n");
    EXPECT_EQ(message.From, "J\xC3\xBCrgen <j@example.org>");
    EXPECT_EQ(message.Text, "S\xC3\xBC\xC3\x9F\n");
    EXPECT_TRUE(message.Attachments.empty());
}

TEST(MailMessage, BrokenMimeDoesNotFail) {
    for (const char* raw :
         {"", "\r\n\r\n", "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\nx",
          "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b\r\n",
          "Content-Type: multipart/mixed\r\n\r\n--\r\n", "Subject: \xFF\xFE\r\n"}) {
        const TMailMessage message = ParseMailMessage(raw);
        EXPECT_EQ(message.Subject.find('\xFF'), std::string::npos);
    }
}
