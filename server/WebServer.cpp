#include "server/WebServer.h"

#include "online/PublishRecord.h"
#include "server/Pages.h"
#include "server/Text.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr const char* HtmlType = "text/html; charset=utf-8";
constexpr const char* TextType = "text/plain; charset=utf-8";
constexpr size_t ListLength = 100;
// A form post of "cs" may carry a little more than the record itself.
constexpr size_t MaxBody = MaxCsLength + 1024;
// How often the store is asked whether another process changed the lists.
constexpr int64_t StoreCheckMs = 200;
// What a log line shows of a path at most.
constexpr size_t MaxLoggedPath = 200;
// The store writes one group of publications at a time; a second thread reads the next
// group meanwhile.
constexpr int PublisherThreads = 2;

using TResponse = std::shared_ptr<MHD_Response>;

TResponse MakeResponse(std::string_view body, const char* type, bool noStore = true) {
    MHD_Response* made = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!made) throw std::runtime_error("HTTP: no memory for an answer");
    TResponse response(made, MHD_destroy_response);
    MHD_add_response_header(made, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (noStore) MHD_add_response_header(made, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return response;
}

TResponse ErrorText(int status) {
    return MakeResponse("Fehler " + std::to_string(status) + "\r\n", TextType);
}

std::string FirstLine(std::string_view text) {
    return Trim(text.substr(0, text.find_first_of("\r\n")));
}

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (!address) return text;
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

bool IsAddress(const std::string& text) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, text.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

std::string Header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

// The paths stay as the client sent them: routes compare raw paths, and only the page name of
// errors/ is decoded, where the folder's own check sees every byte.
size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

MHD_Result OnRequest(void* server, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* upload, size_t* uploadSize, void** state) {
    return static_cast<TWebServer*>(server)->Handle(connection, url, method, upload, uploadSize,
                                                    state)
               ? MHD_YES
               : MHD_NO;
}

void OnCompleted(void* server, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    static_cast<TWebServer*>(server)->Completed(state);
}

// Small answers go out at once: without this a kept-alive connection waits for the peer's
// delayed acknowledgement before each answer's last piece.
void OnConnection(void*, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
    if (code != MHD_CONNECTION_NOTIFY_STARTED) return;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return;
    const int on = 1;
    setsockopt(info->connect_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

struct TWebServer::TRequest {
    std::string Method;
    std::string Path;
    std::string Client;
    std::string Body;
    std::optional<TScoreAnswer> Score; // set by a publisher thread while the request waits
    bool Answered = false;
};

// A publication waiting for its publisher; its request is suspended meanwhile.
struct TWebServer::TPublishJob {
    MHD_Connection* Connection;
    TRequest* Request;
    std::optional<std::string> Raw; // the raw value of "cs"
};

// The threads that store publications, so that the event loops never wait for the database.
// A thread takes every publication that waits and stores them together: while one thread
// writes its group, the other reads the next.
class TWebServer::TPublishers {
  public:
    using TWork = std::function<void(std::vector<TPublishJob>&)>;

    TPublishers(int threads, TWork work) : FWork(std::move(work)) {
        for (int i = 0; i < threads; ++i)
            FThreads.emplace_back([this] { Run(); });
    }
    ~TPublishers() { Finish(); }
    TPublishers(const TPublishers&) = delete;
    TPublishers& operator=(const TPublishers&) = delete;

    // False once Finish began: the caller then does the job itself.
    bool Add(TPublishJob job) {
        {
            const std::lock_guard guard(FLock);
            if (FFinishing) return false;
            FJobs.push_back(std::move(job));
        }
        FWake.notify_one();
        return true;
    }

    // Does the jobs still waiting, then ends the threads.
    void Finish() {
        {
            const std::lock_guard guard(FLock);
            FFinishing = true;
        }
        FWake.notify_all();
        for (std::thread& thread : FThreads)
            if (thread.joinable()) thread.join();
    }

  private:
    void Run() {
        for (;;) {
            std::vector<TPublishJob> jobs;
            {
                std::unique_lock lock(FLock);
                FWake.wait(lock, [this] { return FFinishing || !FJobs.empty(); });
                if (FJobs.empty()) return;
                jobs.swap(FJobs);
            }
            FWork(jobs);
        }
    }

    TWork FWork;
    std::mutex FLock;
    std::condition_variable FWake;
    std::vector<TPublishJob> FJobs;
    bool FFinishing = false;
    std::vector<std::thread> FThreads;
};

struct TWebServer::TPage {
    uint64_t Local = 0;
    uint64_t Store = 0;
    std::string Week;
    std::string News;
    TResponse Response;
};

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

TWebServer::TWebServer(const TDataFolder& data, TScoreStore& scores, TNow now,
                       TWebServerOptions options)
    : FData(data), FScores(scores), FNow(std::move(now)), FOptions(std::move(options)),
      FPublishLimit(FOptions.PublicationsPerMinute), FDaemon(nullptr, MHD_stop_daemon),
      FBrandPage(MakeResponse(BrandPage(), HtmlType)),
      FHelpPage(MakeResponse(HelpPage(), HtmlType)),
      FNotFoundPage(MakeResponse(NotFoundPage(), HtmlType)),
      FNewsFile((data.Root() / "news.txt").string()) {}

TWebServer::~TWebServer() {
    Stop();
}

std::optional<TScoreAnswer> TWebServer::ReadScore(std::optional<std::string_view> rawCs,
                                                  TPublishRecord& record) {
    if (!rawCs) return TScoreAnswer{400, "Fehler=Kein Datensatz\r\n"};
    if (rawCs->size() > MaxCsLength) return TScoreAnswer{413, "Fehler=Datensatz zu lang\r\n"};
    const std::optional<std::string> decoded = DecodeRecord(*rawCs);
    std::optional<TPublishRecord> read =
        decoded ? ParseRecord(*decoded) : std::optional<TPublishRecord>();
    if (!read) return TScoreAnswer{200, "Fehler=Unlesbarer Datensatz\r\n"};
    switch (CheckGameRecord(*read)) {
    case TRecordVerdict::NotARecord:
        return TScoreAnswer{200, "Fehler=Spielverlauf nicht lesbar\r\n"};
    case TRecordVerdict::ScoreTooHigh:
        return TScoreAnswer{200, "Fehler=Punktestand passt nicht zum Spielverlauf\r\n"};
    case TRecordVerdict::Unverified:
    case TRecordVerdict::Verified:
        break;
    }
    record = std::move(*read);
    return std::nullopt;
}

TScoreAnswer TWebServer::AnswerScore(std::optional<std::string_view> rawCs) {
    TPublishRecord record;
    if (const std::optional<TScoreAnswer> refused = ReadScore(rawCs, record)) return *refused;
    const TPublishReply reply = FScores.Submit(record, FNow());
    ++FLocalChanges;
    return {200, BuildReply(reply)};
}

void TWebServer::Publish(std::vector<TPublishJob>& jobs) {
    const auto failed = [](const std::exception& error) {
        std::cerr << "crumble-server: publication failed: " << PrintableText(error.what())
                  << std::endl;
        return TScoreAnswer{MHD_HTTP_INTERNAL_SERVER_ERROR, "Fehler=Interner Fehler\r\n"};
    };
    std::vector<TScoreStore::TPublication> group;
    std::vector<TRequest*> waiting; // the request of each publication of the group
    const auto now = FNow();
    for (TPublishJob& job : jobs) {
        if (FAbandonPublications) {
            job.Request->Score = TScoreAnswer{MHD_HTTP_SERVICE_UNAVAILABLE,
                                              "Fehler=Der Server wird gerade beendet\r\n"};
            continue;
        }
        TScoreStore::TPublication publication{{}, now, {}, {}};
        try {
            job.Request->Score = ReadScore(job.Raw, publication.Record);
        } catch (const std::exception& error) {
            job.Request->Score = failed(error);
        }
        if (job.Request->Score) continue;
        group.push_back(std::move(publication));
        waiting.push_back(job.Request);
    }
    try {
        FScores.Submit(group);
    } catch (const std::exception& error) {
        for (TScoreStore::TPublication& publication : group)
            publication.Error = std::make_exception_ptr(error);
    }
    for (size_t i = 0; i < group.size(); ++i) {
        try {
            if (group[i].Error) std::rethrow_exception(group[i].Error);
            waiting[i]->Score = TScoreAnswer{200, BuildReply(group[i].Reply)};
        } catch (const std::exception& error) {
            waiting[i]->Score = failed(error);
        }
    }
    if (!group.empty()) ++FLocalChanges;
    for (TPublishJob& job : jobs)
        MHD_resume_connection(job.Connection);
}

uint64_t TWebServer::StoreChangeCount() {
    // The store's newest publication, which also sees what other server processes on the same
    // database published.
    return static_cast<uint64_t>(FScores.ListsVersion());
}

bool TWebServer::StoreAnswers() {
    try {
        return FScores.Ping();
    } catch (const std::exception&) {
        return false;
    }
}

uint64_t TWebServer::ListsVersion() {
    const int64_t now = SteadyMs();
    int64_t checked = FStoreCheckedAt.load();
    if (now - checked >= StoreCheckMs && FStoreCheckedAt.compare_exchange_strong(checked, now))
        FStoreChanges = StoreChangeCount();
    return FLocalChanges.load();
}

std::string TWebServer::ServerAddress(std::string_view hostHeader) const {
    // The Host header comes from the client: only a plain host and port is taken over.
    const bool plain = !hostHeader.empty() && hostHeader.size() < 256 &&
                       hostHeader.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]") ==
                           std::string_view::npos;
    return "http://" + (plain ? std::string(hostHeader) : "localhost:" + std::to_string(FPort));
}

std::string TWebServer::ClientAddress(MHD_Connection* connection) const {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const std::string peer = AddressText(info ? info->client_addr : nullptr);
    if (FOptions.TrustedProxy.empty() || peer != FOptions.TrustedProxy) return peer;
    // The proxy appends the address it saw; anything before that the client may have made up.
    const std::string forwarded = Header(connection, "X-Forwarded-For");
    const std::string last = Trim(forwarded.substr(forwarded.rfind(',') + 1));
    return IsAddress(last) ? last : peer;
}

TWebServer::TResponse TWebServer::Cached(std::shared_ptr<const TPage>& slot, std::mutex& renderLock,
                                         TPage key, const std::function<std::string()>& render) {
    const auto current = [&key](const std::shared_ptr<const TPage>& page) {
        return page && page->Local == key.Local && page->Store == key.Store &&
               page->Week == key.Week && page->News == key.News;
    };
    {
        const std::lock_guard guard(FPageLock);
        if (current(slot)) return slot->Response;
    }
    // One renders; meanwhile the others serve the page before, which keeps every event loop
    // but the renderer's going however slow the store is. Only the first page waits.
    std::unique_lock rendering(renderLock, std::try_to_lock);
    if (!rendering.owns_lock()) {
        {
            const std::lock_guard guard(FPageLock);
            if (slot) return slot->Response;
        }
        rendering.lock();
    }
    {
        const std::lock_guard guard(FPageLock);
        if (current(slot)) return slot->Response;
    }
    key.Response = MakeResponse(render(), HtmlType);
    auto page = std::make_shared<const TPage>(std::move(key));
    const std::lock_guard guard(FPageLock);
    slot = page;
    return page->Response;
}

TWebServer::TPage TWebServer::ListsKey(TServerClock::time_point now) {
    TPage key;
    key.Local = ListsVersion();
    key.Store = FStoreChanges.load();
    key.Week = IsoWeekKey(now);
    return key;
}

TWebServer::TResponse TWebServer::StartPageResponse() {
    const auto now = FNow();
    TPage key = ListsKey(now);
    // The news file is the operator's: a changed file shows at once.
    struct stat status {};
    if (stat(FNewsFile.c_str(), &status) == 0)
        key.News = std::to_string(status.st_mtim.tv_sec) + "." +
                   std::to_string(status.st_mtim.tv_nsec) + "/" + std::to_string(status.st_size);
    const std::string week = key.Week;
    return Cached(FStartPage, FStartRender, std::move(key),
                  [&] { return StartPage(FScores.Week(now, 5), FData.News(), week); });
}

TWebServer::TResponse TWebServer::HighscorePageResponse() {
    const auto now = FNow();
    TPage key = ListsKey(now);
    const std::string week = key.Week;
    return Cached(FHighscorePage, FHighscoreRender, std::move(key), [&] {
        return HighscorePage(FScores.AllTime(ListLength), FScores.Week(now, ListLength), week);
    });
}

TWebServer::TResponse TWebServer::Health(int& status) {
    if (StoreAnswers()) return MakeResponse("OK\r\n", TextType);
    status = MHD_HTTP_SERVICE_UNAVAILABLE;
    return MakeResponse("Fehler=Datenbank antwortet nicht\r\n", TextType);
}

TWebServer::TResponse TWebServer::ScoreScript(MHD_Connection* connection, TRequest& request,
                                              int& status) {
    if (request.Score) {
        status = request.Score->Status;
        return MakeResponse(request.Score->Text, TextType);
    }
    std::optional<std::string> raw;
    const char* value = nullptr;
    size_t size = 0;
    if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, "cs", 2, &value, &size) ==
        MHD_YES)
        raw = value ? std::string(value, size) : std::string();
    if (!raw && request.Method == MHD_HTTP_METHOD_POST) {
        if (const auto posted = RawQueryValue(request.Body, "cs")) raw = std::string(*posted);
    }
    // The request waits, without holding its event loop, until a publisher has answered it.
    MHD_suspend_connection(connection);
    TPublishJob job{connection, &request, std::move(raw)};
    if (!FPublishers->Add(job)) {
        std::vector<TPublishJob> alone{std::move(job)};
        Publish(alone);
    }
    return nullptr;
}

