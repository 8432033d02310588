// crumble-tool publish | report send | version check | errors match | cs decode | record decode,
// run as a player or an operator would, against stand-in web servers of the test and, for a
// report, the companion server's mailbox.
#include "TestSupport.h"
#include "online/GameRecord.h"
#include "online/OnlineTestSupport.h"
#include "shell/DecodeUnit.h"

#include <gtest/gtest.h>

namespace {

// What the tool said on either stream: its messages go to stderr when they are errors.
std::string Said(const TToolRun& run) {
    return run.Out + run.Err;
}

class OnlineCommandsTest : public ::testing::Test {
  protected:
    TToolRun Run(const QStringList& args) { return RunTool(args, Folder.Path); }
    static QString Closed() { return QString("http://127.0.0.1:%1/").arg(ClosedPort()); }
    static QString Served(const TStubServer& web) {
        return QString("http://127.0.0.1:%1/").arg(web.Port);
    }
    TTempProgramFolder Folder;
};

} // namespace

TEST_F(OnlineCommandsTest, PublishSendsTheBestScoreAndPrintsTheReply) {
    TStubServer web({}, HttpReply("ID=abc\r\nRang=1\r\nPlatz1=31000\r\n"));
    Env = DefaultEnvData();
    Env.Highscores[0].Name.Set("Kalle");
    Env.Highscores[0].Score = 31000;
    Env.PublishName.Set("Andere");
    Env.Comment.Set("alt");
    Env.GamesStarted = 3;
    Env.GamesWon = 1;
    Env.GameRecords[0].Set("abcdef");
    SaveEnv();
    const TToolRun run = Run({"publish", "SPS/env.dat", "--webserver", Served(web)});
    EXPECT_EQ(run.ExitCode, 0) << Said(run);
    EXPECT_NE(run.Out.find("ID=abc\nRang=1\nPlatz1=31000\n"), std::string::npos) << Said(run);
    // The request is the score script's, sent as the dialog sends it untouched: the best
    // entry's name, no comment, the game record. The tool's own cs decode reads it back.
    const std::string request = web.Received();
    ASSERT_TRUE(request.starts_with("GET /score.php?cs=")) << request;
    const std::string cs = request.substr(18, request.find(' ', 18) - 18);
    EXPECT_EQ(Run({"cs", "decode", QString::fromStdString(cs)}).Out,
              "KVQ| |31000|Kalle| |Schweiz| | | | |3|1|abcdef|KVQ|\n");
    EXPECT_EQ(Run({"cs", "decode", "%ZZ"}).ExitCode, 1);
    EXPECT_EQ(Run({"cs", "decode", "abc"}).ExitCode, 1);

    const TToolRun offline = Run({"publish", "SPS/env.dat", "--webserver", Closed()});
    EXPECT_EQ(offline.ExitCode, 1);
    EXPECT_NE(
        Said(offline).find("Highscore konnte nicht veröffentlicht werden: Unbekannte Antwort"),
        std::string::npos)
        << Said(offline);

    Env = DefaultEnvData();
    SaveEnv();
    const TToolRun empty = Run({"publish", "SPS/env.dat", "--webserver", Served(web)});
    EXPECT_EQ(empty.ExitCode, 1);
    EXPECT_NE(Said(empty).find("Ihre Highscoreliste ist noch leer."), std::string::npos);
}

