// The game without a screen, end to end: crumble-tool play runs whole games from a script in a
// program folder of the test's own, with the shipped pictures and level.
#include "TestSupport.h"
#include "shell/DecodeUnit.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::filesystem::path GameDir = std::filesystem::path(CRUMBLE_TOOL_PATH).parent_path();

// The step a log line was printed at, or -1.
int StepOf(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
        if (line.size() > 7 && line.substr(7) == text) return std::stoi(line.substr(0, 6));
    return -1;
}

class PlayCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder.Put("SPS/Level1.txt", ReadWholeFile((GameDir / "SPS" / "Level1.txt").string()));
        std::filesystem::create_directory_symlink(GameDir / "gfx",
                                                  std::filesystem::path(Folder.Path) / "gfx");
    }
    // crumble-tool play with these arguments, the test's folder as the program folder.
    TToolRun Play(QStringList args) const {
        args.prepend("play");
        return RunTool(args << "--folder" << QString::fromStdString(Folder.Path), Folder.Path);
    }
    // The script as a file of the folder, named as play takes it.
    QString Script(const std::string& text) const {
        Folder.Put("game.txt", text);
        return "game.txt";
    }
    TTempProgramFolder Folder;
};

const char* ShortGame = R"(# skip the loader, watch the attract screen, play a little, leave
AT 1 shot
AT 5 press enter
AT 40 shot
AT 60 press enter
AT 140 mouse 400 300
AT 200 click 420 250
AT 300 shot
AT 320 escape
AT 322 shot
AT 340 click
)";

TEST_F(PlayCommandsTest, AShortGameRunsFromTheLoaderToTheClosedWindow) {
    const std::string shots = Folder.Path + "/shots";
    const TToolRun run = Play({Script(ShortGame), "--seed", "3", "--updates", "400", "--shots",
                               QString::fromStdString(shots)});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const std::vector<std::string> lines = TextLines(run.Out);
    // Each event reaches the game at its step: the set-up before the first, the loader's end
    // at the press, two seconds of "begin" at one update a step, the escape, the last click.
    EXPECT_EQ(StepOf(lines, "InitDDraw"), 0);
    EXPECT_EQ(StepOf(lines, "glsInit: Start"), 5);
    EXPECT_EQ(StepOf(lines, "glsBegin: Return"), 60);
    EXPECT_EQ(StepOf(lines, "glsBegin2: Return"), 160);
    EXPECT_EQ(StepOf(lines, "Formkeydown: Escape"), 320);
    EXPECT_EQ(StepOf(lines, "glsInfo: End"), 340);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(7), "window closed");
    EXPECT_TRUE(std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
                    return line.ends_with(" OK");
                }) != lines.end());

    // The pictures: the loader, the attract screen, the play, the information picture.
    std::vector<QImage> pictures;
    for (const char* name :
         {"step-00001.png", "step-00040.png", "step-00300.png", "step-00322.png"}) {
        pictures.emplace_back(QString::fromStdString(shots + "/" + name));
        ASSERT_FALSE(pictures.back().isNull()) << name;
        EXPECT_EQ(pictures.back().size(), QSize(800, 600)) << name;
    }
    for (size_t i = 1; i < pictures.size(); ++i)
        EXPECT_NE(pictures[i], pictures[i - 1]) << i;

    // The game data is saved; the log is left as the run found it (none).
    EXPECT_EQ(Folder.Get("SPS/game.dat").size(), 116u);
    EXPECT_FALSE(std::filesystem::exists(Folder.Path + "/SPS/LOG.TXT"));
}