TWebServer::TResponse TWebServer::Route(MHD_Connection* connection, TRequest& request,
                                        int& status) {
    const std::string_view path = request.Path;
    if (path == "/score.php") {
        if (request.Method == MHD_HTTP_METHOD_GET || request.Method == MHD_HTTP_METHOD_POST)
            return ScoreScript(connection, request, status);
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        return ErrorText(status);
    }
    if (request.Method != MHD_HTTP_METHOD_GET && request.Method != MHD_HTTP_METHOD_HEAD) {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        return ErrorText(status);
    }
    if (path == "/korvaldinternal" || path == "/korvaldinternal/" ||
        path == "/korvaldinternal/index.html")
        return StartPageResponse();
    if (path == "/korvaldinternal/highscore.html") return HighscorePageResponse();
    if (path == "/health") return Health(status);
    if (path == "/" || path == "/korvald" || path == "/korvald/" || path == "/korvald/index.html")
        return FBrandPage;
    if (path == "/crumblerush/hilfe" || path == "/crumblerush/hilfe/" ||
        path == "/crumblerush/hilfe/index.html")
        return FHelpPage;
    if (path == "/crumblerush/download.html")
        return MakeResponse(DownloadPage(FirstLine(FData.Read("version.txt").value_or(""))),
                            HtmlType);
    if (path == "/korvaldinternal/errors.txt")
        return MakeResponse(FData.Read("errors.txt").value_or(""), TextType);
    if (path == "/korvaldinternal/version.txt") {
        std::string text = FData.Read("version.txt").value_or("");
        const std::string address = ServerAddress(Header(connection, "Host"));
        for (size_t at = text.find("{server}"); at != std::string::npos;
             at = text.find("{server}", at + address.size()))
            text.replace(at, 8, address);
        return MakeResponse(text, TextType);
    }
    constexpr std::string_view errors = "/korvaldinternal/errors/";
    if (path.starts_with(errors) && path.size() > errors.size()) {
        const std::optional<std::string> name = PercentDecode(path.substr(errors.size()));
        const auto content = name && name->find('/') == std::string::npos
                                 ? FData.Read("errors/" + *name)
                                 : std::nullopt;
        if (content) return MakeResponse(*content, ContentTypeFor(*name).c_str(), false);
    }
    status = MHD_HTTP_NOT_FOUND;
    return FNotFoundPage;
}

