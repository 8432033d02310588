#include "server/WebServer.h"

#include "GameRecordSamples.h"
#include "ServerTestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <random>

namespace {

// 2024-03-06 12:00 UTC, a Wednesday: one ISO week everywhere.
const TServerClock::time_point Now = TServerClock::from_time_t(1709726400);

TRandomIndex Seeded(unsigned seed) {
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine](int n) { return static_cast<int>((*engine)() % static_cast<unsigned>(n)); };
}

TPublishRecord Record(const std::string& id, const std::string& name, int32_t score) {
    TPublishRecord record;
    record.PublishID = id;
    record.PublishName = name;
    record.Score = score;
    record.Country = "Deutschland";
    return record;
}

class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Port = Web.Start("127.0.0.1", 0);
        Client = std::make_unique<httplib::Client>("127.0.0.1", Port);
        Client->set_connection_timeout(5);
        Client->set_read_timeout(10);
    }

    httplib::Result Get(const std::string& path) { return Client->Get(path.c_str()); }

    std::string Body(const std::string& path, int status = 200) {
        const auto result = Get(path);
        EXPECT_TRUE(result) << path;
        if (!result) return {};
        EXPECT_EQ(result->status, status) << path;
        return result->body;
    }

    TReplyPairs Publish(const TPublishRecord& record, unsigned seed = 1) {
        return ParseReply(Body("/score.php?cs=" + EncodeRecord(BuildRecord(record), Seeded(seed))));
    }

    TTempFolder Folder;
    TDataFolder Data{Folder.Path / "data"};
    TScoreStore Scores{Data.DatabaseFile()};
    TWebServer Web{Data, Scores, [] { return Now; }};
    int Port = 0;
    std::unique_ptr<httplib::Client> Client;
};

} // namespace

TEST_F(WebServerTest, PublishingAnswersRanksAndRecognisesThePlayer) {
    const TReplyPairs first = Publish(Record("", "Anna", 1000));
    const auto id = ReplyValue(first, "ID");
    ASSERT_TRUE(id);
    EXPECT_EQ(ReplyValue(first, "Rang"), "1");
    EXPECT_EQ(ReplyValue(first, "Platz1"), "1000");
    EXPECT_EQ(ReplyValue(first, "wRang"), "1");
    EXPECT_EQ(ReplyValue(first, "wPlatz1"), "1000");
    EXPECT_FALSE(ReplyValue(first, "Alterrang"));
    EXPECT_FALSE(ReplyValue(first, "wAlterrang"));

    const TReplyPairs other = Publish(Record("", "Bert", 2000), 2);
    EXPECT_NE(ReplyValue(other, "ID"), id);
    EXPECT_EQ(ReplyValue(other, "Rang"), "1");

    const TReplyPairs again = Publish(Record(*id, "Anna", 3000), 3);
    EXPECT_EQ(ReplyValue(again, "ID"), id);
    EXPECT_EQ(ReplyValue(again, "Rang"), "1");
    EXPECT_EQ(ReplyValue(again, "Alterrang"), "2");
    EXPECT_EQ(ReplyValue(again, "wAlterrang"), "2");
    EXPECT_EQ(ReplyValue(again, "Platz1"), "3000");
    EXPECT_EQ(Scores.AllTime().size(), 2u);
}

TEST_F(WebServerTest, UnreadableRecordGetsNoRankAndChangesNothing) {
    Publish(Record("", "Anna", 1000));
    const std::string good = EncodeRecord(BuildRecord(Record("", "Bert", 5)), Seeded(4));
    // Decodes, but is not a record; a key that is no permutation; cut short; no "cs" at all.
    const std::string notARecord = EncodeRecord("KVQ|nur|drei|KVQ|", Seeded(5));
    std::string badKey = good;
    badKey[1] = badKey[0];
    for (const std::string& query :
         {"cs=" + notARecord, "cs=" + badKey, "cs=" + good.substr(0, 100), std::string("x=1"),
          std::string("cs=%ZZ"), std::string("cs=")}) {
        const auto result = Get("/score.php?" + query);
        ASSERT_TRUE(result) << query;
        EXPECT_FALSE(ReplyValue(ParseReply(result->body), "Rang")) << query;
    }
    EXPECT_EQ(Scores.PublicationCount(), 1);
}

TEST_F(WebServerTest, OversizedCsIsRefused) {
    const std::string huge = "cs=" + std::string(MaxCsLength + 1, 'A');
    const auto result = Client->Post("/score.php", huge, "application/x-www-form-urlencoded");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 413);
    EXPECT_FALSE(ReplyValue(ParseReply(result->body), "Rang"));
    EXPECT_EQ(Scores.PublicationCount(), 0);

    // The same road takes an honest record.
    const std::string cs = EncodeRecord(BuildRecord(Record("", "Post", 9)), Seeded(6));
    const auto posted = Client->Post("/score.php", "cs=" + cs, "application/x-www-form-urlencoded");
    ASSERT_TRUE(posted);
    EXPECT_EQ(ReplyValue(ParseReply(posted->body), "Rang"), "1");
}

