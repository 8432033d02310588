// Several crumble-server processes on one PostgreSQL database, as behind a load balancer.
#include "PostgresTestSupport.h"
#include "online/PublishRecord.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <random>
#include <thread>

namespace {

// The reply of score.php on port to one publication.
TReplyPairs Publish(int port, const TPublishRecord& record) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(20);
    auto engine = std::make_shared<std::mt19937>(static_cast<unsigned>(record.Score));
    const TRandomIndex random = [engine](int n) {
        return static_cast<int>((*engine)() % static_cast<unsigned>(n));
    };
    const auto result = client.Get("/score.php?cs=" + EncodeRecord(BuildRecord(record), random));
    if (!result || result->status != 200) return {};
    return ParseReply(result->body);
}

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
    // Each with a data folder of its own.
    const std::vector<std::string> shared = {"--host", "127.0.0.1", "--database", database};
    TServerProcess first(folder.Path / "first", Serving(folder.Path / "first", shared));
    TServerProcess second(folder.Path / "second", Serving(folder.Path / "second", shared));
    const int firstPort = first.HttpPort(), secondPort = second.HttpPort();
    ASSERT_TRUE(firstPort > 0 && secondPort > 0) << first.Output << second.Output;

    // Distinct scores, published alternately through both; the expected rank of each is its
    // place among the scores so far, found by sorting.
    std::mt19937 random(99);
    std::vector<int32_t> scores;
    std::vector<std::string> ids;
    for (int i = 0; i < 24; ++i) {
        const int32_t score = 1000 + static_cast<int32_t>(random() % 100000) * 10 + i;
        const TReplyPairs reply = Publish(i % 2 ? secondPort : firstPort, Record("", score));
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
            Publish(firstPort, Record("", 5 + 2 * i));
    });
    std::thread b([&] {
        for (int i = 0; i < 10; ++i)
            Publish(secondPort, Record("", 6 + 2 * i));
    });
    a.join();
    b.join();
    std::vector<int32_t> sorted = scores;
    for (int32_t low = 5; low < 25; ++low)
        sorted.push_back(low);
    std::sort(sorted.rbegin(), sorted.rend());
    for (size_t i = 0; i < ids.size(); ++i) {
        const TReplyPairs reply = Publish(i % 2 ? firstPort : secondPort, Record(ids[i], 1));
        EXPECT_EQ(ReplyValue(reply, "ID"), ids[i]);
        const auto place = std::find(sorted.begin(), sorted.end(), scores[i]) - sorted.begin() + 1;
        EXPECT_EQ(ReplyValue(reply, "Rang"), std::to_string(place));
        EXPECT_EQ(ReplyValue(reply, "Alterrang"), std::to_string(place));
    }
}
