#include "server/WebServer.h"

#include "GameRecordSamples.h"
#include "ServerTestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <map>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

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
    TServerClock::time_point Clock = Now;
    TWebServer Web{Data, Scores, [this] { return Clock; }};
    int Port = 0;
    std::unique_ptr<httplib::Client> Client;

    // Each raw request on a connection of its own to another server on the same data, with these
    // options; the answers, and the lines that server logged.
    std::pair<std::vector<std::string>, std::vector<std::string>>
    Logged(TWebServerOptions options, const std::vector<std::string>& requests) {
        std::mutex lock;
        std::vector<std::string> answers, lines;
        options.Log = [&](const std::string& line) {
            const std::lock_guard guard(lock);
            lines.push_back(line);
        };
        TWebServer web(
            Data, Scores, [] { return Now; }, options);
        const int port = web.Start("127.0.0.1", 0);
        for (const std::string& request : requests) {
            TTestConnection connection(port);
            connection.Send(request);
            answers.push_back(connection.ReadAll());
        }
        web.Stop();
        return {answers, lines};
    }
};

} // namespace

// The ranks themselves are the store's; here each reaches the player under its own key.
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

    const TReplyPairs again = Publish(Record(*id, "Anna", 3000), 3);
    EXPECT_EQ(ReplyValue(again, "ID"), id);
    EXPECT_EQ(ReplyValue(again, "Rang"), "1");
    EXPECT_EQ(ReplyValue(again, "Alterrang"), "2");
    EXPECT_EQ(ReplyValue(again, "wAlterrang"), "2");
    EXPECT_EQ(ReplyValue(again, "Platz1"), "3000");
}

TEST_F(WebServerTest, PublicationsArrivingTogetherEachGetTheirOwnAnswer) {
    // Several clients at once, so that publications (and refusals) are stored in one group.
    constexpr int Clients = 8, Rounds = 3; // within the limit per address
    std::mutex lock;
    std::map<std::string, int32_t> sent; // the identity each client got, with its best score
    std::vector<std::string> refusals;
    std::vector<std::thread> clients;
    for (int c = 0; c < Clients; ++c)
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", Port);
            client.set_read_timeout(10);
            std::string id;
            for (int round = 0; round < Rounds; ++round) {
                const int32_t score = 1000 * c + 10 * round;
                const auto result =
                    client.Get("/score.php?cs=" +
                               EncodeRecord(BuildRecord(Record(id, "P" + std::to_string(c), score)),
                                            Seeded(c * Rounds + round)));
                const auto refused = client.Get("/score.php?cs=nonsense");
                const std::lock_guard guard(lock);
                if (refused) refusals.push_back(refused->body);
                if (!result || result->status != 200) continue;
                const auto got = ReplyValue(ParseReply(result->body), "ID");
                if (!got || (!id.empty() && *got != id)) continue;
                id = *got;
                sent[id] = score;
            }
        });
    for (std::thread& client : clients)
        client.join();

    ASSERT_EQ(sent.size(), size_t(Clients));
    EXPECT_EQ(refusals,
              std::vector<std::string>(Clients * Rounds, "Fehler=Unlesbarer Datensatz\r\n"));
    const auto list = Scores.AllTime();
    ASSERT_EQ(list.size(), size_t(Clients));
    for (const TListEntry& entry : list)
        EXPECT_EQ(entry.Score, sent[entry.PlayerID]) << entry.PlayerID;
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

