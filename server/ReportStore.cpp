#include "server/ReportStore.h"

#include "server/MailMessage.h"
#include "server/Text.h"

#include <ctime>
#include <fstream>

TReportStore::TReportStore(const std::string& databaseFile, std::filesystem::path rawFolder)
    : FDb(databaseFile), FRawFolder(std::move(rawFolder)) {
    FDb.Execute("PRAGMA journal_mode=WAL;"
                "CREATE TABLE IF NOT EXISTS reports ("
                "  id INTEGER PRIMARY KEY AUTOINCREMENT, received INTEGER NOT NULL,"
                "  envelope_from TEXT NOT NULL, sender TEXT NOT NULL, subject TEXT NOT NULL,"
                "  body TEXT NOT NULL, attachment_name TEXT, attachment BLOB);");
}

int64_t TReportStore::Add(const TSmtpEnvelope& envelope, int64_t receivedAt) {
    const TMailMessage message = ParseMailMessage(envelope.Data);
    const std::lock_guard guard(FLock);
    TStatement insert = FDb.Prepare(
        "INSERT INTO reports (received, envelope_from, sender, subject, body, attachment_name,"
        " attachment) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.Bind(1, receivedAt)
        .Bind(2, SanitizeUtf8(envelope.MailFrom))
        .Bind(3, message.From)
        .Bind(4, message.Subject)
        .Bind(5, message.Text);
    // The log is the one attachment the program sends; a second one is kept in the raw file.
    if (message.Attachments.empty()) {
        insert.BindNull(6).BindNull(7);
    } else {
        insert.Bind(6, message.Attachments.front().FileName)
            .BindBlob(7, message.Attachments.front().Data);
    }
    insert.Run();
    const int64_t number = FDb.LastInsertId();

    std::error_code ignored;
    std::filesystem::create_directories(FRawFolder, ignored);
    std::ofstream(FRawFolder / (std::to_string(number) + ".eml"), std::ios::binary)
        << envelope.Data;
    return number;
}

std::vector<TReport> TReportStore::List() {
    const std::lock_guard guard(FLock);
    TStatement query =
        FDb.Prepare("SELECT id, received, envelope_from, sender, subject, attachment_name,"
                    " attachment IS NOT NULL, length(attachment) FROM reports ORDER BY id");
    std::vector<TReport> reports;
    while (query.Step()) {
        TReport report;
        report.Number = query.Int(0);
        report.Received = query.Int(1);
        report.EnvelopeFrom = query.Text(2);
        report.Sender = query.Text(3);
        report.Subject = query.Text(4);
        report.AttachmentName = query.Text(5);
        report.HasAttachment = query.Int(6) != 0;
        report.AttachmentSize = query.Int(7);
        reports.push_back(std::move(report));
    }
    return reports;
}

std::optional<TReport> TReportStore::Get(int64_t number) {
    const std::lock_guard guard(FLock);
    TStatement query =
        FDb.Prepare("SELECT id, received, envelope_from, sender, subject, body, attachment_name,"
                    " attachment, attachment IS NOT NULL FROM reports WHERE id = ?1");
    query.Bind(1, number);
    if (!query.Step()) return std::nullopt;
    TReport report;
    report.Number = query.Int(0);
    report.Received = query.Int(1);
    report.EnvelopeFrom = query.Text(2);
    report.Sender = query.Text(3);
    report.Subject = query.Text(4);
    report.Text = query.Text(5);
    report.AttachmentName = query.Text(6);
    report.Attachment = query.Text(7);
    report.AttachmentSize = static_cast<int64_t>(report.Attachment.size());
    report.HasAttachment = query.Int(8) != 0;
    return report;
}

std::string FormatTime(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}
