#include "online/PublishRecord.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

TPublishRecord FullRecord() {
    TPublishRecord record;
    record.PublishID = "0123456789abcdef0123456789abcdef";
    record.Score = 48700;
    record.PublishName = "Knusper";
    record.Residence = "K\xF6ln"; // Windows-1252, as the settings file keeps it
    record.Country = "Deutschland";
    record.Email = "k@example.org";
    record.Age = 27;
    record.Sex = 'f';
    record.Comment = "Super Spiel!";
    record.GamesStarted = 12;
    record.GamesWon = 3;
    record.GameRecord = "4012030405";
    return record;
}

// Draws from a seeded generator, as the program's own generator would.
TRandomIndex Seeded(unsigned seed) {
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine](int n) { return static_cast<int>((*engine)() % static_cast<unsigned>(n)); };
}

} // namespace

TEST(PublishRecord, BuildsAllFieldsInOrder) {
    TPublishRecord record = FullRecord();
    EXPECT_EQ(BuildRecord(record),
              "KVQ|0123456789abcdef0123456789abcdef|48700|Knusper|K\xF6ln|Deutschland|"
              "k@example.org|27|f|Super Spiel!|12|3|4012030405|KVQ|");
    // Pauses cost points; numbers carry no leading zeros.
    record.Score = -3000;
    record.GamesWon = 0;
    EXPECT_NE(BuildRecord(record).find("|-3000|Knusper|"), std::string::npos);
    EXPECT_NE(BuildRecord(record).find("|12|0|4012030405|"), std::string::npos);
}

TEST(PublishRecord, EmptyFieldsBecomeSingleBlanks) {
    TPublishRecord record;
    record.Score = 1200;
    record.PublishName = "Bob";
    record.GamesStarted = 1;
    // First publication: no ID; Age 0, no sex, nothing else given.
    EXPECT_EQ(BuildRecord(record), "KVQ| |1200|Bob| | | | | | |1|0| |KVQ|");
    record.Sex = '\0';
    EXPECT_EQ(BuildRecord(record), "KVQ| |1200|Bob| | | | | | |1|0| |KVQ|");
}

TEST(PublishRecord, BarsInFieldsBecomeSlashes) {
    TPublishRecord record = FullRecord();
    record.PublishName = "a|b";
    record.Comment = "||";
    record.GameRecord = "|";
    const std::string text = BuildRecord(record);
    EXPECT_NE(text.find("|a/b|"), std::string::npos);
    EXPECT_NE(text.find("|//|"), std::string::npos);
    const auto parsed = ParseRecord(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->PublishName, "a/b");
    EXPECT_EQ(parsed->GameRecord, "/");
}

TEST(PublishRecord, ParseReadsWhatBuildWrites) {
    const TPublishRecord record = FullRecord();
    EXPECT_EQ(ParseRecord(BuildRecord(record)), record);

    TPublishRecord sparse;
    sparse.PublishName = "Bob";
    sparse.Score = 5;
    EXPECT_EQ(ParseRecord(BuildRecord(sparse) + std::string(40, ' ')), sparse);
}

TEST(PublishRecord, ParseRefusesWrongShapes) {
    const std::string good = BuildRecord(FullRecord());
    EXPECT_TRUE(ParseRecord(good));
    EXPECT_FALSE(ParseRecord(""));
    EXPECT_FALSE(ParseRecord("KVQ|KVQ|"));
    EXPECT_FALSE(ParseRecord(good.substr(4)));                  // no head
    EXPECT_FALSE(ParseRecord(good.substr(0, good.size() - 1))); // no final bar
    EXPECT_FALSE(ParseRecord("XVQ" + good.substr(3)));
    // One field too few and one too many.
    EXPECT_FALSE(ParseRecord("KVQ| |5|Bob| | | | | | |1|0|KVQ|"));
    EXPECT_FALSE(ParseRecord("KVQ| |5|Bob| | | | | | |1|0| | |KVQ|"));
    // Field contents.
    EXPECT_FALSE(ParseRecord("KVQ| |5x|Bob| | | | | | |1|0| |KVQ|"));
    EXPECT_FALSE(ParseRecord("KVQ| |99999999999|Bob| | | | | | |1|0| |KVQ|"));
    EXPECT_FALSE(ParseRecord("KVQ| |5|Bob| | | |111| | |1|0| |KVQ|"));
    EXPECT_FALSE(ParseRecord("KVQ| |5|Bob| | | | |x| |1|0| |KVQ|"));
    EXPECT_FALSE(ParseRecord("KVQ| |5| | | | | | | |1|0| |KVQ|")); // no name
    EXPECT_FALSE(ParseRecord("KVQ| |5|" + std::string(21, 'n') + "| | | | | | |1|0| |KVQ|"));
    EXPECT_TRUE(ParseRecord("KVQ| |5|" + std::string(20, 'n') + "| | | |110|m| |1|0| |KVQ|"));
}

TEST(PublishRecord, ExampleSizes) {
    const auto sentBytes = [](size_t recordLength) {
        return PercentDecode(EncodeRecord(std::string(recordLength, 'x'), Seeded(1)))->size();
    };
    EXPECT_EQ(sentBytes(64), 128u);
    EXPECT_EQ(sentBytes(65), 256u);
    EXPECT_EQ(sentBytes(70), 256u);
    EXPECT_EQ(sentBytes(128), 256u);
    EXPECT_EQ(sentBytes(1), 128u);
}

