#include "server/ScoreStore.h"

#include "ServerTestSupport.h"

#include <gtest/gtest.h>

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

class ScoreStoreTest : public ::testing::Test {
  protected:
    TTempFolder Folder;
    TScoreStore Store{(Folder.Path / "scores.db").string()};
};

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

TEST_F(ScoreStoreTest, FirstPublicationGetsAnIdAndRankOne) {
    const TPublishReply reply = Store.Submit(Record("", "Anna", 5000), Wednesday());
    EXPECT_EQ(reply.ID.size(), 32u);
    EXPECT_EQ(reply.Rang, 1);
    EXPECT_FALSE(reply.Alterrang);
    EXPECT_EQ(reply.Platz1, 5000);
    EXPECT_EQ(reply.wRang, 1);
    EXPECT_FALSE(reply.wAlterrang);
    EXPECT_EQ(reply.wPlatz1, 5000);
}

TEST_F(ScoreStoreTest, RanksAllTimeAndWeeklyWithAResubmittingPlayer) {
    const std::string anna = Store.Submit(Record("", "Anna", 1000), Wednesday()).ID;
    const std::string bert = Store.Submit(Record("", "Bert", 2000), Wednesday()).ID;
    const std::string cleo = Store.Submit(Record("", "Cleo", 3000), Wednesday()).ID;
    ASSERT_NE(anna, bert);

    // A week later Anna beats everybody: her old all-time rank was 3; this week she is new.
    TPublishReply reply = Store.Submit(Record(anna, "Anna", 4000), Wednesday(1));
    EXPECT_EQ(reply.ID, anna);
    EXPECT_EQ(reply.Rang, 1);
    EXPECT_EQ(reply.Alterrang, 3);
    EXPECT_EQ(reply.Platz1, 4000);
    EXPECT_EQ(reply.wRang, 1);
    EXPECT_FALSE(reply.wAlterrang);
    EXPECT_EQ(reply.wPlatz1, 4000);

    // Bert publishes a weaker score in that week: all-time he keeps his best (now 3rd).
    reply = Store.Submit(Record(bert, "Bert", 500), Wednesday(1));
    EXPECT_EQ(reply.Rang, 3);
    EXPECT_EQ(reply.Alterrang, 3);
    EXPECT_EQ(reply.Platz1, 4000);
    EXPECT_EQ(reply.wRang, 2);
    EXPECT_FALSE(reply.wAlterrang);

    // Bert again, better than Anna this week: weekly 2 -> 1, all-time 3 -> 1.
    reply = Store.Submit(Record(bert, "Bert", 4500), Wednesday(1));
    EXPECT_EQ(reply.Rang, 1);
    EXPECT_EQ(reply.Alterrang, 3);
    EXPECT_EQ(reply.wRang, 1);
    EXPECT_EQ(reply.wAlterrang, 2);
    EXPECT_EQ(reply.wPlatz1, 4500);

    // One entry per player in each list, the best score each.
    const auto allTime = Store.AllTime();
    ASSERT_EQ(allTime.size(), 3u);
    EXPECT_EQ(allTime[0].PlayerID, bert);
    EXPECT_EQ(allTime[0].Score, 4500);
    EXPECT_EQ(allTime[1].PlayerID, anna);
    EXPECT_EQ(allTime[2].PlayerID, cleo);
    EXPECT_EQ(allTime[2].Rank, 3);
    const auto week = Store.Week(Wednesday(1));
    ASSERT_EQ(week.size(), 2u);
    EXPECT_EQ(week[1].PlayerID, anna);
    EXPECT_EQ(Store.Week(Wednesday()).size(), 3u);
    EXPECT_TRUE(Store.Week(Wednesday(2)).empty());
    EXPECT_EQ(Store.PublicationCount(), 6);
}

TEST_F(ScoreStoreTest, EqualScoreRanksBehindTheEarlierOne) {
    Store.Submit(Record("", "Erster", 700), Wednesday());
    const TPublishReply second = Store.Submit(Record("", "Zweiter", 700), Wednesday());
    EXPECT_EQ(second.Rang, 2);
    EXPECT_EQ(Store.AllTime(1).size(), 1u);
    EXPECT_EQ(Store.AllTime(1)[0].Name, "Erster");
    // Reaching the same score again does not move the first one behind the second.
    const std::string first = Store.AllTime(1)[0].PlayerID;
    const TPublishReply again = Store.Submit(Record(first, "Erster", 700), Wednesday());
    EXPECT_EQ(again.Rang, 1);
    EXPECT_EQ(again.wRang, 1);
}

TEST_F(ScoreStoreTest, UnknownIdGetsAFreshIdentity) {
    const TPublishReply reply = Store.Submit(Record("made-up-id", "Mallory", 100), Wednesday());
    EXPECT_NE(reply.ID, "made-up-id");
    EXPECT_EQ(reply.ID.size(), 32u);
    EXPECT_FALSE(reply.Alterrang);
}

TEST_F(ScoreStoreTest, NameCraftedAsSqlIsStoredAsText) {
    const std::string crafted = "x'); DROP TABLE scores;--";
    Store.Submit(Record("", "Anna", 10), Wednesday());
    TPublishRecord record = Record("", crafted, 20);
    record.Residence = "' OR '1'='1";
    record.Comment = "\"; DELETE FROM players; --";
    const TPublishReply reply = Store.Submit(record, Wednesday());
    EXPECT_EQ(reply.Rang, 1);
    const auto list = Store.AllTime();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, crafted);
    EXPECT_EQ(list[0].Residence, "' OR '1'='1");
    EXPECT_EQ(Store.PublicationCount(), 2);
}

TEST_F(ScoreStoreTest, TextsAreKeptAsUtf8) {
    TPublishRecord record = Record("", "J\xFCrgen", 10); // Windows-1252 from the program
    record.Country = "\xD6sterreich";
    record.Comment = "\x80"; // the euro sign
    Store.Submit(record, Wednesday());
    const auto list = Store.AllTime();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, "J\xC3\xBCrgen");
    EXPECT_EQ(list[0].Country, "\xC3\x96sterreich");
}

TEST_F(ScoreStoreTest, SurvivesReopening) {
    const std::string path = (Folder.Path / "again.db").string();
    std::string id;
    {
        TScoreStore first(path);
        id = first.Submit(Record("", "Anna", 300), Wednesday()).ID;
    }
    TScoreStore second(path);
    const TPublishReply reply = second.Submit(Record(id, "Anna", 200), Wednesday());
    EXPECT_EQ(reply.ID, id);
    EXPECT_EQ(reply.Alterrang, 1);
    EXPECT_EQ(second.AllTime()[0].Score, 300);
}
