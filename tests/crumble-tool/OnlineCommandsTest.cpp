// crumble-tool publish | report send | version check | errors match | cs decode | record decode,
// run as a player or an operator would, against stand-in web and mail servers of the test and,
// for a game record, the companion server.
#include "TestSupport.h"
#include "online/GameRecord.h"
#include "online/OnlineTestSupport.h"
#include "shell/DecodeUnit.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace {

struct TRun {
    std::string Out; // standard output and error together
    int Status = -1;
};

TRun RunTool(const std::string& arguments) {
    const std::string command = std::string("'") + CRUMBLE_TOOL_PATH + "' " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    TRun run;
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.Out.append(buffer.data(), got);
    run.Status = WEXITSTATUS(pclose(pipe));
    return run;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A cs value by hand: one block under the identity key, percent-encoded.
std::string IdentityCs(std::string record) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";
    record.resize(64, ' ');
    std::string cs;
    for (char c : alphabet + record) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            cs += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            cs += hex;
        }
    }
    return cs;
}

class OnlineCommandsTest : public ::testing::Test {
  protected:
    std::string Closed() { return "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"; }
    std::string Served(const TStubServer& web) {
        return "http://127.0.0.1:" + std::to_string(web.Port) + "/";
    }
    TTempProgramFolder Folder;
};

} // namespace

TEST_F(OnlineCommandsTest, PublishSendsTheBestScoreAndPrintsTheReply) {
    const std::string reply = "ID=abc\r\nRang=1\r\nPlatz1=31000\r\n";
    TStubServer web({}, HttpReply(reply));
    Env = DefaultEnvData();
    Env.Highscores[0].Name.Set("Kalle");
    Env.Highscores[0].Score = 31000;
    SaveEnv();
    const std::string env = Folder.File("SPS/env.dat");
    const TRun run = RunTool("publish " + Quoted(env) + " --webserver " + Served(web));
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_NE(run.Out.find("ID=abc\nRang=1\nPlatz1=31000\n"), std::string::npos) << run.Out;
    // The request is the score script's, with the best entry in its record.
    const std::string request = web.Received();
    ASSERT_TRUE(request.starts_with("GET /score.php?cs=")) << request;
    const std::string cs = request.substr(18, request.find(' ', 18) - 18);
    const TRun decoded = RunTool("cs decode " + Quoted(cs));
    EXPECT_TRUE(decoded.Out.starts_with("KVQ| |31000|Kalle|")) << decoded.Out;

    const TRun offline = RunTool("publish " + Quoted(env) + " --webserver " + Closed());
    EXPECT_EQ(offline.Status, 1);
    EXPECT_NE(offline.Out.find("Verbindung zum Internet konnte nicht hergestellt werden"),
              std::string::npos);
    EXPECT_NE(offline.Out.find("Highscore konnte nicht veröffentlicht werden: Unbekannte Antwort"),
              std::string::npos)
        << offline.Out;

    Env = DefaultEnvData();
    SaveEnv();
    const TRun empty = RunTool("publish " + Quoted(env) + " --webserver " + Served(web));
    EXPECT_EQ(empty.Status, 1);
    EXPECT_NE(empty.Out.find("Ihre Highscoreliste ist noch leer."), std::string::npos);
}

TEST_F(OnlineCommandsTest, ReportSendMailsTheTextAndTheLog) {
    TStubServer web;
    TMailStub mail;
    Folder.Put("crash.txt", "Program Version 1.05\r\nERROR\r\n");
    const TRun run = RunTool("report send --from tester@example.org --text 'Es hakt.' --log " +
                             Quoted(Folder.Path + "/crash.txt") + " --webserver " + Served(web) +
                             " --mailserver " + mail.Address());
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_NE(run.Out.find("Vielen Dank für Ihre Hilfe!"), std::string::npos);
    ASSERT_EQ(mail.Mails().size(), 1u);
    const std::string sent = mail.Mails()[0];
    EXPECT_NE(sent.find("From: tester@example.org\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\n\r\nEs hakt.\r\n"), std::string::npos) << sent;
    EXPECT_EQ(MailAttachment(sent, "crash.txt"), "Program Version 1.05\r\nERROR\r\n");

    const TRun offline = RunTool("report send --from a@b.example --text x --webserver " + Closed());
    EXPECT_EQ(offline.Status, 1);
    EXPECT_EQ(RunTool("report send --text x").Status, 1);
}

