#include "server/ScoreStore.h"

#include "PostgresTestSupport.h"
#include "server/Database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <thread>

namespace {

// A Wednesday noon in UTC: the same ISO week in every time zone.
TServerClock::time_point Wednesday(int weeksLater = 0) {
    // 2024-03-06 12:00:00 UTC, ISO week 2024-W10.
    return TServerClock::from_time_t(1709726400) + std::chrono::hours(24 * 7 * weeksLater);
}

TPublishRecord Record(const std::string& id, const std::string& name, int32_t score) {
    TPublishRecord record;
    record.PublishID = id;
    record.PublishName = name;
    record.Score = score;
    return record;
}

std::tm Date(int year, int month, int day) {
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    date.tm_hour = 12;
    const std::time_t seconds = timegm(&date);
    std::tm filled{};
    gmtime_r(&seconds, &filled);
    return filled;
}

class ScoreStoreTest : public TStoreTest {
  protected:
    void SetUp() override {
        TStoreTest::SetUp();
        if (IsSkipped()) return;
        Opened = std::make_unique<TScoreStore>(Address);
    }

    std::unique_ptr<TScoreStore> Opened;
    TScoreStore& Store() { return *Opened; }
};

// The lists as the rules define them, kept by brute force: per list each player's best score
// and when it was first reached; a rank counts the entries that are better.
class TRankModel {
  public:
    struct TEntry {
        int64_t Score;
        int Order;
    };

    // The reply the store owes for this publication.
    TPublishReply Publish(const std::string& player, int32_t score, const std::string& week) {
        TPublishReply reply;
        reply.Alterrang = RankOf("", player);
        reply.wAlterrang = RankOf(week, player);
        ++FOrder;
        for (const std::string& list : {std::string(), week}) {
            auto& entries = FLists[list];
            const auto found = entries.find(player);
            if (found == entries.end() || score > found->second.Score)
                entries[player] = {score, FOrder};
        }
        reply.Rang = RankOf("", player);
        reply.wRang = RankOf(week, player);
        reply.Platz1 = Top("");
        reply.wPlatz1 = Top(week);
        return reply;
    }

    std::optional<int> RankOf(const std::string& list, const std::string& player) {
        auto& entries = FLists[list];
        const auto me = entries.find(player);
        if (me == entries.end()) return std::nullopt;
        int rank = 1;
        for (const auto& [other, entry] : entries)
            if (entry.Score > me->second.Score ||
                (entry.Score == me->second.Score && entry.Order < me->second.Order))
                ++rank;
        return rank;
    }

    std::optional<int32_t> Top(const std::string& list) {
        std::optional<int32_t> top;
        for (const auto& [player, entry] : FLists[list])
            if (!top || entry.Score > *top) top = static_cast<int32_t>(entry.Score);
        return top;
    }

  private:
    std::map<std::string, std::map<std::string, TEntry>> FLists;
    int FOrder = 0;
};

std::string Describe(const TPublishReply& reply) {
    const auto text = [](const auto& value) {
        return value ? std::to_string(*value) : std::string("-");
    };
    return "Rang " + text(reply.Rang) + " Alterrang " + text(reply.Alterrang) + " Platz1 " +
           text(reply.Platz1) + " wRang " + text(reply.wRang) + " wAlterrang " +
           text(reply.wAlterrang) + " wPlatz1 " + text(reply.wPlatz1);
}

// Scores with many ties, the far ends of the range and the edges of the rank buckets.
int32_t ScrambledScore(std::mt19937& random) {
    static constexpr int32_t Edges[] = {
        INT32_MIN, INT32_MAX, 0, -1, 15, 16, 255, 256, 65535, 65536, INT32_MAX - 1, INT32_MIN + 1};
    const unsigned kind = random() % 10;
    if (kind < 6) return static_cast<int32_t>(random() % 8) * 25;
    if (kind < 9) return static_cast<int32_t>(random());
    return Edges[random() % std::size(Edges)];
}

} // namespace

