// The server as its own process: what it prints, where it listens, how it stops.
#include "ServerTestSupport.h"
#include "online/PublishRecord.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <regex>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// crumble-server with the given arguments, its output read through a pipe.
class TServerProcess {
  public:
    explicit TServerProcess(const std::vector<std::string>& arguments) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<std::string> words = {CRUMBLE_SERVER_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const int failed =
            posix_spawn(&FPid, CRUMBLE_SERVER_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        FOutput = pipeEnds[0];
        if (failed != 0) throw std::runtime_error("crumble-server did not start");
    }
    ~TServerProcess() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        close(FOutput);
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    // Reads the output until it holds text (true) or ten seconds pass or it ends (false).
    bool WaitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Output.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd poller{FOutput, POLLIN, 0};
            if (left.count() <= 0 || poll(&poller, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char chunk[4096];
            const ssize_t got = read(FOutput, chunk, sizeof chunk);
            if (got <= 0) return false;
            Output.append(chunk, static_cast<size_t>(got));
        }
        return true;
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
    pid_t FPid = -1;
    int FOutput = -1;
};

std::vector<std::string> Serving(const TTempFolder& folder, std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"--http", "0",      "--smtp",
                                          "0",      "--data", (folder.Path / "data").string()};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

} // namespace

TEST(CrumbleServer, TellsItsVersion) {
    TServerProcess server({"--version"});
    EXPECT_EQ(server.Wait(), 0);
    server.WaitFor("\n");
    EXPECT_EQ(server.Output, "crumble-server 1.05\n");
}

TEST(CrumbleServer, ListensOnLoopbackUnlessToldOtherwise) {
    TTempFolder folder;
    {
        // Were it on every address, 127.0.0.2 (loopback as well) would reach it too.
        TServerProcess server(Serving(folder));
        const int port = server.HttpPort();
        ASSERT_GT(port, 0) << server.Output;
        EXPECT_TRUE(TTestConnection::CanConnect("127.0.0.1", port));
        EXPECT_FALSE(TTestConnection::CanConnect("127.0.0.2", port));
    }
    {
        TServerProcess server(Serving(folder, {"--listen", "127.0.0.2"}));
        const int port = server.HttpPort();
        ASSERT_GT(port, 0) << server.Output;
        EXPECT_TRUE(TTestConnection::CanConnect("127.0.0.2", port));
        EXPECT_FALSE(TTestConnection::CanConnect("127.0.0.1", port));
    }
    TServerProcess wrong(Serving(folder, {"--listen", "kein.host.invalid"}));
    EXPECT_EQ(wrong.Wait(), 1);
    wrong.WaitFor("\n");
    EXPECT_NE(wrong.Output.find("kein.host.invalid"), std::string::npos) << wrong.Output;
}

TEST(CrumbleServer, SigtermLetsTheRunningRequestFinish) {
    TTempFolder folder;
    TServerProcess server(Serving(folder));
    const int port = server.HttpPort();
    ASSERT_GT(port, 0) << server.Output;

    // A publication whose body is only half sent when the server is asked to stop.
    TPublishRecord record;
    record.PublishName = "Letzte";
    record.Score = 777;
    const std::string body = "cs=" + EncodeRecord(BuildRecord(record), [](int n) { return n / 2; });
    TTestConnection connection(port);
    connection.Send("POST /score.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                    "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() / 2));
    // Time for the server to read the head; the stop must then wait for the rest.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    server.Signal(SIGTERM);
    ASSERT_TRUE(server.WaitFor("crumble-server: stopping")) << server.Output;
    connection.Send(body.substr(body.size() / 2));
    const std::string answer = connection.ReadAll();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer;
    EXPECT_NE(answer.find("\r\nRang=1\r\n"), std::string::npos) << answer;

    EXPECT_EQ(server.Wait(), 0);
    server.WaitFor("crumble-server: stopped");
    EXPECT_NE(server.Output.find("127.0.0.1 POST /score.php 200"), std::string::npos)
        << server.Output;
}
