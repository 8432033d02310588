#pragma once
// Shared by the tests of the online services: the companion server started as its own process
// on free ports with a data folder of its own, stand-ins for servers that refuse or stay
// silent, and helpers that answer message boxes and modal dialogs as a player would.
#include "platform/inet.h"
#include "platform/msgbox.h"
#include "shell/Tools.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef CRUMBLE_SERVER_PATH
// crumble-server --http 0 --smtp 0 on 127.0.0.1 with a fresh data folder.
class TTestServer {
  public:
    TTestServer() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "crumble-online-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        Folder = pattern;
        FProcess.setProgram(CRUMBLE_SERVER_PATH);
        FProcess.setArguments({"--http", "0", "--smtp", "0", "--host", "127.0.0.1", "--data",
                               QString::fromStdString(DataFolder().string())});
        FProcess.setProcessChannelMode(QProcess::MergedChannels);
        FProcess.start();
        if (!FProcess.waitForStarted(10000))
            throw std::runtime_error("crumble-server did not start");
        const std::regex web(R"(web server http://localhost:(\d+)/)");
        const std::regex mail(R"(mail server localhost:(\d+))");
        QElapsedTimer clock;
        clock.start();
        std::string output;
        while ((HttpPort == 0 || SmtpPort == 0) && clock.elapsed() < 15000) {
            FProcess.waitForReadyRead(200);
            output += FProcess.readAll().toStdString();
            std::smatch match;
            if (HttpPort == 0 && std::regex_search(output, match, web))
                HttpPort = std::stoi(match[1]);
            if (SmtpPort == 0 && std::regex_search(output, match, mail))
                SmtpPort = std::stoi(match[1]);
        }
        if (HttpPort == 0 || SmtpPort == 0)
            throw std::runtime_error("crumble-server gave no ports: " + output);
    }
    ~TTestServer() {
        // A browser's kept-alive connection would hold a polite stop for seconds.
        FProcess.terminate();
        if (!FProcess.waitForFinished(500)) {
            FProcess.kill();
            FProcess.waitForFinished(2000);
        }
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    TTestServer(const TTestServer&) = delete;
    TTestServer& operator=(const TTestServer&) = delete;

    std::filesystem::path DataFolder() const { return Folder / "data"; }
    std::string WebServer() const { return "http://127.0.0.1:" + std::to_string(HttpPort) + "/"; }
    std::string MailServer() const { return "127.0.0.1:" + std::to_string(SmtpPort); }

    // Points the program (prog.cfg of the current program folder) at this server.
    void Configure() const {
        WriteCfg("webserver", WebServer());
        WriteCfg("mailserver", MailServer());
    }

    // "crumble-server reports [show N]" on the data folder.
    std::string Reports(const std::string& show = std::string()) const {
        QProcess list;
        QStringList arguments = {"reports"};
        if (!show.empty()) arguments << "show" << QString::fromStdString(show);
        arguments << "--data" << QString::fromStdString(DataFolder().string());
        list.start(CRUMBLE_SERVER_PATH, arguments);
        list.waitForFinished(10000);
        return list.readAllStandardOutput().toStdString();
    }

  private:
    std::filesystem::path Folder;
    int HttpPort = 0;
    int SmtpPort = 0;
    QProcess FProcess;
};
#endif