TEST(IsoWeek, YearBoundaries) {
    EXPECT_EQ(IsoWeekKey(Date(2024, 1, 1)), "2024-W01"); // a Monday
    EXPECT_EQ(IsoWeekKey(Date(2024, 3, 6)), "2024-W10");
    EXPECT_EQ(IsoWeekKey(Date(2021, 1, 3)), "2020-W53");   // Sunday in the last week of 2020
    EXPECT_EQ(IsoWeekKey(Date(2024, 12, 30)), "2025-W01"); // Monday of 2025's first week
    EXPECT_EQ(IsoWeekKey(Date(2026, 12, 31)), "2026-W53");
    EXPECT_EQ(IsoWeekKey(Date(2027, 1, 3)), "2026-W53");
    EXPECT_EQ(IsoWeekKey(Date(2027, 1, 4)), "2027-W01");
    EXPECT_EQ(IsoWeekKey(Date(2023, 1, 1)), "2022-W52");
}

// The ranks of every case are checked against the rules below (ScrambledGroups...); this
// is one worked example, and the lists that follow from it.
TEST_P(ScoreStoreTest, RanksAllTimeAndWeeklyWithAResubmittingPlayer) {
    const std::string anna = Store().Submit(Record("", "Anna", 1000), Wednesday()).ID;
    const std::string bert = Store().Submit(Record("", "Bert", 2000), Wednesday()).ID;
    const std::string cleo = Store().Submit(Record("", "Cleo", 3000), Wednesday()).ID;
    ASSERT_NE(anna, bert);

    // A week later Anna beats everybody: her old all-time rank was 3; this week she is new.
    TPublishReply reply = Store().Submit(Record(anna, "Anna", 4000), Wednesday(1));
    EXPECT_EQ(reply.ID, anna);
    EXPECT_EQ(reply.Alterrang, 3);
    EXPECT_EQ(reply.wRang, 1);
    EXPECT_FALSE(reply.wAlterrang);

    // Bert publishes a weaker score in that week: all-time he keeps his best (now 3rd).
    reply = Store().Submit(Record(bert, "Bert", 500), Wednesday(1));
    EXPECT_EQ(reply.Rang, 3);
    EXPECT_EQ(reply.wRang, 2);

    // Bert again, better than Anna this week: weekly 2 -> 1, all-time 3 -> 1.
    reply = Store().Submit(Record(bert, "Bert", 4500), Wednesday(1));
    EXPECT_EQ(reply.Rang, 1);
    EXPECT_EQ(reply.wAlterrang, 2);
    EXPECT_EQ(reply.wPlatz1, 4500);

    // One entry per player in each list, the best score each.
    const auto allTime = Store().AllTime();
    ASSERT_EQ(allTime.size(), 3u);
    EXPECT_EQ(allTime[0].PlayerID, bert);
    EXPECT_EQ(allTime[0].Score, 4500);
    EXPECT_EQ(allTime[1].PlayerID, anna);
    EXPECT_EQ(allTime[2].PlayerID, cleo);
    EXPECT_EQ(allTime[2].Rank, 3);
    const auto week = Store().Week(Wednesday(1));
    ASSERT_EQ(week.size(), 2u);
    EXPECT_EQ(week[1].PlayerID, anna);
    EXPECT_EQ(Store().Week(Wednesday()).size(), 3u);
    EXPECT_TRUE(Store().Week(Wednesday(2)).empty());
    EXPECT_EQ(Store().PublicationCount(), 6);
}

TEST_P(ScoreStoreTest, EqualScoreRanksBehindTheEarlierOne) {
    Store().Submit(Record("", "Erster", 700), Wednesday());
    const TPublishReply second = Store().Submit(Record("", "Zweiter", 700), Wednesday());
    EXPECT_EQ(second.Rang, 2);
    EXPECT_EQ(Store().AllTime(1).size(), 1u);
    EXPECT_EQ(Store().AllTime(1)[0].Name, "Erster");
    // Reaching the same score again does not move the first one behind the second.
    const std::string first = Store().AllTime(1)[0].PlayerID;
    const TPublishReply again = Store().Submit(Record(first, "Erster", 700), Wednesday());
    EXPECT_EQ(again.Rang, 1);
    EXPECT_EQ(again.wRang, 1);
}