bool TWebServer::Handle(MHD_Connection* connection, std::string_view url, std::string_view method,
                        const char* upload, size_t* uploadSize, void** state) {
    const bool first = *state == nullptr;
    if (first) {
        auto made = std::make_unique<TRequest>();
        made->Method = method;
        made->Path = url;
        made->Client = ClientAddress(connection);
        *state = made.release(); // owned through the state until Completed
        ++FRunning;
    }
    TRequest& request = *static_cast<TRequest*>(*state);
    if (request.Answered) {
        *uploadSize = 0; // what follows an early answer is dropped; the connection then closes
        return true;
    }

    int status = MHD_HTTP_OK;
    TResponse response;
    if (first && request.Path == "/score.php" && !FPublishLimit.Allow(request.Client, FNow())) {
        status = MHD_HTTP_TOO_MANY_REQUESTS;
        response = MakeResponse(TooManyPublicationsText, TextType);
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_RETRY_AFTER, "60");
    } else if (first) {
        // Answering before the request is read whole would close a kept-alive connection;
        // only a body announced too large is refused at once.
        const std::string length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length.size() < 10 && length.find_first_not_of("0123456789") == std::string::npos &&
            (length.empty() || std::stoul(length) <= MaxBody))
            return true;
        status = MHD_HTTP_CONTENT_TOO_LARGE;
    } else if (*uploadSize > 0) {
        if (request.Body.size() + *uploadSize <= MaxBody) {
            request.Body.append(upload, *uploadSize);
            *uploadSize = 0;
            return true;
        }
        status = MHD_HTTP_CONTENT_TOO_LARGE;
    }
    if (status == MHD_HTTP_CONTENT_TOO_LARGE) {
        response = MakeResponse("Fehler=Datensatz zu lang\r\n", TextType);
        *uploadSize = 0;
    }

    if (!response) {
        try {
            response = Route(connection, request, status);
            if (!response) return true; // suspended until a publisher answers
        } catch (const std::exception& error) {
            std::cerr << "crumble-server: request failed: " << PrintableText(error.what())
                      << std::endl;
            status = MHD_HTTP_INTERNAL_SERVER_ERROR;
            response = MakeResponse("Fehler=Interner Fehler\r\n", TextType);
        }
    }
    request.Answered = true;
    if (FOptions.Log) {
        const std::string_view path = std::string_view(request.Path).substr(0, MaxLoggedPath);
        FOptions.Log(PrintableText(request.Client) + " " + PrintableText(request.Method) + " " +
                     PrintableText(path) + (request.Path.size() > MaxLoggedPath ? "..." : "") +
                     " " + std::to_string(status));
    }
    return MHD_queue_response(connection, static_cast<unsigned>(status), response.get()) == MHD_YES;
}

