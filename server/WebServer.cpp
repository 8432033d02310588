#include "server/WebServer.h"

#include "online/PublishRecord.h"
#include "server/Pages.h"
#include "server/Text.h"

#include <httplib.h>

#include <iostream>
#include <mutex>
#include <stdexcept>

namespace {

constexpr const char* HtmlType = "text/html; charset=utf-8";
constexpr const char* TextType = "text/plain; charset=utf-8";
constexpr size_t ListLength = 100;

void SendPage(httplib::Response& response, const std::string& html) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(html, HtmlType);
}

std::string FirstLine(std::string_view text) {
    return Trim(text.substr(0, text.find_first_of("\r\n")));
}

} // namespace

std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view key) {
    const size_t question = query.find('?');
    if (question != std::string_view::npos) query.remove_prefix(question + 1);
    const size_t hash = query.find('#');
    if (hash != std::string_view::npos) query = query.substr(0, hash);
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) == key)
            return equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

TWebServer::TWebServer(const TDataFolder& data, TScoreStore& scores, TNow now, bool logRequests)
    : FData(data), FScores(scores), FNow(std::move(now)), FLogRequests(logRequests),
      FServer(std::make_unique<httplib::Server>()) {
    AddRoutes();
}

TWebServer::~TWebServer() {
    Stop();
}

TScoreAnswer TWebServer::AnswerScore(std::optional<std::string_view> rawCs) {
    if (!rawCs) return {400, "Fehler=Kein Datensatz\r\n"};
    if (rawCs->size() > MaxCsLength) return {413, "Fehler=Datensatz zu lang\r\n"};
    const std::optional<std::string> decoded = DecodeRecord(*rawCs);
    const std::optional<TPublishRecord> record =
        decoded ? ParseRecord(*decoded) : std::optional<TPublishRecord>();
    if (!record) return {200, "Fehler=Unlesbarer Datensatz\r\n"};
    return {200, BuildReply(FScores.Submit(*record, FNow()))};
}

std::string TWebServer::ServerAddress(std::string_view hostHeader) const {
    // The Host header comes from the client: only a plain host and port is taken over.
    const bool plain = !hostHeader.empty() && hostHeader.size() < 256 &&
                       hostHeader.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]") ==
                           std::string_view::npos;
    return "http://" + (plain ? std::string(hostHeader) : "localhost:" + std::to_string(FPort));
}

void TWebServer::AddRoutes() {
    httplib::Server& server = *FServer;
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);
    server.set_keep_alive_timeout(5);
    // A form post of "cs" may carry a little more than the record itself.
    server.set_payload_max_length(MaxCsLength + 1024);

    const auto brand = [](const httplib::Request&, httplib::Response& response) {
        SendPage(response, BrandPage());
    };
    server.Get("/", brand);
    server.Get("/korvald/?", brand);
    server.Get("/korvald/index.html", brand);

    const auto start = [this](const httplib::Request&, httplib::Response& response) {
        const auto now = FNow();
        SendPage(response, StartPage(FScores.Week(now, 5), FData.News(), IsoWeekKey(now)));
    };
    server.Get("/korvaldinternal/?", start);
    server.Get("/korvaldinternal/index.html", start);
    server.Get("/korvaldinternal/highscore.html", [this](const httplib::Request&,
                                                         httplib::Response& response) {
        const auto now = FNow();
        SendPage(response, HighscorePage(FScores.AllTime(ListLength), FScores.Week(now, ListLength),
                                         IsoWeekKey(now)));
    });
    server.Get("/korvaldinternal/errors.txt",
               [this](const httplib::Request&, httplib::Response& response) {
                   response.set_header("Cache-Control", "no-store");
                   response.set_content(FData.Read("errors.txt").value_or(""), TextType);
               });
    server.Get("/korvaldinternal/version.txt",
               [this](const httplib::Request& request, httplib::Response& response) {
                   std::string text = FData.Read("version.txt").value_or("");
                   const std::string address = ServerAddress(request.get_header_value("Host"));
                   for (size_t at = text.find("{server}"); at != std::string::npos;
                        at = text.find("{server}", at + address.size()))
                       text.replace(at, 8, address);
                   response.set_header("Cache-Control", "no-store");
                   response.set_content(text, TextType);
               });
    server.Get(R"(/korvaldinternal/errors/([^/]+))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const std::string name = request.matches[1];
                   const auto content = FData.Read("errors/" + name);
                   if (!content) {
                       response.status = 404;
                       return;
                   }
                   response.set_content(*content, ContentTypeFor(name).c_str());
               });
    const auto help = [](const httplib::Request&, httplib::Response& response) {
        SendPage(response, HelpPage());
    };
    server.Get("/crumblerush/hilfe/?", help);
    server.Get("/crumblerush/hilfe/index.html", help);
    server.Get(
        "/crumblerush/download.html", [this](const httplib::Request&, httplib::Response& response) {
            SendPage(response, DownloadPage(FirstLine(FData.Read("version.txt").value_or(""))));
        });

    server.Get("/score.php", [this](const httplib::Request& request, httplib::Response& response) {
        const TScoreAnswer answer = AnswerScore(RawQueryValue(request.target, "cs"));
        response.status = answer.Status;
        response.set_header("Cache-Control", "no-store");
        response.set_content(answer.Text, TextType);
    });
    server.Post("/score.php", [this](const httplib::Request& request, httplib::Response& response) {
        auto raw = RawQueryValue(request.target, "cs");
        if (!raw) raw = RawQueryValue(request.body, "cs");
        const TScoreAnswer answer = AnswerScore(raw);
        response.status = answer.Status;
        response.set_content(answer.Text, TextType);
    });

    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.status == 404 && response.body.empty()) {
            response.set_content(NotFoundPage(), HtmlType);
        } else if (response.body.empty()) {
            response.set_content("Fehler " + std::to_string(response.status) + "\r\n", TextType);
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string message = "unknown";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                message = e.what();
            } catch (...) {
            }
            std::cerr << "crumble-server: request failed: " << message << "\n";
            response.status = 500;
            response.set_content("Fehler=Interner Fehler\r\n", TextType);
        });
    if (FLogRequests) {
        server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
            static std::mutex lock;
            const std::lock_guard guard(lock);
            std::cout << request.remote_addr << " " << request.method << " " << request.path << " "
                      << response.status << std::endl;
        });
    }
}

int TWebServer::Start(const std::string& host, int port) {
    if (port == 0) {
        FPort = FServer->bind_to_any_port(host);
        if (FPort < 0) throw std::runtime_error("HTTP: cannot bind " + host);
    } else {
        if (!FServer->bind_to_port(host, port))
            throw std::runtime_error("HTTP: cannot listen on port " + std::to_string(port));
        FPort = port;
    }
    FThread = std::thread([this] { FServer->listen_after_bind(); });
    // A stop that came before the loop runs would be lost, and the join would wait for ever.
    for (int wait = 0; wait < 5000 && !FServer->is_running(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return FPort;
}

void TWebServer::Stop() {
    if (!FThread.joinable()) return;
    FServer->stop();
    FThread.join();
}
