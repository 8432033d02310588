#include "server/ReportStore.h"

#include "PostgresTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A report mail to the report mailbox, with an attachment of the given bytes.
TSmtpEnvelope Mail(const std::string& subject, const std::string& attachment) {
    TSmtpEnvelope envelope;
    envelope.MailFrom = "spieler@example.org";
    envelope.Recipients = {ReportMailbox};
    envelope.Data = ReportMail(subject, "Text", attachment);
    return envelope;
}

class ReportStoreTest : public TStoreTest {
  protected:
    std::unique_ptr<TReportStore> Open(uint64_t maxBytes) {
        return std::make_unique<TReportStore>(
            Address, Folder.Path / "raw", maxBytes,
            [this](const std::string& line) { Log.push_back(line); });
    }
    std::filesystem::path Raw(int64_t number) const {
        return Folder.Path / "raw" / (std::to_string(number) + ".eml");
    }

    std::vector<std::string> Log;
};

} // namespace

TEST_P(ReportStoreTest, KeepsEveryByteOfTheAttachment) {
    auto store = Open(DefaultReportsMiB * 1024 * 1024);
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>(i * 7 % 256); // zero bytes and high bytes among them
    const int64_t number = store->Add(Mail("Absturz", bytes), 1700000000);
    const auto report = store->Get(number);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->Subject, "Absturz");
    EXPECT_EQ(report->Received, 1700000000);
    EXPECT_TRUE(report->HasAttachment);
    EXPECT_EQ(report->Attachment, bytes);
    ASSERT_EQ(store->List().size(), 1u);
    EXPECT_EQ(store->List()[0].AttachmentSize, 3000);
    EXPECT_FALSE(store->Get(number + 1));
}

TEST_P(ReportStoreTest, OverTheLimitTheOldestAttachmentsGoFirst) {
    const std::string log(4000, 'L');
    const uint64_t mailSize = Mail("Nr. 0", log).Data.size(); // each subject as long
    // Room for three whole mails, not four.
    auto store = Open(3 * mailSize + mailSize / 2);
    std::vector<int64_t> numbers;
    for (int i = 0; i < 3; ++i)
        numbers.push_back(store->Add(Mail("Nr. " + std::to_string(i), log), 1700000000 + i));
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(store->TotalBytes(), 3 * mailSize);

    numbers.push_back(store->Add(Mail("Nr. 3", log), 1700000003));
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_NE(Log[0].find("report " + std::to_string(numbers[0])), std::string::npos);
    const auto oldest = store->Get(numbers[0]);
    ASSERT_TRUE(oldest);
    EXPECT_FALSE(oldest->HasAttachment);
    EXPECT_EQ(oldest->Subject, "Nr. 0"); // the report itself stays
    EXPECT_FALSE(std::filesystem::exists(Raw(numbers[0])));
    for (size_t i = 1; i < numbers.size(); ++i) {
        EXPECT_EQ(store->Get(numbers[i])->Attachment, log);
        EXPECT_TRUE(std::filesystem::exists(Raw(numbers[i])));
    }
    EXPECT_LE(store->TotalBytes(), 3 * mailSize + mailSize / 2);
}

TEST_P(ReportStoreTest, WholeReportsGoWhenTheirTextAloneIsTooMuch) {
    auto store = Open(1000);
    const int64_t first = store->Add(Mail(std::string(600, 'a'), ""), 1);
    const int64_t second = store->Add(Mail(std::string(600, 'b'), ""), 2);
    EXPECT_FALSE(store->Get(first));
    ASSERT_TRUE(store->Get(second) || Log.size() >= 2);
    EXPECT_LE(store->TotalBytes(), 1000u);
    EXPECT_FALSE(Log.empty());
}

TEST(ReportStoreUpgrade, AFileFromBeforeTheLimitKeepsItsReportsAndCountsThem) {
    TTempFolder folder;
    const std::string file = (folder.Path / "old.db").string();
    OpenDatabase(file)->Execute(
        "CREATE TABLE reports (id INTEGER PRIMARY KEY AUTOINCREMENT, received INTEGER NOT NULL,"
        " envelope_from TEXT NOT NULL, sender TEXT NOT NULL, subject TEXT NOT NULL,"
        " body TEXT NOT NULL, attachment_name TEXT, attachment BLOB);"
        "INSERT INTO reports (received, envelope_from, sender, subject, body, attachment_name,"
        " attachment) VALUES (1, 'a@b', 'a@b', 'Alt', 'Text', 'log.txt', x'00010203');");
    TReportStore store(file, folder.Path / "raw");
    ASSERT_EQ(store.List().size(), 1u);
    EXPECT_EQ(store.Get(1)->Attachment, std::string("\0\1\2\3", 4));
    EXPECT_EQ(store.TotalBytes(), 8u); // the text and the attachment, as far as known
    EXPECT_GT(store.Add(Mail("Neu", "x"), 2), 1);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, ReportStoreTest, ::testing::ValuesIn(StoreBackEnds),
                         [](const auto& info) { return info.param; });

#ifdef CRUMBLE_SERVER_PATH
// The operator's terminal shows the reports; whatever a player put into a mail, it gets no
// control characters to act on.
TEST(ReportCommands, ControlCharactersOfAMailNeverReachTheTerminal) {
    TTempFolder folder;
    const std::filesystem::path data = folder.Path / "data";
    std::filesystem::create_directories(data);
    {
        TReportStore store((data / "crumble.db").string(), data / "reports");
        TSmtpEnvelope envelope;
        envelope.MailFrom = "evil\x1B[2J@example.org";
        envelope.Data = "From: =?utf-8?q?Mallory=1B]0;pwned=07?= <m@example.org>\r\n"
                        "Subject: =?utf-8?b?"
                        "G1szMW1yb3QNCg=="
                        "?= Zeile\x1B[0m\r\n"
                        "\r\n"
                        "Erste Zeile\r\n\x1B[1;1HZweite\x9B"
                        "2J Zeile\x07\r\n";
        store.Add(envelope, 1700000000);
    }
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"reports"}, std::vector<std::string>{"reports", "show", "1"}}) {
        std::vector<std::string> arguments = command;
        arguments.insert(arguments.end(), {"--data", data.string()});
        TServerProcess server(folder.Path, arguments);
        EXPECT_EQ(server.Wait(), 0) << command.size();
        server.WaitFor("Mallory");
        EXPECT_NE(server.Output.find("Mallory"), std::string::npos) << server.Output;
        EXPECT_TRUE(Printable(server.Output, true)) << server.Output;
    }
}
#endif
