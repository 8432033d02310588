// Several crumble-server processes on one PostgreSQL database, as behind a load balancer.
#include "PostgresTestSupport.h"
#include "online/PublishRecord.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

namespace {

// The real server program on free ports of 127.0.0.1, its output in a file of its folder.
class TServerProcess {
  public:
    TServerProcess(const std::filesystem::path& folder, const std::string& database) {
        std::filesystem::create_directories(folder);
        const std::string output = (folder / "output.txt").string();
        std::vector<std::string> arguments = {CRUMBLE_SERVER_PATH,
                                              "--http",
                                              "0",
                                              "--smtp",
                                              "0",
                                              "--host",
                                              "127.0.0.1",
                                              "--data",
                                              (folder / "data").string(),
                                              "--database",
                                              database};
        FPid = SpawnLogged(std::move(arguments), output);
        if (FPid < 0) throw std::runtime_error("cannot start crumble-server");

        const std::regex web(R"(web server http://localhost:(\d+)/)");
        std::string text;
        for (int wait = 0; wait < 300 && Port == 0; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(output);
            text.assign(std::istreambuf_iterator<char>(in), {});
            std::smatch match;
            if (std::regex_search(text, match, web)) Port = std::stoi(match[1]);
        }
        if (Port == 0) throw std::runtime_error("crumble-server gave no port: " + text);
    }
    ~TServerProcess() {
        kill(FPid, SIGTERM);
        for (int wait = 0; wait < 100; ++wait) {
            if (waitpid(FPid, nullptr, WNOHANG) == FPid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    // The reply of score.php to one publication.
    TReplyPairs Publish(const TPublishRecord& record) {
        httplib::Client client("127.0.0.1", Port);
        client.set_read_timeout(20);
        auto engine = std::make_shared<std::mt19937>(static_cast<unsigned>(record.Score));
        const TRandomIndex random = [engine](int n) {
            return static_cast<int>((*engine)() % static_cast<unsigned>(n));
        };
        const auto result =
            client.Get("/score.php?cs=" + EncodeRecord(BuildRecord(record), random));
        if (!result || result->status != 200) return {};
        return ParseReply(result->body);
    }

    int Port = 0;

  private:
    pid_t FPid = -1;
};

TPublishRecord Record(const std::string& id, int32_t score) {
    TPublishRecord record;
    record.PublishID = id;
    record.PublishName = "Spieler";
    record.Score = score;
    return record;
}

} // namespace

TEST(SharedStore, TwoServerProcessesOnOnePostgresRankAlike) {
    TPrivatePostgres* server = TPrivatePostgres::Get();
    if (!server) GTEST_SKIP() << "PostgreSQL tests skipped: " << TPrivatePostgres::Problem();
    const std::string database = server->FreshAddress();
    TTempFolder folder;
    TServerProcess first(folder.Path / "first", database);
    TServerProcess second(folder.Path / "second", database);

    // Distinct scores, published alternately through both; the expected rank of each is its
    // place among the scores so far, found by sorting.
    std::mt19937 random(99);
    std::vector<int32_t> scores;
    std::vector<std::string> ids;
    for (int i = 0; i < 24; ++i) {
        const int32_t score = 1000 + static_cast<int32_t>(random() % 100000) * 10 + i;
        TServerProcess& through = i % 2 ? second : first;
        const TReplyPairs reply = through.Publish(Record("", score));
        scores.push_back(score);
        std::vector<int32_t> sorted = scores;
        std::sort(sorted.rbegin(), sorted.rend());
        const auto place = std::find(sorted.begin(), sorted.end(), score) - sorted.begin() + 1;
        ASSERT_EQ(ReplyValue(reply, "Rang"), std::to_string(place)) << "publication " << i;
        EXPECT_EQ(ReplyValue(reply, "Platz1"), std::to_string(sorted.front()));
        ids.push_back(ReplyValue(reply, "ID").value_or(""));
    }

    // Both at once: afterwards every player stands where the sorted scores put it, whichever
    // process is asked, and each knows the identities the other handed out.
    std::thread a([&] {
        for (int i = 0; i < 10; ++i)
            first.Publish(Record("", 5 + 2 * i));
    });
    std::thread b([&] {
        for (int i = 0; i < 10; ++i)
            second.Publish(Record("", 6 + 2 * i));
    });
    a.join();
    b.join();
    std::vector<int32_t> sorted = scores;
    for (int32_t low = 5; low < 25; ++low)
        sorted.push_back(low);
    std::sort(sorted.rbegin(), sorted.rend());
    for (size_t i = 0; i < ids.size(); ++i) {
        TServerProcess& asked = i % 2 ? first : second;
        const TReplyPairs reply = asked.Publish(Record(ids[i], 1));
        EXPECT_EQ(ReplyValue(reply, "ID"), ids[i]);
        const auto place = std::find(sorted.begin(), sorted.end(), scores[i]) - sorted.begin() + 1;
        EXPECT_EQ(ReplyValue(reply, "Rang"), std::to_string(place));
        EXPECT_EQ(ReplyValue(reply, "Alterrang"), std::to_string(place));
    }
}
