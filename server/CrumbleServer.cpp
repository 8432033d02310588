// crumble-server: the game's web pages, the score script and the error-report mailbox.
//   crumble-server [--http PORT] [--smtp PORT] [--listen ADDR] [--data DIR] [web options]
//                  [--database postgresql://...] [--reports-max-mib N] [--smtp-per-client N]
//   crumble-server reports [--data DIR] [--database postgresql://...]
//   crumble-server reports show N [--data DIR] [--database postgresql://...]
#include "platform/crashlog.h"
#include "server/DataFolder.h"
#include "server/ReportStore.h"
#include "server/ScoreStore.h"
#include "server/SmtpReceiver.h"
#include "server/Text.h"
#include "server/WebServer.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: crumble-server [--http PORT] [--smtp PORT] [--listen ADDR] [--data DIR]\n"
    "                      [--workers N] [--max-connections N] [--connections-per-address N]\n"
    "                      [--publish-limit N] [--timeout SECONDS] [--trusted-proxy ADDR]\n"
    "       crumble-server reports [--data DIR]\n"
    "       crumble-server reports show N [--data DIR]\n"
    "       crumble-server --version\n"
    "--listen takes 127.0.0.1 unless told otherwise; 0.0.0.0 serves every network.\n"
    "store and mailbox: --database postgresql://USER@HOST:PORT/DB (several servers share it;\n"
    "       default: crumble.db in the data folder), --reports-max-mib N (all reports together,\n"
    "       default 200), --smtp-per-client N (mail connections per client address, default 4)\n";

struct TOptions {
    int HttpPort = 8080;
    int SmtpPort = 2525;
    std::string Listen = "127.0.0.1";
    std::string Data = "server-data";
    TWebServerOptions Web;
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

int ParseCount(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const long count = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || count < 0 || count > 1000000)
        throw std::invalid_argument(option + " takes a number from 0 to 1000000, not " + text);
    return static_cast<int>(count);
}

// The web side's options; true when arg was one of them.
bool ParseWebOption(const std::string& arg, const std::function<std::string()>& value,
                    TOptions& options) {
    TWebServerOptions& web = options.Web;
    if (arg == "--listen" || arg == "--host")
        options.Listen = value();
    else if (arg == "--workers")
        web.Workers = ParseCount(arg, value());
    else if (arg == "--max-connections")
        web.ConnectionLimit = ParseCount(arg, value());
    else if (arg == "--connections-per-address")
        web.ConnectionsPerAddress = ParseCount(arg, value());
    else if (arg == "--publish-limit")
        web.PublicationsPerMinute = static_cast<size_t>(ParseCount(arg, value()));
    else if (arg == "--timeout")
        web.IdleTimeoutSeconds = std::max(1, ParseCount(arg, value()));
    else if (arg == "--trusted-proxy")
        web.TrustedProxy = value();
    else
        return false;
    return true;
}

size_t ParseLimit(const std::string& text) {
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
        options.ReportsMiB = ParseLimit(value());
    } else if (arg == "--smtp-per-client") {
        options.SmtpPerClient = ParseLimit(value());
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
        else if (ParseWebOption(arg, value, options))
            continue;
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

// Every open connection takes a file descriptor; the soft limit is often only 1024.
void RaiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// One request a line; the lines gather in stdout's buffer, which the main thread empties
// several times a second, so that a busy server does not write once per request.
void LogLine(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
}

bool ListensOnLoopback(const std::string& address) {
    return address == "127.0.0.1" || address == "::1" || address == "[::1]" ||
           address == "localhost" || address == "0.0.0.0" || address == "::" || address == "[::]";
}

int Serve(TOptions options) {
    // Blocked before any thread starts, so that only the wait below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    RaiseFileLimit();

    const TDataFolder data(options.Data);
    TScoreStore scores(DatabaseOf(options, data));
    TReportStore reports(DatabaseOf(options, data), data.ReportsFolder(),
                         options.ReportsMiB * 1024 * 1024,
                         [](const std::string& line) { std::cout << line << std::endl; });

    options.Web.Log = LogLine;
    TWebServer web(data, scores, TServerClock::now, options.Web);
    const int httpPort = web.Start(options.Listen, options.HttpPort);

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
    const int smtpPort = smtp.Start(options.Listen, options.SmtpPort);

    const std::string host = ListensOnLoopback(options.Listen) ? "localhost" : options.Listen;
    const std::string base = "http://" + host + ":" + std::to_string(httpPort) + "/";
    std::cout << "crumble-server: web server " << base << " (start page " << base
              << "korvaldinternal)\n"
              << "crumble-server: mail server " << host << ":" << smtpPort << "\n"
              << "crumble-server: data in " << std::filesystem::absolute(data.Root()).string()
              << "\n"
              << (options.Listen == "0.0.0.0" || options.Listen == "::" || options.Listen == "[::]"
                      ? "crumble-server: listening on every network address\n"
                      : "")
              << "crumble-server: lists in " << scores.Describe() << "\n"
              << "crumble-server: Ctrl+C stops" << std::endl;

    const timespec flushEvery{0, 250'000'000};
    while (sigtimedwait(&signals, nullptr, &flushEvery) < 0)
        std::fflush(stdout);
    // Running requests finish; then the connections close.
    std::cout << "crumble-server: stopping" << std::endl;
    web.Stop();
    smtp.Stop();
    std::cout << "crumble-server: stopped" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    InstallCrashHandler();
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::cout << Usage;
                return 0;
            }
            if (arg == "--version") {
                std::cout << "crumble-server " << CRUMBLE_VERSION << "\n";
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
