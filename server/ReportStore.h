#pragma once
// The received error reports: each mail is kept whole (as a file beside the database) and
// read into sender, subject, text and attachment for listing. All reports together keep to a
// limit: past it, the oldest reports lose their attachment and raw mail first, and whole
// reports go only when that is not enough.
#include "server/Database.h"
#include "server/SmtpReceiver.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct TReport {
    int64_t Number = 0;
    int64_t Received = 0; // seconds since 1970
    std::string EnvelopeFrom;
    std::string Sender; // the From header; what the player typed
    std::string Subject;
    std::string Text;
    std::string AttachmentName;
    std::string Attachment; // bytes; only Get reads them
    int64_t AttachmentSize = 0;
    bool HasAttachment = false;
};

constexpr uint64_t DefaultReportsMiB = 200;

class TReportStore {
  public:
    // One line for the operator's log each.
    using TLog = std::function<void(const std::string& line)>;

    // database: an SQLite file or a PostgreSQL address. Raw mails go into rawFolder as
    // <number>.eml. maxTotalBytes bounds what all reports keep, counted as the mails' sizes.
    TReportStore(const std::string& database, std::filesystem::path rawFolder,
                 uint64_t maxTotalBytes = DefaultReportsMiB * 1024 * 1024, TLog log = {});

    // Stores one received mail; returns its number.
    int64_t Add(const TSmtpEnvelope& envelope, int64_t receivedAt);
    // All reports, oldest first, without their attachment bytes.
    std::vector<TReport> List();
    std::optional<TReport> Get(int64_t number);
    // What all reports keep, in bytes.
    uint64_t TotalBytes();

  private:
    void KeepToLimit();
    int64_t Total();

    std::mutex FLock;
    std::unique_ptr<TDatabase> FDb;
    std::filesystem::path FRawFolder;
    uint64_t FMaxTotalBytes;
    TLog FLog;
};

// "2024-03-05 14:07:09" in local time.
std::string FormatTime(int64_t seconds);
