#pragma once
// The received error reports: each mail is kept whole (as a file beside the database) and
// read into sender, subject, text and attachment for listing.
#include "server/Database.h"
#include "server/SmtpReceiver.h"

#include <filesystem>
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

class TReportStore {
  public:
    // Raw mails go into rawFolder as <number>.eml.
    TReportStore(const std::string& databaseFile, std::filesystem::path rawFolder);

    // Stores one received mail; returns its number.
    int64_t Add(const TSmtpEnvelope& envelope, int64_t receivedAt);
    // All reports, oldest first, without their attachment bytes.
    std::vector<TReport> List();
    std::optional<TReport> Get(int64_t number);

  private:
    std::mutex FLock;
    TDatabase FDb;
    std::filesystem::path FRawFolder;
};

// "2024-03-05 14:07:09" in local time.
std::string FormatTime(int64_t seconds);
