#include "server/SmtpReceiver.h"

#include "server/Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using TSteadyClock = std::chrono::steady_clock;
// No session may last longer than this, however slowly a client trickles its bytes.
constexpr auto MaxSessionTime = std::chrono::minutes(10);
constexpr size_t MaxCommandLine = 4096;
constexpr size_t MaxRecipients = 100;
constexpr int MaxErrors = 20;

enum class TReadResult { Line, Timeout, Closed, TooLong };

class TLineReader {
  public:
    TLineReader(int fd, std::chrono::milliseconds timeout, TSteadyClock::time_point deadline)
        : FFd(fd), FTimeout(timeout), FDeadline(deadline) {}

    // A line without its CR LF (or bare LF).
    TReadResult ReadLine(std::string& line, size_t maxLength) {
        for (;;) {
            const size_t end = FBuffer.find('\n', FScanned);
            if (end != std::string::npos) {
                line.assign(FBuffer, 0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                FBuffer.erase(0, end + 1);
                FScanned = 0;
                return line.size() > maxLength ? TReadResult::TooLong : TReadResult::Line;
            }
            FScanned = FBuffer.size();
            if (FBuffer.size() > maxLength) {
                // What was read of the overlong line is dropped; the caller gives up on it.
                FBuffer.clear();
                FScanned = 0;
                return TReadResult::TooLong;
            }

            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                FDeadline - TSteadyClock::now());
            const auto wait = std::min(FTimeout, left);
            if (wait.count() <= 0) return TReadResult::Timeout;
            pollfd poller{FFd, POLLIN, 0};
            const int ready = poll(&poller, 1, static_cast<int>(wait.count()));
            if (ready == 0) return TReadResult::Timeout;
            if (ready < 0) {
                if (errno == EINTR) continue;
                return TReadResult::Closed;
            }
            char chunk[4096];
            const ssize_t got = recv(FFd, chunk, sizeof chunk, 0);
            if (got <= 0) return TReadResult::Closed;
            FBuffer.append(chunk, static_cast<size_t>(got));
        }
    }

  private:
    int FFd;
    std::chrono::milliseconds FTimeout;
    TSteadyClock::time_point FDeadline;
    std::string FBuffer;
    size_t FScanned = 0;
};

bool SendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        text.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

// The client's address without its port; an IPv4 client of an IPv6 socket as IPv4.
std::string AddressText(const sockaddr_storage& peer) {
    char text[INET6_ADDRSTRLEN] = "";
    if (peer.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(peer).sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&address))
            inet_ntop(AF_INET, &address.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &address, text, sizeof text);
    }
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && ToLower(text.substr(0, prefix.size())) == prefix;
}

// "FROM:<a@b> SIZE=123" after the verb: the address and the parameters behind it.
bool ParsePath(std::string_view argument, std::string& address, std::string& parameters) {
    const size_t first = argument.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    argument.remove_prefix(first);
    if (argument.front() == '<') {
        const size_t close = argument.find('>');
        if (close == std::string_view::npos) return false;
        address = std::string(argument.substr(1, close - 1));
        parameters = Trim(argument.substr(close + 1));
    } else {
        const size_t blank = argument.find(' ');
        address = std::string(argument.substr(0, blank));
        parameters = blank == std::string_view::npos ? "" : Trim(argument.substr(blank));
    }
    return true;
}

// One client's conversation: a handler for each command, and the envelope they fill in.
class TSmtpSession {
  public:
    TSmtpSession(int fd, const TSmtpOptions& options, const TSmtpReceiver::THandler& handler)
        : FFd(fd), FOptions(options), FHandler(handler),
          FReader(fd, options.ReadTimeout, TSteadyClock::now() + MaxSessionTime) {}

    // Talks until the client quits, goes silent, errs too often or drops the line.
    void Run() {
        bool open = Reply("220 " + FOptions.HostName + " Crumble Rush report mailbox ESMTP\r\n");
        while (open && FErrors < MaxErrors) {
            std::string line;
            const TReadResult result = FReader.ReadLine(line, MaxCommandLine);
            if (result == TReadResult::Timeout) {
                Reply("421 4.4.2 " + FOptions.HostName + " Timeout, closing connection\r\n");
                return;
            }
            if (result == TReadResult::Closed) return;
            if (result == TReadResult::TooLong) {
                Reply("500 5.5.2 Line too long\r\n");
                return;
            }
            open = Command(line);
        }
    }

  private:
    enum class TData { Complete, TooLarge, Broken };

