// crumble-server: the game's web pages, the score script and the error-report mailbox.
//   crumble-server [--http PORT] [--smtp PORT] [--host ADDR] [--data DIR]
//   crumble-server reports [--data DIR]
//   crumble-server reports show N [--data DIR]
#include "platform/crashlog.h"
#include "server/DataFolder.h"
#include "server/ReportStore.h"
#include "server/ScoreStore.h"
#include "server/SmtpReceiver.h"
#include "server/WebServer.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: crumble-server [--http PORT] [--smtp PORT] [--host ADDR] [--data DIR]\n"
    "       crumble-server reports [--data DIR]\n"
    "       crumble-server reports show N [--data DIR]\n";

struct TOptions {
    int HttpPort = 8080;
    int SmtpPort = 2525;
    std::string Host = "0.0.0.0";
    std::string Data = "server-data";
    std::vector<std::string> Words; // the command and its arguments
};

int ParsePort(const std::string& text) {
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || port < 0 || port > 65535)
        throw std::invalid_argument("not a port: " + text);
    return static_cast<int>(port);
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
        else if (arg.starts_with("--"))
            throw std::invalid_argument("unknown option " + arg);
        else
            options.Words.push_back(arg);
    }
    return options;
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return text;
}

int ListReports(const TDataFolder& data) {
    TReportStore reports(data.DatabaseFile(), data.ReportsFolder());
    const std::vector<TReport> list = reports.List();
    if (list.empty()) std::cout << "no reports\n";
    for (const TReport& report : list) {
        std::cout << report.Number << "  " << FormatTime(report.Received) << "  "
                  << OneLine(report.Sender.empty() ? "<" + report.EnvelopeFrom + ">"
                                                   : report.Sender)
                  << "  " << OneLine(report.Subject);
        if (report.HasAttachment)
            std::cout << "  [" << OneLine(report.AttachmentName) << ", " << report.AttachmentSize
                      << " bytes]";
        std::cout << "\n";
    }
    return 0;
}

int ShowReport(const TDataFolder& data, const std::string& numberText) {
    char* end = nullptr;
    const long long number = std::strtoll(numberText.c_str(), &end, 10);
    TReportStore reports(data.DatabaseFile(), data.ReportsFolder());
    const auto report = *end == '\0' ? reports.Get(number) : std::nullopt;
    if (!report) {
        std::cerr << "crumble-server: no report " << numberText << "\n";
        return 1;
    }
    std::cout << "Report:   " << report->Number << "\n"
              << "Received: " << FormatTime(report->Received) << "\n"
              << "From:     " << OneLine(report->Sender) << "\n"
              << "Envelope: <" << OneLine(report->EnvelopeFrom) << ">\n"
              << "Subject:  " << OneLine(report->Subject) << "\n\n"
              << report->Text << "\n";
    if (report->HasAttachment) {
        std::cout << "--- Attachment: " << OneLine(report->AttachmentName) << " ("
                  << report->Attachment.size() << " bytes) ---\n"
                  << report->Attachment;
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
    TScoreStore scores(data.DatabaseFile());
    TReportStore reports(data.DatabaseFile(), data.ReportsFolder());

    TWebServer web(data, scores, TServerClock::now, true);
    const int httpPort = web.Start(options.Host, options.HttpPort);

    TSmtpReceiver smtp([&reports](const TSmtpEnvelope& envelope) {
        const long long number = reports.Add(envelope, std::time(nullptr));
        std::cout << "report " << number << " received from <" << OneLine(envelope.MailFrom) << ">"
                  << std::endl;
        return number;
    });
    const int smtpPort = smtp.Start(options.Host, options.SmtpPort);

    const std::string base = "http://localhost:" + std::to_string(httpPort) + "/";
    std::cout << "crumble-server: web server " << base << " (start page " << base
              << "korvaldinternal)\n"
              << "crumble-server: mail server localhost:" << smtpPort << "\n"
              << "crumble-server: data in " << std::filesystem::absolute(data.Root()).string()
              << "\n"
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
    InstallCrashHandler();
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
        if (words[0] == "reports" && words.size() == 1)
            return ListReports(TDataFolder(options.Data));
        if (words[0] == "reports" && words.size() == 3 && words[1] == "show")
            return ShowReport(TDataFolder(options.Data), words[2]);
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