TEST_P(ScoreStoreTest, UnknownIdGetsAFreshIdentity) {
    const TPublishReply reply = Store().Submit(Record("made-up-id", "Mallory", 100), Wednesday());
    EXPECT_NE(reply.ID, "made-up-id");
    EXPECT_EQ(reply.ID.size(), 32u);
    EXPECT_FALSE(reply.Alterrang);
}

// Texts crafted as SQL are stored as text; the program's Windows-1252 is kept as UTF-8.
TEST_P(ScoreStoreTest, TextsAreStoredAsTheyAreInUtf8) {
    const std::string crafted = "x'); DROP TABLE scores;--";
    Store().Submit(Record("", "J\xFCrgen", 10), Wednesday());
    TPublishRecord record = Record("", crafted, 20);
    record.Residence = "' OR '1'='1";
    record.Country = "\xD6sterreich";
    record.Comment = "\"; DELETE FROM players; --\x80"; // the euro sign
    EXPECT_EQ(Store().Submit(record, Wednesday()).Rang, 1);
    const auto list = Store().AllTime();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, crafted);
    EXPECT_EQ(list[0].Residence, "' OR '1'='1");
    EXPECT_EQ(list[0].Country, "\xC3\x96sterreich");
    EXPECT_EQ(list[1].Name, "J\xC3\xBCrgen");
    EXPECT_EQ(Store().PublicationCount(), 2);
}

// A single publication is a group of one: groups of one to seven cover both.
TEST_P(ScoreStoreTest, ScrambledGroupsAreStoredInOrderAndRankAsTheRulesSay) {
    std::mt19937 random(20240307);
    TRankModel model;
    std::vector<std::string> players(30); // the store's identity of each, once it has one
    for (int round = 0; round < 60; ++round) {
        // Players known from earlier groups may come more than once in one group; a new
        // player gets its identity only with the group's answer.
        std::vector<TScoreStore::TPublication> group;
        std::vector<size_t> who;
        const size_t size = 1 + random() % 7;
        while (group.size() < size) {
            const size_t player = random() % players.size();
            if (players[player].empty() && std::find(who.begin(), who.end(), player) != who.end())
                continue;
            const auto when = Wednesday(static_cast<int>(random() % 3));
            group.push_back({Record(players[player], "P", ScrambledScore(random)), when, {}, {}});
            who.push_back(player);
        }
        Store().Submit(group);
        for (size_t i = 0; i < group.size(); ++i) {
            ASSERT_FALSE(group[i].Error) << "round " << round << ", publication " << i;
            std::string& id = players[who[i]];
            if (id.empty()) id = group[i].Reply.ID;
            ASSERT_EQ(group[i].Reply.ID, id);
            const TPublishReply expected =
                model.Publish(id, group[i].Record.Score, IsoWeekKey(group[i].Now));
            ASSERT_EQ(Describe(group[i].Reply), Describe(expected))
                << "round " << round << ", publication " << i;
        }
    }
    // The lists agree with the ranks as well.
    for (const TListEntry& entry : Store().AllTime())
        EXPECT_EQ(model.RankOf("", entry.PlayerID), entry.Rank);
}

