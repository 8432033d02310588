#include "online/GameRecord.h"

#include "GameRecordSamples.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <stdexcept>

namespace {

TGameRecordRandom Seeded(unsigned seed) {
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine](int n) { return static_cast<int>((*engine)() % static_cast<unsigned>(n)); };
}

const std::string KnownDigits = std::string("42") + "3" + "03" + "01" + "040" + "031" + "012" +
                                "010" + "21" + "32" + "11" + "11" + "093" + "040" + "030" + "012" +
                                "0120" + "0015" + "0036" + "0004";

} // namespace

TEST(GameRecord, TheDigitsOfAKnownGame) {
    ASSERT_EQ(KnownDigits.size(), 55u);
    const TGameRecord record = MakeGameRecord(KnownGame());
    EXPECT_EQ(GameRecordDigits(record), KnownDigits);
    EXPECT_EQ(ParseGameRecordDigits(KnownDigits), record);
    EXPECT_EQ(record.Hits3, 10);
    EXPECT_EQ(record.PepperCaughtHigher, 4);
    EXPECT_EQ(GameRecordSeconds(record), 92);
    EXPECT_EQ(GameRecordHits(record), 31 + 1 + 10 + 2 + 1 + 1);
    // 100 * (40 + 15) + 200 * (12 + 4) + 1000 * 3 - 1000 * 1.
    EXPECT_EQ(GameRecordScoreBound(record), 10700);
}

TEST(GameRecord, FiguresAreCutToTheirFields) {
    TGameStatistics game;
    game.SecondsPlayed = 49;
    EXPECT_EQ(GameRecordDigits(MakeGameRecord(game)).substr(0, 2), "99");
    EXPECT_FALSE(GameRecordSeconds(MakeGameRecord(game)));
    game.SecondsPlayed = 50;
    EXPECT_EQ(GameRecordDigits(MakeGameRecord(game)).substr(0, 2), "00");
    game.SecondsPlayed = 175;
    EXPECT_EQ(GameRecordDigits(MakeGameRecord(game)).substr(0, 2), "25");
    // Only the hundreds of the three-digit shot count.
    game.ShotsFired = 1347;
    EXPECT_EQ(GameRecordDigits(MakeGameRecord(game))[2], '3');
    game.ShotsFired = 99;
    EXPECT_EQ(GameRecordDigits(MakeGameRecord(game))[2], '0');
    // Absolute values, modulo the width.
    game.WavesCompleted = -7;
    game.PauseCount = 123;
    game.PepperCaughtHigher = INT_MIN;
    const std::string digits = GameRecordDigits(MakeGameRecord(game));
    EXPECT_EQ(digits.substr(3, 4), "0723");
    EXPECT_EQ(digits.substr(51, 4), "3648"); // 2147483648
}

TEST(GameRecord, TheDisguiseRoundTripsAndDiffersEachTime) {
    std::set<std::string> seen;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const std::string text = DisguiseGameRecord(KnownDigits, Seeded(seed));
        ASSERT_EQ(text.size(), 55u);
        for (const char c : text)
            ASSERT_TRUE(std::isalpha(static_cast<unsigned char>(c))) << text;
        EXPECT_EQ(RevealGameRecord(text), KnownDigits);
        seen.insert(text);
    }
    EXPECT_GT(seen.size(), 15u);
    // Padding blanks around it, as an empty publishing field carries them, are allowed.
    EXPECT_EQ(RevealGameRecord(" " + DisguiseGameRecord(KnownDigits, Seeded(1)) + "  "),
              KnownDigits);
    // Every digit in every position comes back.
    for (char d = '0'; d <= '9'; ++d) {
        const std::string same(55, d);
        EXPECT_EQ(RevealGameRecord(DisguiseGameRecord(same, Seeded(unsigned(d)))), same);
    }
}

TEST(GameRecord, TamperedTextsAreNoRecord) {
    const std::string text = DisguiseGameRecord(KnownDigits, Seeded(7));
    EXPECT_FALSE(RevealGameRecord(text.substr(1)));
    EXPECT_FALSE(RevealGameRecord(text + "a"));
    EXPECT_FALSE(RevealGameRecord(""));
    EXPECT_FALSE(RevealGameRecord(KnownDigits)); // the plain digits
    for (const char foreign : {'7', '|', '\xE4', ' ', '_'}) {
        std::string bad = text;
        bad[20] = foreign;
        EXPECT_FALSE(RevealGameRecord(bad)) << foreign;
    }
    EXPECT_FALSE(ParseGameRecordDigits(KnownDigits.substr(1)));
    EXPECT_FALSE(ParseGameRecordDigits(KnownDigits.substr(1) + "x"));
    EXPECT_THROW(DisguiseGameRecord("123", Seeded(1)), std::invalid_argument);
    EXPECT_THROW(DisguiseGameRecord(text, Seeded(1)), std::invalid_argument);
}
