#include "server/ReportStore.h"

#include "server/MailMessage.h"
#include "server/Text.h"

#include <ctime>
#include <fstream>

namespace {

// What a report whose attachment and raw mail are gone still keeps.
constexpr const char* TrimmedSize =
    "length(sender) + length(subject) + length(body) + length(envelope_from)";

std::string MiB(uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

} // namespace

TReportStore::TReportStore(const std::string& database, std::filesystem::path rawFolder,
                           uint64_t maxTotalBytes, TLog log)
    : FDb(OpenDatabase(database)), FRawFolder(std::move(rawFolder)), FMaxTotalBytes(maxTotalBytes),
      FLog(std::move(log)) {
    TTransaction transaction(*FDb);
    // size: the bytes the report keeps; trimmed: its attachment and raw mail are gone.
    FDb->Execute("CREATE TABLE IF NOT EXISTS reports ("
                 "  id {serial}, received BIGINT NOT NULL,"
                 "  envelope_from TEXT NOT NULL, sender TEXT NOT NULL, subject TEXT NOT NULL,"
                 "  body TEXT NOT NULL, attachment_name TEXT, attachment {blob},"
                 "  size BIGINT NOT NULL DEFAULT 0, trimmed BIGINT NOT NULL DEFAULT 0);");
    transaction.Commit();
    try {
        FDb->Prepare("SELECT size, trimmed FROM reports LIMIT 1").Run();
    } catch (const EDatabaseError&) {
        // A file from before the limit: the sizes of its reports are estimated once.
        TTransaction upgrade(*FDb);
        FDb->Execute("ALTER TABLE reports ADD COLUMN size BIGINT NOT NULL DEFAULT 0;"
                     "ALTER TABLE reports ADD COLUMN trimmed BIGINT NOT NULL DEFAULT 0;"
                     "UPDATE reports SET size = length(body) + coalesce(length(attachment), 0);");
        upgrade.Commit();
    }
}

int64_t TReportStore::Add(const TSmtpEnvelope& envelope, int64_t receivedAt) {
    const TMailMessage message = ParseMailMessage(envelope.Data);
    const std::lock_guard guard(FLock);
    TTransaction transaction(*FDb);
    TQuery insert = FDb->Prepare(
        "INSERT INTO reports (received, envelope_from, sender, subject, body, attachment_name,"
        " attachment, size) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) RETURNING id");
    insert.Bind(1, receivedAt)
        .Bind(2, SanitizeUtf8(envelope.MailFrom))
        .Bind(3, message.From)
        .Bind(4, message.Subject)
        .Bind(5, message.Text)
        .Bind(8, static_cast<int64_t>(envelope.Data.size()));
    // The log is the one attachment the program sends; a second one is kept in the raw file.
    if (message.Attachments.empty()) {
        insert.BindNull(6).BindNull(7);
    } else {
        insert.Bind(6, message.Attachments.front().FileName)
            .BindBlob(7, message.Attachments.front().Data);
    }
    if (!insert.Step()) throw EDatabaseError("insert: no number for the report");
    const int64_t number = insert.Int(0);
    insert.Run();

    std::error_code ignored;
    std::filesystem::create_directories(FRawFolder, ignored);
    std::ofstream(FRawFolder / (std::to_string(number) + ".eml"), std::ios::binary)
        << envelope.Data;
    KeepToLimit();
    transaction.Commit();
    return number;
}

int64_t TReportStore::Total() {
    TQuery query = FDb->Prepare("SELECT coalesce(sum(size), 0) FROM reports");
    return query.Step() ? query.Int(0) : 0;
}

void TReportStore::KeepToLimit() {
    const auto over = [this] { return static_cast<uint64_t>(Total()) > FMaxTotalBytes; };
    const auto log = [this](const std::string& line) {
        if (FLog) FLog(line);
    };
    const auto first = [this](const char* sql) -> std::optional<int64_t> {
        TQuery query = FDb->Prepare(sql);
        if (!query.Step()) return std::nullopt;
        return query.Int(0);
    };
    std::error_code ignored;
    while (over()) {
        const auto oldest = first("SELECT id FROM reports WHERE trimmed = 0 ORDER BY id LIMIT 1");
        if (!oldest) break;
        const int64_t number = *oldest;
        FDb->Prepare(std::string("UPDATE reports SET attachment = NULL, trimmed = 1, size = ") +
                     TrimmedSize + " WHERE id = ?1")
            .Bind(1, number)
            .Run();
        std::filesystem::remove(FRawFolder / (std::to_string(number) + ".eml"), ignored);
        log("reports: attachment and raw mail of report " + std::to_string(number) +
            " removed, the reports are over " + MiB(FMaxTotalBytes));
    }
    while (over()) {
        const auto oldest = first("SELECT id FROM reports ORDER BY id LIMIT 1");
        if (!oldest) break;
        const int64_t number = *oldest;
        FDb->Prepare("DELETE FROM reports WHERE id = ?1").Bind(1, number).Run();
        log("reports: report " + std::to_string(number) + " removed, the reports are over " +
            MiB(FMaxTotalBytes));
    }
}

uint64_t TReportStore::TotalBytes() {
    const std::lock_guard guard(FLock);
    return static_cast<uint64_t>(Total());
}

std::vector<TReport> TReportStore::List() {
    const std::lock_guard guard(FLock);
    TQuery query = FDb->Prepare(
        "SELECT id, received, envelope_from, sender, subject, attachment_name,"
        " CASE WHEN attachment IS NULL THEN 0 ELSE 1 END, coalesce(length(attachment), 0)"
        " FROM reports ORDER BY id");
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
    TQuery query = FDb->Prepare(
        "SELECT id, received, envelope_from, sender, subject, body, attachment_name, attachment,"
        " CASE WHEN attachment IS NULL THEN 0 ELSE 1 END FROM reports WHERE id = ?1");
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