TEST_F(OnlineCommandsTest, VersionCheckPrintsWhatTheDialogWouldSay) {
    {
        TStubServer web({}, HttpReply("1.05\r\nhttp://example.org/\r\n"));
        const TRun run = RunTool("version check --webserver " + Served(web));
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out, "Sie haben die aktuelle Version dieses Programmes.\n");
        EXPECT_TRUE(web.Received().starts_with("GET /korvaldinternal/version.txt "));
    }
    TStubServer web({}, HttpReply("2.0\r\nhttp://example.org/neu\r\n"));
    const TRun run = RunTool("version check --webserver " + Served(web));
    EXPECT_EQ(run.Out, "Es ist eine neuere Version (2.0) dieses Programmes verfügbar unter der "
                       "Adresse http://example.org/neu. Möchten Sie zu dieser Adresse gehen um die "
                       "neue Version downzuloaden?\n");
    EXPECT_EQ(RunTool("version check --webserver " + Closed()).Status, 1);
}

TEST_F(OnlineCommandsTest, ErrorsMatchNamesThePageAndWhetherTheLogStays) {
    Folder.Put("errors.txt", "<zn=2><z1=Loading Sound><z2=generic error:><S><W=sound.html>\r\n"
                             "<zn=1><z1=Exception raised in Threadnotify><W=absturz.html>\r\n");
    Folder.Put("crash.txt", "Loading Sound: x\r\ngeneric error: y\r\nERROR\r\n");
    Folder.Put("flip.txt", "Exception raised in Threadnotify while Flip(\r\nERROR\r\n");
    Folder.Put("fine.txt", "Program Version 1.05\r\nOK\r\n");
    Folder.Put("bad.txt", "<z1=ERROR><W=x>\r\n");
    const std::string errors = Quoted(Folder.Path + "/errors.txt");
    EXPECT_EQ(RunTool("errors match " + Quoted(Folder.Path + "/crash.txt") + " " + errors).Out,
              "match sound.html keep\n");
    EXPECT_EQ(RunTool("errors match " + Quoted(Folder.Path + "/flip.txt") + " " + errors).Out,
              "match absturz.html erase\n");
    EXPECT_EQ(RunTool("errors match " + Quoted(Folder.Path + "/fine.txt") + " " + errors).Out,
              "no match\n");
    const TRun bad = RunTool("errors match " + Quoted(Folder.Path + "/fine.txt") + " " +
                             Quoted(Folder.Path + "/bad.txt"));
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Out.find("kein gültiger ganzzahliger Wert"), std::string::npos);
}

TEST_F(OnlineCommandsTest, CsDecodePrintsTheRecord) {
    const std::string record = "KVQ| |500|Bob| | | | | | |1|0| |KVQ|";
    const TRun run = RunTool("cs decode " + Quoted(IdentityCs(record)));
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_EQ(run.Out, record + "\n");
    EXPECT_EQ(RunTool("cs decode %ZZ").Status, 1);
    EXPECT_EQ(RunTool("cs decode abc").Status, 1);
}

TEST_F(OnlineCommandsTest, RecordDecodeNamesEveryField) {
    TGameStatistics game;
    game.SecondsPlayed = 92;
    game.ShotsFired = 347;
    game.Hits = {0, 31, 1, 10, 2, 1, 1};
    game.PepperCaughtHigher = 4;
    const std::string text =
        DisguiseGameRecord(GameRecordDigits(MakeGameRecord(game)), [](int n) { return n - 1; });
    const TRun run = RunTool("record decode " + text);
    EXPECT_EQ(run.Status, 0) << run.Out;
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
    const TRun bad = RunTool("record decode " + text.substr(1));
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Out.find("Kein gültiger Spielverlauf"), std::string::npos);
}

TEST_F(OnlineCommandsTest, TheServerTakesARecordThatAllowsTheScoreAndRefusesOneThatDoesNot) {
    TTestServer server;
    TGameStatistics game;
    game.SecondsPlayed = 93;
    game.PepperCaught0 = 20; // 4000 points
    game.WavesCompleted = 1; // 1000 more
    Env = DefaultEnvData();
    Env.Highscores[0].Name.Set("Kalle");
    Env.Highscores[0].Score = 5000;
    Env.GameRecords[0].Set(
        DisguiseGameRecord(GameRecordDigits(MakeGameRecord(game)), [](int n) { return n / 2; }));
    SaveEnv();
    const std::string env = Folder.File("SPS/env.dat");
    const TRun run = RunTool("publish " + Quoted(env) + " --webserver " + server.WebServer());
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_NE(run.Out.find("Rang=1\n"), std::string::npos) << run.Out;
    EXPECT_NE(server.Page("korvaldinternal/highscore.html").find(">93 s<"), std::string::npos);

    Env.Highscores[0].Score = 5100;
    SaveEnv();
    const TRun refused = RunTool("publish " + Quoted(env) + " --webserver " + server.WebServer());
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Out.find("Fehler=Punktestand passt nicht zum Spielverlauf"),
              std::string::npos)
        << refused.Out;
    EXPECT_EQ(server.Page("korvaldinternal/highscore.html").find("5100"), std::string::npos);
}
