#pragma once
// The HTTP side of the server: the pages, the operator's files and the score script. Runs on
// libmicrohttpd's epoll loops, a few threads for any number of connections, so that idle or
// slow clients cost memory but no thread. The list pages are rendered once per change of the
// lists and then served from memory.
#include "server/DataFolder.h"
#include "server/PublishLimit.h"
#include "server/ScoreStore.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct MHD_Connection;
struct MHD_Daemon;
struct MHD_Response;

// The raw (still percent-encoded) value of key in a query text "a=1&cs=..."; also takes a
// whole request target "/score.php?cs=...".
std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view key);

// "Fehler=..." of the score script when an address sent too many publications in a minute.
constexpr const char* TooManyPublicationsText =
    "Fehler=Zu viele Veröffentlichungen in kurzer Zeit. Bitte versuchen Sie es in einer Minute "
    "noch einmal.\r\n";

struct TScoreAnswer {
    int Status = 200;
    std::string Text;
};

struct TWebServerOptions {
    int Workers = 0;                   // event loops; 0: one per processor
    int ConnectionLimit = 4000;        // open connections in all
    int ConnectionsPerAddress = 256;   // 0: no limit (behind a proxy all come from one address)
    int IdleTimeoutSeconds = 15;       // a connection silent this long is closed
    size_t PublicationsPerMinute = 60; // per client address; 0: no limit
    // Requests from this address carry the client's address in X-Forwarded-For (the last
    // entry), for the log and the publication limit; "" trusts no one.
    std::string TrustedProxy;
    // Receives one line per request, without line break, from several threads at once; empty:
    // no log.
    std::function<void(const std::string& line)> Log;
    // How long a stop waits for running requests to finish.
    std::chrono::milliseconds StopGrace{10000};
};

class TWebServer {
  public:
    using TNow = std::function<TServerClock::time_point()>;

    TWebServer(const TDataFolder& data, TScoreStore& scores, TNow now = TServerClock::now,
               TWebServerOptions options = {});
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // Listens on address ("127.0.0.1", "0.0.0.0", "::1", ...) and port (0: any free one) and
    // serves on threads of its own. Returns the port.
    int Start(const std::string& address, int port);
    // Takes no new connections, lets the running requests finish (at most the grace time),
    // then closes every connection.
    void Stop();

    // What score.php answers for the raw value of "cs" (nothing when the key is missing).
    TScoreAnswer AnswerScore(std::optional<std::string_view> rawCs);

    // Requests whose answer is not yet sent.
    int RunningRequests() const { return FRunning.load(); }

    // The libmicrohttpd callbacks, public only for them.
    struct TRequest;
    bool Handle(MHD_Connection* connection, std::string_view url, std::string_view method,
                const char* upload, size_t* uploadSize, void** state);
    void Completed(void** state);

  private:
    struct TPage;
    struct TPublishJob;
    class TPublishers;
    using TResponse = std::shared_ptr<MHD_Response>;

    TResponse Route(MHD_Connection* connection, TRequest& request, int& status);
    TResponse ScoreScript(MHD_Connection* connection, TRequest& request, int& status);
    // The answer that refuses the raw "cs" value; nothing when record now holds a publication
    // to store.
    std::optional<TScoreAnswer> ReadScore(std::optional<std::string_view> rawCs,
                                          TPublishRecord& record);
    // Stores the publications of the jobs in one group, answers each and resumes its request.
    void Publish(std::vector<TPublishJob>& jobs);
    // The page of slot when it was made for key, else render's page, made for key and kept
    // (while another thread renders it, the page before).
    TResponse Cached(std::shared_ptr<const TPage>& slot, std::mutex& renderLock, TPage key,
                     const std::function<std::string()>& render);
    // What a list page depends on: the lists' versions and the week.
    TPage ListsKey(TServerClock::time_point now);
    TResponse StartPageResponse();
    TResponse HighscorePageResponse();
    TResponse Health(int& status);
    std::string ClientAddress(MHD_Connection* connection) const;
    std::string ServerAddress(std::string_view hostHeader) const;
    // Bumped by every publication here and, read at most every few tenths of a second, by
    // changes other processes made to the store.
    uint64_t ListsVersion();
    uint64_t StoreChangeCount();
    bool StoreAnswers();

    const TDataFolder& FData;
    TScoreStore& FScores;
    TNow FNow;
    TWebServerOptions FOptions;
    TPublishLimit FPublishLimit;
    int FPort = 0;
    std::unique_ptr<TPublishers> FPublishers;
    std::unique_ptr<MHD_Daemon, void (*)(MHD_Daemon*)> FDaemon;
    std::atomic<int> FRunning{0};
    std::atomic<bool> FAbandonPublications{false};
    std::atomic<uint64_t> FLocalChanges{0};
    std::atomic<uint64_t> FStoreChanges{0};
    std::atomic<int64_t> FStoreCheckedAt{0};
    std::mutex FPageLock;
    std::mutex FStartRender;
    std::mutex FHighscoreRender;
    std::shared_ptr<const TPage> FStartPage;
    std::shared_ptr<const TPage> FHighscorePage;
    TResponse FBrandPage, FHelpPage, FNotFoundPage;
    std::string FNewsFile;
};