    // Each handler answers its command; false ends the session.
    bool Command(const std::string& line) {
        const std::string verb = ToLower(line.substr(0, line.find(' ')));
        const std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        const std::string_view path(argument);
        if (verb == "helo") return Reply("250 " + FOptions.HostName + "\r\n");
        if (verb == "ehlo") return Ehlo();
        if (verb == "mail" && StartsWithNoCase(argument, "from:")) return Mail(path.substr(5));
        if (verb == "rcpt" && StartsWithNoCase(argument, "to:")) return Rcpt(path.substr(3));
        if (verb == "data") return Data();
        if (verb == "rset") {
            ResetEnvelope();
            return Reply("250 2.0.0 OK\r\n");
        }
        if (verb == "noop") return Reply("250 2.0.0 OK\r\n");
        if (verb == "vrfy") return Reply("252 2.5.2 Cannot verify\r\n");
        if (verb == "quit") {
            Reply("221 2.0.0 " + FOptions.HostName + " Bye\r\n");
            return false;
        }
        return Refuse("500 5.5.2 Command not recognized\r\n");
    }

    bool Ehlo() {
        return Reply("250-" + FOptions.HostName + "\r\n250-SIZE " +
                     std::to_string(FOptions.MaxMessageSize) + "\r\n250-8BITMIME\r\n250 HELP\r\n");
    }

    bool Mail(std::string_view path) {
        std::string address, parameters;
        if (!ParsePath(path, address, parameters))
            return Refuse("501 5.5.4 Syntax: MAIL FROM:<address>\r\n");
        const size_t sizeAt = ToLower(parameters).find("size=");
        if (sizeAt != std::string::npos &&
            std::strtoull(parameters.c_str() + sizeAt + 5, nullptr, 10) > FOptions.MaxMessageSize)
            return Reply("552 5.3.4 Message size exceeds the limit\r\n");
        FEnvelope = TSmtpEnvelope();
        FEnvelope.MailFrom = address;
        FHaveSender = true;
        return Reply("250 2.1.0 OK\r\n");
    }

    bool Rcpt(std::string_view path) {
        std::string address, parameters;
        if (!FHaveSender) return Refuse("503 5.5.1 Need MAIL first\r\n");
        if (!ParsePath(path, address, parameters) || address.empty())
            return Refuse("501 5.5.4 Syntax: RCPT TO:<address>\r\n");
        if (ToLower(address) != ToLower(FOptions.Mailbox))
            return Refuse("550 5.1.1 No such mailbox here\r\n");
        if (FEnvelope.Recipients.size() >= MaxRecipients)
            return Reply("452 4.5.3 Too many recipients\r\n");
        FEnvelope.Recipients.push_back(address);
        return Reply("250 2.1.5 OK\r\n");
    }

    bool Data() {
        if (!FHaveSender || FEnvelope.Recipients.empty())
            return Refuse("503 5.5.1 Need MAIL and RCPT first\r\n");
        if (!Reply("354 End data with <CR><LF>.<CR><LF>\r\n")) return false;
        const TData data = ReadData();
        if (data == TData::Broken) {
            Reply("421 4.4.2 " + FOptions.HostName + " Timeout, closing connection\r\n");
            return false;
        }
        const bool open =
            data == TData::TooLarge ? Reply("552 5.3.4 Message too large\r\n") : Deliver();
        ResetEnvelope();
        return open;
    }

    // The message up to its lone dot, dots unstuffed, into the envelope. Past the limit the
    // rest is read to its end and dropped, so that the client hears the refusal instead of a
    // reset connection.
    TData ReadData() {
        bool tooLarge = false;
        for (;;) {
            std::string line;
            const TReadResult got = FReader.ReadLine(line, FOptions.MaxMessageSize);
            if (got == TReadResult::TooLong) {
                tooLarge = true;
                continue;
            }
            if (got != TReadResult::Line) return TData::Broken;
            if (line == ".") return tooLarge ? TData::TooLarge : TData::Complete;
            if (tooLarge) continue;
            if (!line.empty() && line[0] == '.') line.erase(0, 1);
            if (FEnvelope.Data.size() + line.size() + 2 > FOptions.MaxMessageSize) {
                tooLarge = true;
                FEnvelope.Data.clear();
                FEnvelope.Data.shrink_to_fit();
                continue;
            }
            FEnvelope.Data += line;
            FEnvelope.Data += "\r\n";
        }
    }

    bool Deliver() {
        try {
            const long long number = FHandler(FEnvelope);
            return Reply("250 2.0.0 OK queued as " + std::to_string(number) + "\r\n");
        } catch (const std::exception&) {
            return Reply("451 4.3.0 Could not store the message\r\n");
        }
    }

    void ResetEnvelope() {
        FEnvelope = TSmtpEnvelope();
        FHaveSender = false;
    }

    bool Reply(std::string_view text) { return SendAll(FFd, text); }

    // A reply to the client's mistake; too many of them end the session.
    bool Refuse(std::string_view text) {
        ++FErrors;
        return Reply(text);
    }

