// crumble-server: the game's web pages, the score script and the error-report mailbox.
//   crumble-server [--http PORT] [--smtp PORT] [--host ADDR] [--data DIR]
//                  [--database postgresql://...] [--reports-max-mib N] [--smtp-per-client N]
//   crumble-server reports [--data DIR] [--database postgresql://...]
//   crumble-server reports show N [--data DIR] [--database postgresql://...]
#include "server/DataFolder.h"
#include "server/ReportStore.h"
#include "server/ScoreStore.h"
#include "server/SmtpReceiver.h"
#include "server/Text.h"
#include "server/WebServer.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: crumble-server [--http PORT] [--smtp PORT] [--host ADDR] [--data DIR]\n"
    "       crumble-server reports [--data DIR]\n"
    "       crumble-server reports show N [--data DIR]\n"
    "store and mailbox: --database postgresql://USER@HOST:PORT/DB (several servers share it;\n"
    "       default: crumble.db in the data folder), --reports-max-mib N (all reports together,\n"
    "       default 200), --smtp-per-client N (mail connections per client address, default 4)\n";

struct TOptions {
    int HttpPort = 8080;
    int SmtpPort = 2525;
    std::string Host = "0.0.0.0";
    std::string Data = "server-data";
    std::vector<std::string> Words; // the command and its arguments

    // The store and the mailbox.
    std::string Database; // a PostgreSQL address; empty: the SQLite file in the data folder
    uint64_t ReportsMiB = DefaultReportsMiB;
    size_t SmtpPerClient = TSmtpOptions().MaxConnectionsPerAddress;
};

int ParsePort(const std::string& text) {
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || port < 0 || port > 65535)
        throw std::invalid_argument("not a port: " + text);
    return static_cast<int>(port);
}

size_t ParseCount(const std::string& text) {
    char* end = nullptr;
    const unsigned long long count = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || count == 0 || count > (1u << 30))
        throw std::invalid_argument("not a count: " + text);
    return static_cast<size_t>(count);
}

// The options of the store and the mailbox; false for any other option.
bool StoreOption(const std::string& arg, const std::function<std::string()>& value,
                 TOptions& options) {
    if (arg == "--database") {
        options.Database = value();
        if (!IsPostgresAddress(options.Database))
            throw std::invalid_argument("--database takes a postgresql:// address");
    } else if (arg == "--reports-max-mib") {
        options.ReportsMiB = ParseCount(value());
    } else if (arg == "--smtp-per-client") {
        options.SmtpPerClient = ParseCount(value());
    } else {
        return false;
    }
    return true;
}

// Where the lists and reports are kept.
std::string DatabaseOf(const TOptions& options, const TDataFolder& data) {
    return options.Database.empty() ? data.DatabaseFile() : options.Database;
}

TOptions ParseArguments(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--http")
            options.HttpPort = ParsePort(value());
        else if (arg == "--smtp")
            options.SmtpPort = ParsePort(value());
        else if (arg == "--host")
            options.Host = value();
        else if (arg == "--data")
            options.Data = value();
        else if (StoreOption(arg, value, options))
            continue;
        else if (arg.starts_with("--"))
            throw std::invalid_argument("unknown option " + arg);
        else
            options.Words.push_back(arg);
    }
    return options;
}

int ListReports(const TOptions& options) {
    const TDataFolder data(options.Data);
    TReportStore reports(DatabaseOf(options, data), data.ReportsFolder(),
                         options.ReportsMiB * 1024 * 1024);
    const std::vector<TReport> list = reports.List();
    if (list.empty()) std::cout << "no reports\n";
    for (const TReport& report : list) {
        std::cout << report.Number << "  " << FormatTime(report.Received) << "  "
                  << PrintableText(report.Sender.empty() ? "<" + report.EnvelopeFrom + ">"
                                                         : report.Sender)
                  << "  " << PrintableText(report.Subject);
        if (report.HasAttachment)
            std::cout << "  [" << PrintableText(report.AttachmentName) << ", "
                      << report.AttachmentSize << " bytes]";
        std::cout << "\n";
    }
    return 0;
}