TEST_F(PlayCommandsTest, AWholeScriptedGameScoresAndEntersItsNameInTheHighscores) {
    // Click all over the sky every fourth update and steer the bag to and fro through the 90 s,
    // then type a name into the table and confirm it.
    std::ostringstream script;
    script << "AT 5 press enter\nAT 60 click 400 300\n";
    for (int step = 170; step < 4800; step += 4) {
        const int x = 70 + (step * 7) % 660, y = 80 + (step * 3) % 300;
        script << "AT " << step << " click " << x << ' ' << y << '\n';
        if (step % 240 == 0) script << "AT " << step << " down cursor-left\n";
        if (step % 240 == 120)
            script << "AT " << step << " up cursor-left\nAT " << step << " down cursor-right\n";
        if (step % 240 == 0 && step > 170) script << "AT " << step << " up cursor-right\n";
    }
    script << "AT 4900 key K\nAT 4905 key A\nAT 5000 key enter\n";
    const TToolRun run = Play({Script(script.str()), "--seed", "1", "--updates", "5100"});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("glsExit: Play again"), std::string::npos) << run.Out;
    LoadEnv();
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "KA");
    // Every hit piece caught is worth 100 or 200 points.
    EXPECT_GT(Env.Highscores[0].Score, 0);
    EXPECT_EQ(Env.Highscores[0].Score % 100, 0);
}

TEST_F(PlayCommandsTest, AnAutoplayedGamePlaysNinetySecondsAndEntersItsName) {
    const TToolRun run = Play({"--autoplay", "--seed", "7"});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const std::string& out = run.Out;
    const std::vector<std::string> lines = TextLines(out);
    const int begun = StepOf(lines, "glsBegin: Return");
    const int won = StepOf(lines, "glsLoop: Won");
    ASSERT_GT(begun, 0) << out;
    ASSERT_GT(won, 0) << out;
    // Two seconds of "begin" and 90 of play, one update a step; then the table and the name.
    EXPECT_GT(won - begun, (2 + 90) * 50);
    LoadEnv();
    const int32_t score = Env.Highscores[0].Score;
    EXPECT_EQ(Env.Highscores[0].Name.Get(), "AUTOPLAY");
    EXPECT_GT(score, 0);
    EXPECT_EQ(score % 100, 0);
    EXPECT_FALSE(Env.GameRecords[0].Get().empty());
    const std::string over = "game over: score " + std::to_string(score) + ", time left 0, place 1";
    EXPECT_EQ(StepOf(lines, over), won) << out;
    // The run ends once the end of the game is saved.
    EXPECT_GT(StepOf(lines, "glsExit: Play again"), won);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(7), "OK");
}

TEST_F(PlayCommandsTest, TheSameScriptAndSeedPlayTheSameGame) {
    const QString script = Script("AT 2 press enter\nAT 4 press enter\nAT 150 shot\nAT 150 dump\n");
    std::vector<std::string> outputs;
    // The script once as the argument, once named by --script.
    for (const char* shots : {"/a", "/b"}) {
        const std::string folder = Folder.Path + shots;
        const QStringList named =
            std::string(shots) == "/a" ? QStringList{script} : QStringList{"--script", script};
        const TToolRun run = Play(named + QStringList{"--seed", "9", "--updates", "150", "--shots",
                                                      QString::fromStdString(folder)});
        ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
        const std::string& out = run.Out;
        // The same but for the folder of the pictures.
        std::string text = out;
        for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder))
            text.replace(at, folder.size(), "SHOTS");
        outputs.push_back(text);
        // How it stopped, and what the game shows: the bag at its start, the crosshair under
        // the cursor.
        for (const char* line :
             {"stopped in glsLoop, 46 steps played, score 0, time left 88",
              "   150 dump state glsLoop, step 46, score 0, time left 88\n",
              "   150 dump bag shown at (0.0, 250.0, -800.0), width 116, standing",
              "   150 dump cross shown at (-400.0, -300.0, -800.0)"})
            EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(Folder.Get("a/step-00150.png"), Folder.Get("b/step-00150.png"));
}

TEST_F(PlayCommandsTest, AScriptItCannotReadIsRefusedBeforeTheGameStarts) {
    const TToolRun unknown = Play({Script("AT 3 press enter\nAT 9 jump\n")});
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_NE(unknown.Err.find("play: line 2: unknown event: AT 9 jump"), std::string::npos)
        << unknown.Err;
    EXPECT_EQ(unknown.Out.find("InitDDraw"), std::string::npos);
    const TToolRun step = Play({Script("AT x press enter\n")});
    EXPECT_EQ(step.ExitCode, 1);
    EXPECT_NE(step.Err.find("play: line 1: the step is no number: x"), std::string::npos)
        << step.Err;
}

} // namespace
