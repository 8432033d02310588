#pragma once
// A plain SMTP receiver for the error-report mail: no authentication, no relaying, one
// mailbox (mail for any other recipient is refused); every accepted message goes to the
// handler. A client address holds only a few connections at a time. Each connection runs on its own
// thread with a time-out on every read, so a silent or malformed client never holds the receiver.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct TSmtpEnvelope {
    std::string MailFrom; // the reverse path without its brackets; "" for "<>"
    std::vector<std::string> Recipients;
    std::string Data; // the message as sent, lines ending in CR LF, dots unstuffed
};

// The largest message taken, as sent after the DATA command; the game keeps its error report
// within the same size.
constexpr size_t MaxMailBytes = 1024 * 1024;

// The address the program sends its error reports to.
constexpr const char* ReportMailbox = "fehlerreport@korvald.example";

struct TSmtpOptions {
    size_t MaxMessageSize = MaxMailBytes;
    std::chrono::milliseconds ReadTimeout = std::chrono::seconds(60);
    size_t MaxConnections = 32;
    size_t MaxConnectionsPerAddress = 4;
    std::string HostName = "localhost";
    std::string Mailbox = ReportMailbox; // compared without regard to case
};

// Closes its file descriptor when it goes.
class TSocket {
  public:
    TSocket() = default;
    explicit TSocket(int fd) : FFd(fd) {}
    ~TSocket();
    TSocket(TSocket&& other) noexcept : FFd(other.Release()) {}
    TSocket& operator=(TSocket&& other) noexcept;
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    int Fd() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release();

  private:
    int FFd = -1;
};

class TSmtpReceiver {
  public:
    // Returns the queue number the receiver tells the sender; throws to refuse the message.
    using THandler = std::function<long long(const TSmtpEnvelope&)>;

    TSmtpReceiver(THandler handler, TSmtpOptions options = {});
    ~TSmtpReceiver();
    TSmtpReceiver(const TSmtpReceiver&) = delete;
    TSmtpReceiver& operator=(const TSmtpReceiver&) = delete;

    // Binds and starts accepting; port 0 picks a free one. Returns the port. Throws on failure.
    int Start(const std::string& host, int port);
    // Closes the listening socket and every open connection, and waits for their threads.
    void Stop();

  private:
    struct TConnection {
        std::thread Thread;
        std::atomic<bool> Done{false};
        int Fd = -1;
        std::string Address; // the client's, as text
    };
    void AcceptLoop();
    void Serve(TConnection& connection, TSocket socket);
    void ReapFinished();

    THandler FHandler;
    TSmtpOptions FOptions;
    TSocket FListener;
    TSocket FWakeRead, FWakeWrite; // a pipe that wakes the accept loop for stopping
    std::thread FAcceptThread;
    std::atomic<bool> FStopping{false};
    std::mutex FLock;
    std::list<std::unique_ptr<TConnection>> FConnections;
};