// A socket bound to a free port of 127.0.0.1, listening with a queue of that length (0: only
// bound); port is set to its port.
inline int LoopbackSocket(int& port, int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (backlog > 0 && listen(fd, backlog) != 0)) {
        close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A listening socket on 127.0.0.1 that takes connections (the kernel does) and then, as
// told, stays silent, or answers every line with one canned reply (an SMTP server saying
// "554" to everything after its greeting, or a web server with one page). What the clients
// sent is kept.
class TStubServer {
  public:
    explicit TStubServer(std::string greeting = std::string(), std::string reply = std::string())
        : FGreeting(std::move(greeting)), FReply(std::move(reply)) {
        FListener = LoopbackSocket(Port, 16);
        FThread = std::thread([this] { Serve(); });
    }
    ~TStubServer() {
        FStop = true;
        FThread.join();
        for (int fd : FClients)
            close(fd);
        close(FListener);
    }
    TStubServer(const TStubServer&) = delete;
    TStubServer& operator=(const TStubServer&) = delete;

    int Port = 0;

    // Everything the clients sent so far, in the order it arrived.
    std::string Received() const {
        const std::lock_guard guard(FLock);
        return FReceived;
    }

  private:
    void Serve() {
        while (!FStop) {
            std::vector<pollfd> polled{{FListener, POLLIN, 0}};
            for (int fd : FClients)
                polled.push_back({fd, POLLIN, 0});
            if (poll(polled.data(), polled.size(), 50) <= 0) continue;
            if (polled[0].revents & POLLIN) {
                const int client = accept(FListener, nullptr, nullptr);
                if (client >= 0) {
                    FClients.push_back(client);
                    if (!FGreeting.empty())
                        send(client, FGreeting.data(), FGreeting.size(), MSG_NOSIGNAL);
                }
            }
            for (size_t i = 1; i < polled.size(); ++i) {
                if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buffer[4096];
                const ssize_t got = recv(polled[i].fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    // The client has gone: its socket would stay readable for ever.
                    close(polled[i].fd);
                    std::erase(FClients, polled[i].fd);
                    continue;
                }
                {
                    const std::lock_guard guard(FLock);
                    FReceived.append(buffer, static_cast<size_t>(got));
                }
                if (!FReply.empty()) send(polled[i].fd, FReply.data(), FReply.size(), MSG_NOSIGNAL);
            }
        }
    }

    std::string FGreeting, FReply;
    mutable std::mutex FLock;
    std::string FReceived;
    int FListener = -1;
    std::vector<int> FClients;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// A port on 127.0.0.1 that nothing listens on.
inline int ClosedPort() {
    int port = 0;
    close(LoopbackSocket(port, 0));
    return port;
}

// The answer of a web server that has one page for every address.
inline std::string HttpReply(const std::string& body, const std::string& status = "200 OK",
                             const std::string& type = "text/plain") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// A web server on 127.0.0.1 answering every request with that page; the program's web server
// (prog.cfg "webserver") points at it, so the program is online.
inline std::unique_ptr<TStubServer> ServePage(const std::string& body,
                                              const std::string& status = "200 OK",
                                              const std::string& type = "text/plain") {
    auto server = std::make_unique<TStubServer>(std::string(), HttpReply(body, status, type));
    WriteCfg("webserver", "http://127.0.0.1:" + std::to_string(server->Port) + "/");
    return server;
}

// The player at the message boxes: every text is kept; questions get the next of Answers
// (mrNo when none is left).
class TMessageRecorder {
  public:
    TMessageRecorder() {
        SetMessageHandler(
            [this](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
                Messages.push_back(text);
                Types.push_back(type);
                if (buttons != TMsgDlgButtons::YesNo) return mrOk;
                if (Answers.empty()) return mrNo;
                const int answer = Answers.front();
                Answers.pop_front();
                return answer;
            });
    }
    ~TMessageRecorder() { SetMessageHandler(nullptr); }
    TMessageRecorder(const TMessageRecorder&) = delete;
    TMessageRecorder& operator=(const TMessageRecorder&) = delete;

    std::vector<std::string> Messages;
    std::vector<TMsgDlgType> Types;
    std::deque<int> Answers;
};

// The system browser: every address asked for is kept; Works false lets it fail.
class TBrowserRecorder {
  public:
    TBrowserRecorder() {
        SetShellOpener([this](const std::string& address) {
            Opened.push_back(address);
            return Works;
        });
    }
    ~TBrowserRecorder() { SetShellOpener(nullptr); }
    TBrowserRecorder(const TBrowserRecorder&) = delete;
    TBrowserRecorder& operator=(const TBrowserRecorder&) = delete;

    std::vector<std::string> Opened;
    bool Works = true;
};

// Runs action on the next modal dialog of type T that shows (polled while a modal loop runs).
template <class T> void WhenModal(std::function<void(T*)> action, int timeoutMs = 20000) {
    const QDeadlineTimer deadline(timeoutMs);
    // The application owns the timer until it has done its work or given up.
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        const bool shown = dialog && dialog->isVisible();
        if (!shown && !deadline.hasExpired()) return;
        timer->stop();
        timer->deleteLater();
        if (shown) action(dialog);
    });
    timer->start(20);
}

// Lets the event loop run until done() holds or the time is up; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Short time-outs for the tests that wait for them.
class TShortTimeouts {
  public:
    explicit TShortTimeouts(long totalMs = 700) : FOld(InetLimits()) {
        TInetLimits limits = FOld;
        limits.ConnectTimeoutMs = totalMs;
        limits.TotalTimeoutMs = totalMs;
        limits.ProbeTimeoutMs = totalMs;
        SetInetLimits(limits);
    }
    ~TShortTimeouts() { SetInetLimits(FOld); }
    TShortTimeouts(const TShortTimeouts&) = delete;
    TShortTimeouts& operator=(const TShortTimeouts&) = delete;

  private:
    TInetLimits FOld;
};
