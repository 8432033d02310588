#pragma once
// Shared by the server tests: a temporary folder, a check for control characters, a plain TCP
// client for talking to the server the way any program would, and the server program run as a
// process of its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// True when no byte of the text is a C0 control, DEL or the UTF-8 form of a C1 control;
// LF, CR before LF and TAB are allowed where the text has lines.
inline bool Printable(const std::string& text, bool lines) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (lines && (c == '\n' || c == '\t')) continue;
        if (lines && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c < 0x20 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return false;
    }
    return true;
}

// A report mail as the program sends it, from spieler@example.org: the text (dot-stuffed as
// the transfer needs it) and the attachment, as log.txt in base64.
inline std::string ReportMail(const std::string& subject, const std::string& text,
                              const std::string& attachment) {
    static const char* Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string base64;
    for (size_t i = 0; i < attachment.size(); i += 3) {
        uint32_t block = 0;
        const size_t n = std::min<size_t>(3, attachment.size() - i);
        for (size_t k = 0; k < 3; ++k)
            block = block << 8 | (k < n ? static_cast<unsigned char>(attachment[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            base64 += k <= n ? Alphabet[(block >> (18 - 6 * k)) & 63] : '=';
        if (base64.size() % 78 == 76) base64 += "\r\n";
    }
    return "From: spieler@example.org\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"g\"\r\n\r\n"
           "--g\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" +
           text +
           "\r\n--g\r\nContent-Type: application/octet-stream; name=\"log.txt\"\r\n"
           "Content-Disposition: attachment; filename=\"log.txt\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           base64 + "\r\n--g--\r\n";
}

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

// Starts a program with its output and errors appended to a file, in folder when one is given;
// the child's id, or -1 when it could not start.
inline pid_t SpawnLogged(std::vector<std::string> arguments, const std::string& log,
                         const char* folder = nullptr) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (folder != nullptr) posix_spawn_file_actions_addchdir_np(&actions, folder);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

#ifdef CRUMBLE_SERVER_PATH
// The arguments that serve the data folder "data" in folder on free ports, and more.
inline std::vector<std::string> Serving(const std::filesystem::path& folder,
                                        std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--http", "0", "--smtp", "0", "--data", (folder / "data").string()});
    return more;
}

// crumble-server with the given arguments, what it prints kept in a file of folder (that of a
// run before is replaced). Stopped
// with SIGTERM at the end, killed when that does not end it.
class TServerProcess {
  public:
    TServerProcess(const std::filesystem::path& folder, std::vector<std::string> arguments)
        : FOutput(folder / "output.txt") {
        std::filesystem::create_directories(folder);
        std::filesystem::remove(FOutput); // one run's output only
        arguments.insert(arguments.begin(), CRUMBLE_SERVER_PATH);
        FPid = SpawnLogged(std::move(arguments), FOutput.string());
        if (FPid < 0) throw std::runtime_error("crumble-server did not start");
    }
    ~TServerProcess() {
        if (FPid <= 0) return;
        Signal(SIGTERM);
        if (Wait() >= 0) return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    // Reads the output until it holds text (true) or twenty seconds pass (false).
    bool WaitFor(const std::string& text) {
        for (int wait = 0; wait < 2000; ++wait) {
            std::ifstream in(FOutput);
            Output.assign(std::istreambuf_iterator<char>(in), {});
            if (Output.find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The port of "web server http://HOST:PORT/", 0 when none was printed.
    int HttpPort() {
        if (!WaitFor("crumble-server: Ctrl+C stops")) return 0;
        std::smatch match;
        const std::regex web(R"(web server http://[^:/]+:(\d+)/)");
        return std::regex_search(Output, match, web) ? std::stoi(match[1]) : 0;
    }

    void Signal(int signal) { kill(FPid, signal); }

    // The exit code, waiting at most ten seconds; -1 when it did not end.
    int Wait() {
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string Output;

  private:
    std::filesystem::path FOutput;
    pid_t FPid = -1;
};
#endif