void TWebServer::Completed(void** state) {
    if (!*state) return;
    const std::unique_ptr<TRequest> request(static_cast<TRequest*>(*state));
    *state = nullptr;
    --FRunning;
}

int TWebServer::Start(const std::string& address, int port) {
    if (FDaemon) throw std::runtime_error("HTTP: already running");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string host = address;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("HTTP: not an address to listen on: " + address);
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, freeaddrinfo);

    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("HTTP: no socket: " + std::string(strerror(errno)));
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 1024) != 0) {
        const std::string reason = strerror(errno);
        close(fd);
        throw std::runtime_error("HTTP: cannot listen on " + address + " port " +
                                 std::to_string(port) + ": " + reason);
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    FPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    const unsigned workers = FOptions.Workers > 0
                                 ? static_cast<unsigned>(FOptions.Workers)
                                 : std::max(1u, std::thread::hardware_concurrency());
    FAbandonPublications = false;
    FPublishers = std::make_unique<TPublishers>(
        PublisherThreads, [this](std::vector<TPublishJob>& jobs) { Publish(jobs); });
    unsigned flags =
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_USE_TURBO | MHD_ALLOW_SUSPEND_RESUME;
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    FDaemon.reset(MHD_start_daemon(
        flags, 0, nullptr, nullptr, OnRequest, this, MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_THREAD_POOL_SIZE, workers > 1 ? workers : 0u, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(FOptions.ConnectionLimit), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(FOptions.ConnectionsPerAddress), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(FOptions.IdleTimeoutSeconds), MHD_OPTION_NOTIFY_COMPLETED,
        OnCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, OnConnection, nullptr,
        MHD_OPTION_UNESCAPE_CALLBACK, KeepEscapes, nullptr, MHD_OPTION_END));
    if (!FDaemon) {
        close(fd);
        throw std::runtime_error("HTTP: the server did not start on " + address);
    }
    return FPort;
}

void TWebServer::Stop() {
    if (!FDaemon) return;
    // No new connections from here on; the ones open may still finish what they asked.
    const int listening = MHD_quiesce_daemon(FDaemon.get());
    if (listening >= 0) close(listening);
    const auto deadline = std::chrono::steady_clock::now() + FOptions.StopGrace;
    const auto waitForRequests = [this](std::chrono::steady_clock::time_point until) {
        while (FRunning.load() > 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    waitForRequests(deadline);
    // The publication being stored is finished; those still waiting are refused, and all
    // are answered before the loops end.
    FAbandonPublications = true;
    FPublishers->Finish();
    waitForRequests(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    FDaemon.reset();
}
