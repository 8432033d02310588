#pragma once
// Shared by the server tests: a temporary folder, and a plain TCP client for talking to the
// server the way any program would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class TTempFolder {
  public:
    TTempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "crumble-server-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        Path = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::filesystem::path Path;
};

class TTestConnection {
  public:
    explicit TTestConnection(int port) {
        FFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("connect failed");
    }
    ~TTestConnection() {
        if (FFd >= 0) close(FFd);
    }
    TTestConnection(const TTestConnection&) = delete;
    TTestConnection& operator=(const TTestConnection&) = delete;

    void Send(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t sent = send(FFd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return; // the server may have closed; the reply tells
            done += static_cast<size_t>(sent);
        }
    }

    // One reply line (a multi-line SMTP reply is read whole); "" when the server closed.
    // The long time-out only guards against a hanging test, it is never waited out.
    std::string ReadReply() {
        std::string reply;
        for (;;) {
            const size_t end = FBuffer.find("\r\n");
            if (end != std::string::npos) {
                const std::string line = FBuffer.substr(0, end);
                FBuffer.erase(0, end + 2);
                reply += line + "\n";
                if (line.size() < 4 || line[3] != '-') return reply;
                continue;
            }
            if (!Receive()) return reply;
        }
    }

    // What arrives next; "" when the server closed.
    std::string ReadSome() {
        if (FBuffer.empty() && !Receive()) return {};
        std::string some;
        some.swap(FBuffer);
        return some;
    }

    // True when a server accepts connections on address (an IPv4 address) and port.
    static bool CanConnect(const std::string& address, int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &target.sin_addr);
        const bool connected =
            connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
        close(fd);
        return connected;
    }

    // Everything until the server closes the connection.
    std::string ReadAll() {
        while (Receive()) {
        }
        std::string all;
        all.swap(FBuffer);
        return all;
    }

  private:
    bool Receive() {
        pollfd poller{FFd, POLLIN, 0};
        if (poll(&poller, 1, 30000) <= 0) return false;
        char chunk[4096];
        const ssize_t got = recv(FFd, chunk, sizeof chunk, 0);
        if (got <= 0) return false;
        FBuffer.append(chunk, static_cast<size_t>(got));
        return true;
    }

    int FFd = -1;
    std::string FBuffer;
};