    int FFd;
    const TSmtpOptions& FOptions;
    const TSmtpReceiver::THandler& FHandler;
    TLineReader FReader;
    TSmtpEnvelope FEnvelope;
    bool FHaveSender = false;
    int FErrors = 0;
};

} // namespace

TSocket::~TSocket() {
    if (FFd >= 0) close(FFd);
}

TSocket& TSocket::operator=(TSocket&& other) noexcept {
    if (this != &other) {
        if (FFd >= 0) close(FFd);
        FFd = other.Release();
    }
    return *this;
}

int TSocket::Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
}

TSmtpReceiver::TSmtpReceiver(THandler handler, TSmtpOptions options)
    : FHandler(std::move(handler)), FOptions(std::move(options)) {}

TSmtpReceiver::~TSmtpReceiver() {
    Stop();
}

int TSmtpReceiver::Start(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0)
        throw std::runtime_error("SMTP: unknown host " + host);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);

    std::string error = "no address";
    for (addrinfo* address = found; address; address = address->ai_next) {
        TSocket socket(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC,
                                address->ai_protocol));
        if (!socket.Valid()) continue;
        const int yes = 1;
        setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(socket.Fd(), address->ai_addr, address->ai_addrlen) != 0 ||
            listen(socket.Fd(), 16) != 0) {
            error = std::strerror(errno);
            continue;
        }
        FListener = std::move(socket);
        break;
    }
    if (!FListener.Valid())
        throw std::runtime_error("SMTP: cannot listen on port " + service + ": " + error);

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(FListener.Fd(), reinterpret_cast<sockaddr*>(&bound), &length);
    const int boundPort = bound.ss_family == AF_INET6
                              ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                              : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("SMTP: no pipe");
    FWakeRead = TSocket(pipeFds[0]);
    FWakeWrite = TSocket(pipeFds[1]);
    FStopping = false;
    FAcceptThread = std::thread([this] { AcceptLoop(); });
    return boundPort;
}

void TSmtpReceiver::Stop() {
    if (!FAcceptThread.joinable()) return;
    FStopping = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = write(FWakeWrite.Fd(), &wake, 1);
    FAcceptThread.join();
    std::list<std::unique_ptr<TConnection>> connections;
    {
        const std::lock_guard guard(FLock);
        for (auto& connection : FConnections)
            if (connection->Fd >= 0) shutdown(connection->Fd, SHUT_RDWR);
        connections.swap(FConnections);
    }
    for (auto& connection : connections)
        connection->Thread.join();
    FListener = TSocket();
    FWakeRead = TSocket();
    FWakeWrite = TSocket();
}

void TSmtpReceiver::ReapFinished() {
    std::list<std::unique_ptr<TConnection>> finished;
    {
        const std::lock_guard guard(FLock);
        for (auto it = FConnections.begin(); it != FConnections.end();) {
            if ((*it)->Done) {
                finished.push_back(std::move(*it));
                it = FConnections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : finished)
        connection->Thread.join();
}

void TSmtpReceiver::AcceptLoop() {
    while (!FStopping) {
        pollfd pollers[2] = {{FListener.Fd(), POLLIN, 0}, {FWakeRead.Fd(), POLLIN, 0}};
        const int ready = poll(pollers, 2, 1000);
        ReapFinished();
        if (ready <= 0 || FStopping) continue;
        if (!(pollers[0].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        TSocket client(
            accept4(FListener.Fd(), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC));
        if (!client.Valid()) continue;
        const std::string address = AddressText(peer);

        const std::lock_guard guard(FLock);
        if (FConnections.size() >= FOptions.MaxConnections) {
            SendAll(client.Fd(), "421 4.3.2 Too many connections, try again later\r\n");
            continue;
        }
        const auto fromThere =
            std::count_if(FConnections.begin(), FConnections.end(), [&](const auto& open) {
                return !open->Done && open->Address == address;
            });
        if (static_cast<size_t>(fromThere) >= FOptions.MaxConnectionsPerAddress) {
            SendAll(client.Fd(),
                    "421 4.7.0 Too many connections from your address, try again later\r\n");
            continue;
        }
        auto connection = std::make_unique<TConnection>();
        connection->Fd = client.Fd();
        connection->Address = address;
        TConnection& ref = *connection;
        connection->Thread = std::thread(
            [this, &ref, socket = std::move(client)]() mutable { Serve(ref, std::move(socket)); });
        FConnections.push_back(std::move(connection));
    }
}

void TSmtpReceiver::Serve(TConnection& connection, TSocket socket) {
    TSmtpSession(socket.Fd(), FOptions, FHandler).Run();
    {
        // Stop must not shut down a number the system hands out again.
        const std::lock_guard guard(FLock);
        connection.Fd = -1;
        socket = TSocket();
    }
    connection.Done = true;
}
