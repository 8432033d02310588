// The server as its own process: what it prints, where it listens, how it stops.
#include "ServerTestSupport.h"
#include "online/PublishRecord.h"

#include <gtest/gtest.h>

TEST(CrumbleServer, TellsItsVersion) {
    TTempFolder folder;
    TServerProcess server(folder.Path, {"--version"});
    EXPECT_EQ(server.Wait(), 0);
    server.WaitFor("\n");
    EXPECT_EQ(server.Output, "crumble-server 1.05\n");
}

TEST(CrumbleServer, ListensOnLoopbackUnlessToldOtherwise) {
    TTempFolder folder;
    {
        // Were it on every address, 127.0.0.2 (loopback as well) would reach it too.
        TServerProcess server(folder.Path, Serving(folder.Path));
        const int port = server.HttpPort();
        ASSERT_GT(port, 0) << server.Output;
        EXPECT_TRUE(TTestConnection::CanConnect("127.0.0.1", port));
        EXPECT_FALSE(TTestConnection::CanConnect("127.0.0.2", port));
    }
    {
        TServerProcess server(folder.Path, Serving(folder.Path, {"--listen", "127.0.0.2"}));
        const int port = server.HttpPort();
        ASSERT_GT(port, 0) << server.Output;
        EXPECT_TRUE(TTestConnection::CanConnect("127.0.0.2", port));
    }
    TServerProcess wrong(folder.Path, Serving(folder.Path, {"--listen", "kein.host.invalid"}));
    EXPECT_EQ(wrong.Wait(), 1);
    wrong.WaitFor("\n");
    EXPECT_NE(wrong.Output.find("kein.host.invalid"), std::string::npos) << wrong.Output;
}

TEST(CrumbleServer, SigtermLetsTheRunningRequestFinish) {
    TTempFolder folder;
    TServerProcess server(folder.Path, Serving(folder.Path));
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
