#pragma once
// The HTTP side of the server: the pages, the operator's files and the score script.
#include "server/DataFolder.h"
#include "server/ScoreStore.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace httplib {
class Server;
}

// The raw (still percent-encoded) value of key in a query text "a=1&cs=..."; also takes a
// whole request target "/score.php?cs=...".
std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view key);

struct TScoreAnswer {
    int Status = 200;
    std::string Text;
};

class TWebServer {
  public:
    using TNow = std::function<TServerClock::time_point()>;

    TWebServer(const TDataFolder& data, TScoreStore& scores, TNow now = TServerClock::now,
               bool logRequests = false);
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // Binds the port (0: any free one) and serves on a thread of its own. Returns the port.
    int Start(const std::string& host, int port);
    void Stop();

    // What score.php answers for the raw value of "cs" (nothing when the key is missing).
    TScoreAnswer AnswerScore(std::optional<std::string_view> rawCs);

  private:
    void AddRoutes();
    std::string ServerAddress(std::string_view hostHeader) const;

    const TDataFolder& FData;
    TScoreStore& FScores;
    TNow FNow;
    bool FLogRequests;
    int FPort = 0;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
};