TEST(PublishRecord, EachKeyIsAPermutation) {
    const std::string record = BuildRecord(FullRecord());
    const std::string sent = *PercentDecode(EncodeRecord(record, Seeded(7)));
    ASSERT_EQ(sent.size() % 128, 0u);
    ASSERT_GE(sent.size(), 256u);
    for (size_t block = 0; block < sent.size(); block += 128) {
        std::set<size_t> positions;
        for (size_t k = 0; k < 64; ++k) {
            const size_t position = KeyAlphabet.find(sent[block + k]);
            ASSERT_NE(position, std::string_view::npos);
            positions.insert(position);
        }
        EXPECT_EQ(positions.size(), 64u);
    }
}

TEST(PublishRecord, TranspositionPutsByteKAtKeyPosition) {
    // Swaps entries 0 and 1, then 1 and 2; every other swap is of entry 5 with itself. That
    // leaves P[0] = 1, P[1] = 2, P[2] = 0: a three-cycle, which is not its own inverse.
    const std::vector<int> draws = {0, 1, 1, 2};
    size_t call = 0;
    const TRandomIndex scripted = [&](int) {
        const int draw = call < draws.size() ? draws[call] : 5;
        ++call;
        return draw;
    };
    const std::string block = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,";
    const std::string sent = *PercentDecode(EncodeRecord(block, scripted));
    EXPECT_EQ(call, 2000u);
    // The key spells P: A[1] A[2] A[0], then the identity. S[P[k]] = block[k] puts a at 1,
    // b at 2 and c at 0.
    EXPECT_EQ(sent.substr(0, 64),
              "BCADEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-");
    EXPECT_EQ(sent.substr(64), "cab" + block.substr(3));
}

TEST(PublishRecord, PercentEncodingKeepsOnlyDigitsAndLetters) {
    const std::string encoded = EncodeRecord("a+b-c d|\xE4", [](int) { return 0; });
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            ASSERT_LT(i + 2, encoded.size());
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(encoded[i + 1])));
            EXPECT_FALSE(std::islower(static_cast<unsigned char>(encoded[i + 1])));
            EXPECT_FALSE(std::islower(static_cast<unsigned char>(encoded[i + 2])));
            i += 2;
        } else {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
        }
    }
    // The identity key ends in "+-"; the data follows unchanged.
    EXPECT_NE(encoded.find("9%2B%2Da%2Bb%2Dc%20d%7C%E4%20"), std::string::npos);
}

TEST(PublishRecord, DecodeUndoesEncode) {
    std::vector<std::string> records = {BuildRecord(FullRecord()), "KVQ|x|KVQ|",
                                        std::string(64, 'y'), std::string(300, '\xFF')};
    std::string allBytes;
    for (int b = 1; b < 256; ++b)
        allBytes += static_cast<char>(b);
    records.push_back(allBytes);
    unsigned seed = 3;
    for (const std::string& record : records) {
        const auto decoded = DecodeRecord(EncodeRecord(record, Seeded(seed++)));
        ASSERT_TRUE(decoded);
        ASSERT_EQ(decoded->size() % 64, 0u);
        EXPECT_EQ(decoded->substr(0, record.size()), record);
        EXPECT_EQ(decoded->find_first_not_of(' ', record.size()), std::string::npos);
    }
    EXPECT_EQ(ParseRecord(*DecodeRecord(EncodeRecord(records[0], Seeded(9)))), FullRecord());
}

TEST(PublishRecord, DecodeRefusesDamagedText) {
    const std::string good = EncodeRecord(BuildRecord(FullRecord()), Seeded(5));
    ASSERT_TRUE(DecodeRecord(good));
    EXPECT_FALSE(DecodeRecord(""));
    EXPECT_FALSE(DecodeRecord(good.substr(0, good.size() - 1))); // not whole blocks
    EXPECT_FALSE(DecodeRecord(good + "%4"));                     // escape cut off
    EXPECT_FALSE(DecodeRecord("%G1" + good.substr(1)));          // not hexadecimal
    std::string twice = good;
    twice[1] = twice[0]; // the key repeats a character: no permutation
    EXPECT_FALSE(DecodeRecord(twice));
    std::string foreign = good;
    foreign[0] = '.';
    EXPECT_FALSE(DecodeRecord(foreign));
    EXPECT_FALSE(DecodeRecord(std::string(MaxCsLength + 128, 'A')));
}

TEST(PublishRecord, ReplyLeavesOutAbsentRanks) {
    TPublishReply reply;
    reply.ID = "abc";
    reply.Rang = 5;
    reply.Platz1 = 90000;
    reply.wRang = 2;
    reply.wPlatz1 = 40000;
    EXPECT_EQ(BuildReply(reply),
              "ID=abc\r\nRang=5\r\nPlatz1=90000\r\nwRang=2\r\nwPlatz1=40000\r\n");
    reply.Alterrang = 7;
    reply.wAlterrang = 3;
    const TReplyPairs pairs = ParseReply(BuildReply(reply));
    EXPECT_EQ(ReplyValue(pairs, "Alterrang"), "7");
    EXPECT_EQ(ReplyValue(pairs, "wAlterrang"), "3");
}

TEST(PublishRecord, ReplyParsingTakesAnyLineEnd) {
    for (const char* text : {"ID=abc\nRang=5", "ID=abc\r\nRang=5\r\n", "ID=abc\rRang=5\r"}) {
        const TReplyPairs pairs = ParseReply(text);
        EXPECT_EQ(ReplyValue(pairs, "ID"), "abc") << text;
        EXPECT_EQ(ReplyValue(pairs, "rang"), "5") << text;
        EXPECT_FALSE(ReplyValue(pairs, "Alterrang")) << text;
    }
    const TReplyPairs pairs = ParseReply("<html>\nRang=1\nRang=2\nx=a=b\n");
    EXPECT_EQ(ReplyValue(pairs, "Rang"), "1");
    EXPECT_EQ(ReplyValue(pairs, "x"), "a=b");
    EXPECT_TRUE(ParseReply("").empty());
}