TEST_F(WebServerTest, OperatorFilesAndTheServersOwnPagesAreServed) {
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

    // The help, the brand's page, and the page for everything else.
    const std::string help = Body("/crumblerush/hilfe/index.html");
    for (const char* word : {"Linke Maustaste", "Enter", "Esc", "Explosion", "Dauerfeuer",
                             "Umgedrehte T&uuml;te", "Doppelt breite T&uuml;te"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_NE(Body("/korvald/").find("Korvald"), std::string::npos);
    EXPECT_NE(Body("/gibt/es/nicht", 404).find("Diese Seite gibt es nicht"), std::string::npos);
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

TEST_F(WebServerTest, TheSixtyFirstPublicationInAMinuteIsRefusedInGerman) {
    for (int i = 1; i <= 60; ++i)
        ASSERT_EQ(ReplyValue(Publish(Record("", "Spieler" + std::to_string(i), i), i), "Rang"), "1")
            << "publication " << i;
    const std::string cs = EncodeRecord(BuildRecord(Record("", "Zuviel", 0)), Seeded(61));
    const auto refused = Get("/score.php?cs=" + cs);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 429);
    EXPECT_EQ(refused->body, TooManyPublicationsText);
    EXPECT_NE(refused->body.find("Veröffentlichungen"), std::string::npos);
    EXPECT_EQ(refused->get_header_value("Retry-After"), "60");
    EXPECT_EQ(Scores.PublicationCount(), 60);
    // The pages are no publications.
    Body("/korvaldinternal/highscore.html");

    // A minute after the first ones (the window is the limit's own test), room again.
    Clock = Now + std::chrono::seconds(60);
    EXPECT_EQ(ReplyValue(Publish(Record("", "Zuviel", 0), 62), "Rang"), "61");
}

// What each page shows is the pages' own; here they come with this week's lists, current right
// after a publication.
TEST_F(WebServerTest, ThePagesShowTheListsOfTheWeekAtOnce) {
    Publish(Record("", "Erste", 100));
    const std::string before = Body("/korvaldinternal/highscore.html");
    EXPECT_EQ(Body("/korvaldinternal/highscore.html"), before);
    EXPECT_EQ(before.find("Zweite"), std::string::npos);
    Publish(Record("", "Zweite", 50), 2);
    EXPECT_NE(Body("/korvaldinternal/highscore.html").find("Zweite"), std::string::npos);
    const std::string start = Body("/korvaldinternal");
    EXPECT_NE(start.find("Zweite"), std::string::npos);
    EXPECT_NE(start.find("KW 10/2024"), std::string::npos);
    EXPECT_NE(start.find("/korvaldinternal/highscore.html"), std::string::npos);
    EXPECT_EQ(Body("/korvaldinternal/"), start);

    // The operator's news show at once as well.
    std::ofstream(Data.Root() / "news.txt", std::ios::binary) << "Neu: Sonderpreis!\n";
    EXPECT_NE(Body("/korvaldinternal").find("Neu: Sonderpreis!"), std::string::npos);
    // The week turns: its list starts empty.
    Clock = Now + std::chrono::hours(24 * 7);
    EXPECT_NE(Body("/korvaldinternal").find("Diese Woche hat noch niemand"), std::string::npos);
}

TEST_F(WebServerTest, SlowConnectionsDoNotDelayOthers) {
    // Each starts a request and never finishes it, as an attacker would, one byte at a time.
    std::vector<std::unique_ptr<TTestConnection>> slow;
    for (int i = 0; i < 200; ++i) {
        slow.push_back(std::make_unique<TTestConnection>(Port));
        slow.back()->Send("GET /korvaldinternal/highscore.html HTTP/1.1\r\nHost: x\r\nX-Slow: a");
    }
    for (auto& connection : slow)
        connection->Send("b");
    // A thread-per-connection server answers none of these before the slow ones time out.
    auto fastest = std::chrono::hours(1) + std::chrono::steady_clock::duration();
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto page = Get("/korvaldinternal/highscore.html");
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_LT(took, std::chrono::seconds(2));
        fastest = std::min(fastest, took);
    }
    EXPECT_LT(fastest, std::chrono::milliseconds(50));
}

TEST_F(WebServerTest, TheLogHasOneLinePerRequestWithoutControlCharacters) {
    // Escapes and line breaks, raw and percent-encoded: a forged second log line, a terminal
    // that clears its screen.
    std::vector<std::string> requests;
    for (const char* target :
         {"/korvaldinternal/errors/a%1B%5B2J%0D%0A127.0.0.1%20GET%20/x%20200",
          "/korvaldinternal/errors/b\x1b[2J\x7f\xc2\x85z", "/gibt/es/nicht\t\x01"})
        requests.push_back("GET " + std::string(target) +
                           " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const auto [answers, lines] = Logged({}, requests);
    for (const std::string& answer : answers)
        EXPECT_EQ(answer.find("200 OK"), std::string::npos) << answer;
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_TRUE(Printable(line, false)) << line;
        EXPECT_TRUE(line.starts_with("127.0.0.1 GET /")) << line;
    }
    // Whatever the server took of them, each request it answered made exactly one line.
    EXPECT_LE(lines.size(), requests.size());
    EXPECT_NE(lines[0].find("a%1B%5B2J%0D%0A127.0.0.1"), std::string::npos) << lines[0];
}

TEST_F(WebServerTest, BehindATrustedProxyTheForwardedAddressCounts) {
    const std::string cs = EncodeRecord(BuildRecord(Record("", "Hinten", 5)), Seeded(3));
    // Publishes once per forwarded address, checking each answer's status; the log lines.
    const auto serve = [&](const std::string& proxy,
                           const std::vector<std::pair<std::string, std::string>>& sent) {
        TWebServerOptions options;
        options.PublicationsPerMinute = 1;
        options.TrustedProxy = proxy;
        std::vector<std::string> requests;
        for (const auto& [forwarded, status] : sent)
            requests.push_back("GET /score.php?cs=" + cs +
                               " HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: " + forwarded +
                               "\r\nConnection: close\r\n\r\n");
        const auto [answers, lines] = Logged(options, requests);
        for (size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(answers[i].substr(9, 3), sent[i].second) << sent[i].first;
        return lines;
    };

    // The proxy appends the address it saw; what the client put before it is not believed.
    const auto proxied = serve("127.0.0.1", {{"10.9.9.9, 192.0.2.1", "200"},
                                             {"192.0.2.2", "200"},
                                             {"10.9.9.9, 192.0.2.1", "429"},
                                             {"kein\x1b[2J, 192.0.2.3", "200"}});
    ASSERT_EQ(proxied.size(), 4u);
    EXPECT_TRUE(proxied[0].starts_with("192.0.2.1 GET /score.php 200")) << proxied[0];
    EXPECT_TRUE(proxied[2].starts_with("192.0.2.1 GET /score.php 429")) << proxied[2];

    // Without a trusted proxy the header is the client's word and counts for nothing.
    const auto direct = serve("", {{"192.0.2.5", "200"}, {"192.0.2.6", "429"}});
    ASSERT_EQ(direct.size(), 2u);
    EXPECT_TRUE(direct[1].starts_with("127.0.0.1 GET /score.php 429")) << direct[1];
}

TEST_F(WebServerTest, ListensOnTheAddressGivenAndRefusesNonsense) {
    TWebServer web(Data, Scores);
    // All of 127/8 is this machine's loopback: a server on 127.0.0.2 is not on 127.0.0.1.
    const int port = web.Start("127.0.0.2", 0);
    EXPECT_FALSE(TTestConnection::CanConnect("127.0.0.1", port));
    ASSERT_TRUE(TTestConnection::CanConnect("127.0.0.2", port));
    httplib::Client client("127.0.0.2", port);
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, "OK\r\n");

    TWebServer other(Data, Scores);
    EXPECT_THROW(other.Start("kein.host.invalid", 0), std::runtime_error);
    EXPECT_THROW(other.Start("127.0.0.2", port), std::runtime_error); // taken
}