TEST_F(WebServerTest, PlayerTextsAreEscapedInTheLists) {
    TPublishRecord record = Record("", "<script>x</script>", 900);
    record.Residence = "\"><img src=x>";
    record.Country = "A&B";
    Publish(record);
    Publish(Record("", "x');DROP TABLE s;--", 800), 2);

    for (const char* path : {"/korvaldinternal/highscore.html", "/korvaldinternal"}) {
        const std::string page = Body(path);
        EXPECT_EQ(page.find("<script>"), std::string::npos) << path;
        EXPECT_EQ(page.find("<img"), std::string::npos) << path;
        EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos) << path;
        EXPECT_NE(page.find("x&#39;);DROP TABLE s;--"), std::string::npos) << path;
    }
    const std::string lists = Body("/korvaldinternal/highscore.html");
    EXPECT_NE(lists.find("&quot;&gt;&lt;img src=x&gt;"), std::string::npos);
    EXPECT_NE(lists.find("A&amp;B"), std::string::npos);
    EXPECT_EQ(Scores.AllTime().size(), 2u);
}

TEST_F(WebServerTest, StartPageShowsTheTopFiveOfTheWeek) {
    for (int i = 1; i <= 7; ++i)
        Publish(Record("", "Spieler" + std::to_string(i), i * 100), i);
    const std::string page = Body("/korvaldinternal");
    EXPECT_NE(page.find("Top 5 der Woche"), std::string::npos);
    EXPECT_NE(page.find("Spieler7"), std::string::npos);
    EXPECT_NE(page.find("Spieler3"), std::string::npos);
    EXPECT_EQ(page.find("Spieler2"), std::string::npos);
    EXPECT_NE(page.find("KW 10/2024"), std::string::npos);
    EXPECT_NE(page.find("/korvaldinternal/highscore.html"), std::string::npos);
    EXPECT_EQ(Body("/korvaldinternal/"), page);

    const std::string lists = Body("/korvaldinternal/highscore.html");
    EXPECT_NE(lists.find("Dauer-Highscore"), std::string::npos);
    EXPECT_NE(lists.find("Wochenhighscore"), std::string::npos);
    EXPECT_NE(lists.find("Spieler1"), std::string::npos);
}

TEST_F(WebServerTest, OperatorFilesAreServedFromTheDataFolder) {
    const auto version = Get("/korvaldinternal/version.txt");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->body, "1.05\r\nhttp://127.0.0.1:" + std::to_string(Port) +
                                 "/crumblerush/download.html\r\n");
    EXPECT_NE(Body("/korvaldinternal/errors.txt").find("<W=grafik.html>"), std::string::npos);
    EXPECT_NE(Body("/korvaldinternal/errors/grafik.html").find("<html"), std::string::npos);

    // The operator's own edits are served as they are, and missing files stay missing.
    std::ofstream(Data.Root() / "errors.txt", std::ios::binary) << "<zn=1><z1=X><W=neu.html>\n";
    std::ofstream(Data.Root() / "errors" / "neu.html", std::ios::binary) << "<p>neu</p>";
    EXPECT_EQ(Body("/korvaldinternal/errors.txt"), "<zn=1><z1=X><W=neu.html>\n");
    EXPECT_EQ(Body("/korvaldinternal/errors/neu.html"), "<p>neu</p>");
    Body("/korvaldinternal/errors/fehlt.html", 404);
}

TEST_F(WebServerTest, NoFileOutsideTheErrorsFolder) {
    for (const char* path :
         {"/korvaldinternal/errors/..%2Fcrumble.db", "/korvaldinternal/errors/%2E%2E%2Fnews.txt",
          "/korvaldinternal/errors/../version.txt", "/korvaldinternal/errors/.hidden",
          "/korvaldinternal/errors/a%00b"}) {
        const auto result = Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_NE(result->status, 200) << path;
    }
}