int ShowReport(const TOptions& options, const std::string& numberText) {
    char* end = nullptr;
    const long long number = std::strtoll(numberText.c_str(), &end, 10);
    const TDataFolder data(options.Data);
    TReportStore reports(DatabaseOf(options, data), data.ReportsFolder(),
                         options.ReportsMiB * 1024 * 1024);
    const auto report = *end == '\0' ? reports.Get(number) : std::nullopt;
    if (!report) {
        std::cerr << "crumble-server: no report " << PrintableText(numberText) << "\n";
        return 1;
    }
    std::cout << "Report:   " << report->Number << "\n"
              << "Received: " << FormatTime(report->Received) << "\n"
              << "From:     " << PrintableText(report->Sender) << "\n"
              << "Envelope: <" << PrintableText(report->EnvelopeFrom) << ">\n"
              << "Subject:  " << PrintableText(report->Subject) << "\n\n"
              << PrintableLines(report->Text) << "\n";
    if (report->HasAttachment) {
        std::cout << "--- Attachment: " << PrintableText(report->AttachmentName) << " ("
                  << report->Attachment.size() << " bytes) ---\n"
                  << PrintableLines(report->Attachment);
        if (!report->Attachment.empty() && report->Attachment.back() != '\n') std::cout << "\n";
        std::cout << "--- End of attachment ---\n";
    } else {
        std::cout << "(no attachment)\n";
    }
    return 0;
}

int Serve(const TOptions& options) {
    // Blocked before any thread starts, so that only the wait below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const TDataFolder data(options.Data);
    TScoreStore scores(DatabaseOf(options, data));
    TReportStore reports(DatabaseOf(options, data), data.ReportsFolder(),
                         options.ReportsMiB * 1024 * 1024,
                         [](const std::string& line) { std::cout << line << std::endl; });

    TWebServer web(data, scores, TServerClock::now, true);
    const int httpPort = web.Start(options.Host, options.HttpPort);

    TSmtpOptions smtpOptions;
    smtpOptions.MaxConnectionsPerAddress = options.SmtpPerClient;
    TSmtpReceiver smtp(
        [&reports](const TSmtpEnvelope& envelope) {
            const long long number = reports.Add(envelope, std::time(nullptr));
            std::cout << "report " << number << " received from <"
                      << PrintableText(envelope.MailFrom) << ">" << std::endl;
            return number;
        },
        smtpOptions);
    const int smtpPort = smtp.Start(options.Host, options.SmtpPort);

    const std::string base = "http://localhost:" + std::to_string(httpPort) + "/";
    std::cout << "crumble-server: web server " << base << " (start page " << base
              << "korvaldinternal)\n"
              << "crumble-server: mail server localhost:" << smtpPort << "\n"
              << "crumble-server: data in " << std::filesystem::absolute(data.Root()).string()
              << "\n"
              << "crumble-server: lists in " << scores.Describe() << "\n"
              << "crumble-server: Ctrl+C stops" << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    std::cout << "crumble-server: stopping" << std::endl;
    smtp.Stop();
    web.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::cout << Usage;
                return 0;
            }
        }
        const TOptions options = ParseArguments(argc, argv);
        const std::vector<std::string>& words = options.Words;
        if (words.empty()) return Serve(options);
        if (words[0] == "reports" && words.size() == 1) return ListReports(options);
        if (words[0] == "reports" && words.size() == 3 && words[1] == "show")
            return ShowReport(options, words[2]);
        std::cerr << Usage;
        return 2;
    } catch (const std::invalid_argument& error) {
        std::cerr << "crumble-server: " << error.what() << "\n" << Usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "crumble-server: " << error.what() << "\n";
        return 1;
    }
}