TEST_F(OnlineCommandsTest, ReportSendMailsTheTextAndTheLog) {
    TTestServer server;
    Folder.Put("crash.txt", "Program Version 1.05\r\nERROR\r\n");
    const TToolRun run =
        Run({"report", "send", "--from", "tester@example.org", "--text", "Es hakt.", "--log",
             "crash.txt", "--webserver", QString::fromStdString(server.WebServer()), "--mailserver",
             QString::fromStdString(server.MailServer())});
    EXPECT_EQ(run.ExitCode, 0) << Said(run);
    EXPECT_NE(run.Out.find("Vielen Dank für Ihre Hilfe!"), std::string::npos);
    const std::string sent = server.Reports("1");
    EXPECT_NE(sent.find("From:     tester@example.org\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\n\nEs hakt.\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("crash.txt (29 bytes) ---\nProgram Version 1.05\r\nERROR\r\n"),
              std::string::npos)
        << sent;

    EXPECT_EQ(
        Run({"report", "send", "--from", "a@b.example", "--text", "x", "--webserver", Closed()})
            .ExitCode,
        1);
    EXPECT_EQ(Run({"report", "send", "--text", "x"}).ExitCode, 1);
}

TEST_F(OnlineCommandsTest, VersionCheckPrintsWhatTheDialogWouldSay) {
    {
        TStubServer web({}, HttpReply("1.05\r\nhttp://example.org/\r\n"));
        const TToolRun run = Run({"version", "check", "--webserver", Served(web)});
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Out, "Sie haben die aktuelle Version dieses Programmes.\n");
        EXPECT_TRUE(web.Received().starts_with("GET /korvaldinternal/version.txt "));
    }
    TStubServer web({}, HttpReply("2.0\r\nhttp://example.org/neu\r\n"));
    EXPECT_TRUE(Run({"version", "check", "--webserver", Served(web)})
                    .Out.starts_with("Es ist eine neuere Version (2.0) dieses Programmes"));
    EXPECT_EQ(Run({"version", "check", "--webserver", Closed()}).ExitCode, 1);
}

TEST_F(OnlineCommandsTest, ErrorsMatchNamesThePageAndWhetherTheLogStays) {
    Folder.Put("errors.txt", "<zn=2><z1=Loading Sound><z2=generic error:><S><W=sound.html>\r\n"
                             "<zn=1><z1=Exception raised in Threadnotify><W=absturz.html>\r\n");
    Folder.Put("crash.txt", "Loading Sound: x\r\ngeneric error: y\r\nERROR\r\n");
    Folder.Put("flip.txt", "Exception raised in Threadnotify while Flip(\r\nERROR\r\n");
    Folder.Put("fine.txt", "Program Version 1.05\r\nOK\r\n");
    Folder.Put("bad.txt", "<z1=ERROR><W=x>\r\n");
    EXPECT_EQ(Run({"errors", "match", "crash.txt", "errors.txt"}).Out, "match sound.html keep\n");
    EXPECT_EQ(Run({"errors", "match", "flip.txt", "errors.txt"}).Out, "match absturz.html erase\n");
    EXPECT_EQ(Run({"errors", "match", "fine.txt", "errors.txt"}).Out, "no match\n");
    const TToolRun bad = Run({"errors", "match", "fine.txt", "bad.txt"});
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_NE(Said(bad).find("kein gültiger ganzzahliger Wert"), std::string::npos);
}

TEST_F(OnlineCommandsTest, RecordDecodeNamesEveryField) {
    TGameStatistics game;
    game.SecondsPlayed = 92;
    game.ShotsFired = 347;
    game.Hits = {0, 31, 1, 10, 2, 1, 1};
    game.PepperCaughtHigher = 4;
    const std::string text =
        DisguiseGameRecord(GameRecordDigits(MakeGameRecord(game)), [](int n) { return n - 1; });
    const TToolRun run = Run({"record", "decode", QString::fromStdString(text)});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("Digits: 4230000000031000010010201010000000000000000000000000004\n"),
              std::string::npos)
        << run.Out;
    for (const char* line : {"SecondsOver50: 42\n", "ShotsHundreds: 3\n", "Hits1: 31\n",
                             "Hits3: 10\n", "PepperCaughtHigher: 4\n", "SecondsPlayed: 92\n"})
        EXPECT_NE(run.Out.find(line), std::string::npos) << line << run.Out;
    size_t lines = 0;
    for (const char c : run.Out)
        lines += c == '\n';
    EXPECT_EQ(lines, 1 + 24 + 3u);
    const TToolRun bad = Run({"record", "decode", QString::fromStdString(text.substr(1))});
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_NE(bad.Err.find("Kein gültiger Spielverlauf"), std::string::npos);
}