TEST_F(WebServerTest, HelpBrandAndMissingPages) {
    const std::string help = Body("/crumblerush/hilfe/index.html");
    for (const char* word : {"Linke Maustaste", "Enter", "Esc", "Explosion", "Dauerfeuer",
                             "Umgedrehte T&uuml;te", "Doppelt breite T&uuml;te"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_NE(Body("/korvald/").find("Korvald"), std::string::npos);
    EXPECT_NE(Body("/gibt/es/nicht", 404).find("Diese Seite gibt es nicht"), std::string::npos);
}

TEST_F(WebServerTest, MalformedRequestsLeaveTheServerRunning) {
    const std::vector<std::string> garbage = {
        "GARBAGE\r\n\r\n",
        std::string("\x00\xFF\x01\x02\r\n\r\n", 8),
        "GET /korvaldinternal HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n",
        "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n",
        "POST /score.php HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\ncs=",
        "GET /score.php?cs=%%%%%% HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /korvaldinternal HTTP/1.1\r\nHost: x\r\n", // ends mid-header
    };
    for (const std::string& request : garbage) {
        TTestConnection connection(Port);
        connection.Send(request);
    }
    {
        TTestConnection connection(Port);
        connection.Send("GET /korvaldinternal/version.txt HTTP/1.1\r\nHost: <script>\r\n"
                        "Connection: close\r\n\r\n");
        const std::string answer = connection.ReadAll();
        EXPECT_NE(answer.find("200"), std::string::npos);
        EXPECT_EQ(answer.find("<script>"), std::string::npos); // no host taken over unchecked
    }
    EXPECT_EQ(ReplyValue(Publish(Record("", "Danach", 1)), "Rang"), "1");
}

TEST(RawQueryValue, FindsTheRawValue) {
    EXPECT_EQ(RawQueryValue("/score.php?cs=A%2BB&x=1", "cs"), "A%2BB");
    EXPECT_EQ(RawQueryValue("x=1&cs=abc", "cs"), "abc");
    EXPECT_EQ(RawQueryValue("/score.php?xcs=1&cs=2#frag", "cs"), "2");
    EXPECT_EQ(RawQueryValue("/score.php?cs", "cs"), "");
    EXPECT_FALSE(RawQueryValue("/score.php", "cs"));
    EXPECT_FALSE(RawQueryValue("/score.php?c=1", "cs"));
}

TEST(DataFolder, FillsMissingFilesAndKeepsTheOperatorsOwn) {
    TTempFolder folder;
    const auto root = folder.Path / "neu";
    std::filesystem::create_directories(root);
    std::ofstream(root / "version.txt", std::ios::binary) << "2.0\r\nhttp://example.org/\r\n";
    const TDataFolder data(root);
    EXPECT_EQ(data.Read("version.txt"), "2.0\r\nhttp://example.org/\r\n");
    for (const char* name : {"errors.txt", "news.txt", "errors/grafik.html", "errors/sound.html",
                             "errors/absturz.html"})
        EXPECT_TRUE(data.Read(name)) << name;
    EXPECT_FALSE(data.Read("crumble.db"));
    EXPECT_FALSE(data.Read("errors/../news.txt"));
    EXPECT_FALSE(data.News().empty());
}

TEST_F(WebServerTest, GameRecordsAreCheckedStoredAndShown) {
    // 92 seconds, 347 shots with 46 hits, 55 chip and 16 pepper pieces caught, 3 waves, one
    // pause: 100 * 55 + 200 * 16 + 1000 * 3 - 1000 = 10700 points at most.
    const TGameStatistics game = KnownGame();
    const std::string digits = GameRecordDigits(MakeGameRecord(game));
    TPublishRecord honest = Record("", "Anna", 10700);
    honest.GameRecord = DisguiseGameRecord(digits, Seeded(11));
    const TReplyPairs accepted = Publish(honest);
    EXPECT_EQ(ReplyValue(accepted, "Rang"), "1");

    TPublishRecord greedy = Record("", "Bert", 10800);
    greedy.GameRecord = DisguiseGameRecord(digits, Seeded(12));
    const TReplyPairs contradicted = Publish(greedy, 2);
    EXPECT_FALSE(ReplyValue(contradicted, "Rang"));
    EXPECT_EQ(ReplyValue(contradicted, "Fehler"), "Punktestand passt nicht zum Spielverlauf");

    TPublishRecord tampered = Record("", "Cleo", 100);
    tampered.GameRecord = DisguiseGameRecord(digits, Seeded(13));
    tampered.GameRecord[10] = '5';
    const TReplyPairs refused = Publish(tampered, 3);
    EXPECT_FALSE(ReplyValue(refused, "Rang"));
    EXPECT_EQ(ReplyValue(refused, "Fehler"), "Spielverlauf nicht lesbar");

    // A settings file from before records: taken, but not verified.
    const TReplyPairs old = Publish(Record("", "Dora", 20000), 4);
    EXPECT_EQ(ReplyValue(old, "Rang"), "1");
    EXPECT_EQ(Scores.PublicationCount(), 2);

    const std::vector<TListEntry> list = Scores.AllTime();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list[0].Record);
    ASSERT_TRUE(list[1].Record);
    EXPECT_EQ(*list[1].Record, MakeGameRecord(game));

    const std::string page = Body("/korvaldinternal/highscore.html");
    EXPECT_NE(page.find("ungepr&uuml;ft"), std::string::npos);
    EXPECT_NE(page.find(">92 s<"), std::string::npos);
    // 46 hits of 300 to 399 shots: 11.5 % to 15.3 %.
    EXPECT_NE(page.find(">11&ndash;16 %<"), std::string::npos);
}