TEST_P(ScoreStoreTest, RanksSurviveReopeningAndAreRebuiltForAStoreFromBeforeTheRankTables) {
    std::mt19937 random(7);
    TRankModel model;
    std::vector<std::string> ids;
    for (int i = 0; i < 20; ++i) {
        const int32_t score = ScrambledScore(random);
        ids.push_back(Store().Submit(Record("", "P", score), Wednesday()).ID);
        model.Publish(ids.back(), score, IsoWeekKey(Wednesday()));
    }
    // Reopened as it is, then without the tables of later versions. A publication below the
    // player's best leaves its place: old rank and rank agree.
    for (const bool fromBefore : {false, true}) {
        Opened.reset();
        if (fromBefore) OpenDatabase(Address)->Execute("DROP TABLE bests; DROP TABLE rank_counts;");
        Opened = std::make_unique<TScoreStore>(Address);
        for (const std::string& id : ids) {
            const TPublishReply reply = Store().Submit(Record(id, "P", INT32_MIN), Wednesday());
            EXPECT_EQ(reply.ID, id);
            EXPECT_EQ(reply.Rang, model.RankOf("", id)) << fromBefore;
            EXPECT_EQ(reply.Alterrang, reply.Rang);
            EXPECT_EQ(reply.wRang, model.RankOf(IsoWeekKey(Wednesday()), id));
        }
    }
}

TEST_P(ScoreStoreTest, ConcurrentPublicationsThroughTwoConnectionsKeepTheCountsRight) {
    // Two clients on each connection: those of one connection share its transactions.
    TScoreStore other(Address);
    const auto publish = [](TScoreStore& store, unsigned seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < 20; ++i)
            store.Submit(Record("", "P", ScrambledScore(random)), Wednesday());
    };
    std::vector<std::thread> clients;
    for (unsigned seed = 0; seed < 4; ++seed)
        clients.emplace_back(publish, std::ref(seed % 2 ? other : Store()), seed);
    for (std::thread& client : clients)
        client.join();

    // Whichever connection answers, a player's rank is its place in the list.
    const auto list = Store().AllTime();
    ASSERT_EQ(list.size(), 80u);
    for (size_t i = 0; i < list.size(); ++i) {
        TScoreStore& store = i % 2 ? other : Store();
        const TPublishReply reply =
            store.Submit(Record(list[i].PlayerID, "P", INT32_MIN), Wednesday());
        EXPECT_EQ(reply.Rang, static_cast<int>(i) + 1);
        EXPECT_EQ(reply.Alterrang, static_cast<int>(i) + 1);
    }
}

TEST_P(ScoreStoreTest, ListsVersionGrowsWithEveryPublicationAndPingAnswers) {
    EXPECT_TRUE(Store().Ping());
    const int64_t before = Store().ListsVersion();
    Store().Submit(Record("", "Anna", 10), Wednesday());
    const int64_t after = Store().ListsVersion();
    EXPECT_GT(after, before);
    // A publication through another connection shows once the version is read again.
    TScoreStore other(Address);
    other.Submit(Record("", "Bert", 20), Wednesday());
    std::this_thread::sleep_for(TScoreStore::ListsVersionAge + std::chrono::milliseconds(50));
    if (GetParam() == "postgresql") {
        EXPECT_GT(Store().ListsVersion(), after);
    }
}

TEST_P(ScoreStoreTest, ALostDatabaseConnectionIsOpenedAgain) {
    if (GetParam() != "postgresql") GTEST_SKIP() << "an SQLite file has no connection to lose";
    const std::string anna = Store().Submit(Record("", "Anna", 10), Wednesday()).ID;
    // What a restart of the database server does to the store's connection.
    PGconn* admin = PQconnectdb(TPrivatePostgres::Get()->BaseAddress().c_str());
    PQclear(PQexec(admin, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid <> "
                          "pg_backend_pid() AND backend_type = 'client backend'"));
    PQfinish(admin);
    EXPECT_TRUE(Store().Ping());
    EXPECT_EQ(Store().Submit(Record(anna, "Anna", 20), Wednesday()).Alterrang, 1);
    ASSERT_EQ(Store().AllTime().size(), 1u);
    EXPECT_EQ(Store().AllTime()[0].Score, 20);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, ScoreStoreTest, ::testing::ValuesIn(StoreBackEnds),
                         [](const auto& info) { return info.param; });
