// crumble-server-load: what the server benchmark needs besides wrk.
//   crumble-server-load fill DATADIR COUNT      the store filled up to COUNT publications
//   crumble-server-load count DATADIR           the publications stored
//   crumble-server-load records FILE COUNT      COUNT encoded records, one "cs" value a line
//   crumble-server-load slow PORT COUNT SECONDS COUNT connections that send one byte a second
// Only 127.0.0.1 is ever contacted.
#include "online/PublishRecord.h"
#include "server/DataFolder.h"
#include "server/ScoreStore.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Publications through the store itself, so its rank tables stay what the server expects.
// About half of them this week, the rest a week ago; two in five publishers come back.
int Fill(const std::string& folder, long count) {
    const TDataFolder data(folder);
    TScoreStore store(data.DatabaseFile());
    std::mt19937 random(2024);
    const auto now = TServerClock::now();
    const auto lastWeek = now - std::chrono::hours(24 * 7);
    std::vector<std::string> players;
    const long stored = store.PublicationCount();
    for (long i = stored; i < count; ++i) {
        TPublishRecord record;
        const bool returning = !players.empty() && random() % 5 < 2;
        if (returning) record.PublishID = players[random() % players.size()];
        const long owner = static_cast<long>(i % 40000);
        record.PublishName = "Spieler " + std::to_string(owner);
        record.Residence = "Ort " + std::to_string(owner % 500);
        record.Country = "Deutschland";
        record.Score = static_cast<int32_t>(random() % 60000);
        record.GamesStarted = 3;
        const TPublishReply reply = store.Submit(record, random() % 2 == 0 ? now : lastWeek);
        if (!returning) players.push_back(reply.ID);
        if ((i + 1) % 10000 == 0) std::cout << "filled " << i + 1 << std::endl;
    }
    std::cout << "filled " << count - std::min(count, stored) << " publications\n";
    return 0;
}

int Records(const std::string& file, long count) {
    std::mt19937 engine(7);
    const TRandomIndex random = [&engine](int n) {
        return static_cast<int>(engine() % static_cast<unsigned>(n));
    };
    std::ofstream out(file);
    for (long i = 0; i < count; ++i) {
        TPublishRecord record;
        record.PublishName = "Gast " + std::to_string(i);
        record.Residence = "Bern";
        record.Country = "Schweiz";
        record.Score = static_cast<int32_t>(engine() % 60000);
        record.GamesStarted = 2;
        out << EncodeRecord(BuildRecord(record), random) << "\n";
    }
    return out ? 0 : 1;
}

// Each connection starts a request and never ends its headers; one byte a second each.
int Slow(int port, long count, long seconds) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> sockets;
    const std::string start = "GET /korvaldinternal/highscore.html HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    for (long i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (fd >= 0) close(fd);
            continue;
        }
        send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        sockets.push_back(fd);
    }
    std::cout << "slow connections: " << sockets.size() << " opened" << std::endl;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    size_t open = sockets.size();
    while (std::chrono::steady_clock::now() < end) {
        open = 0;
        for (int fd : sockets)
            if (send(fd, "a", 1, MSG_NOSIGNAL) == 1) ++open;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::cout << "slow connections: " << open << " still open after " << seconds << " s"
              << std::endl;
    for (int fd : sockets)
        close(fd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "fill") return Fill(args[1], std::stol(args[2]));
        if (args.size() == 2 && args[0] == "count") {
            const TDataFolder data(args[1]);
            std::cout << TScoreStore(data.DatabaseFile()).PublicationCount() << "\n";
            return 0;
        }
        if (args.size() == 3 && args[0] == "records") return Records(args[1], std::stol(args[2]));
        if (args.size() == 4 && args[0] == "slow")
            return Slow(std::stoi(args[1]), std::stol(args[2]), std::stol(args[3]));
    } catch (const std::exception& error) {
        std::cerr << "crumble-server-load: " << error.what() << "\n";
        return 1;
    }
    std::cerr
        << "usage: crumble-server-load fill DATADIR COUNT | count DATADIR | records FILE COUNT |"
           " slow PORT COUNT SECONDS\n";
    return 2;
}
