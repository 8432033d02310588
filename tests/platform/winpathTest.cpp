#include "platform/winpath.h"

#include "TestSupport.h"
#include "ScopedVariable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

class WinPath : public ::testing::Test {
  protected:
    void Touch(const std::string& relative, const std::string& content = "x") {
        folder.Put(relative, content);
    }
    TTempProgramFolder folder;
    std::string root = folder.Path;
};

TEST_F(WinPath, ResolvesEveryComponentIgnoringCase) {
    Touch("sps/Log.txt");
    EXPECT_EQ(ResolvePath("SPS\\LOG.TXT"), "sps/Log.txt");
    EXPECT_EQ(ResolvePath("sps/log.TXT"), "sps/Log.txt");
    EXPECT_EQ(ResolvePath(root + "\\Sps\\lOg.txt"), root + "/sps/Log.txt");
    EXPECT_TRUE(FileExists("SPS\\LOG.TXT"));
    EXPECT_FALSE(FileExists("SPS"));
    EXPECT_TRUE(DirectoryExists("SPS"));
    EXPECT_FALSE(DirectoryExists("SPS\\LOG.TXT"));
}

TEST_F(WinPath, NewNamesKeepTheirSpellingBehindExistingFolders) {
    Touch("sps/a.txt");
    EXPECT_EQ(ResolvePath("SPS\\New\\File.TXT"), "sps/New/File.TXT");
    EXPECT_EQ(ResolvePath("Missing\\SPS"), "Missing/SPS");
    EXPECT_TRUE(CreateDir("SPS\\Shots"));
    EXPECT_TRUE(fs::is_directory(fs::path(root) / "sps" / "Shots"));
    EXPECT_FALSE(CreateDir("sps\\SHOTS")) << "exists under another case";
    EXPECT_FALSE(CreateDir("nowhere\\deeper"));
}

TEST_F(WinPath, DotsAndDoubledSeparators) {
    Touch("sps/Log.txt");
    EXPECT_EQ(ResolvePath("sps\\.\\..\\SPS\\\\log.txt"), "sps/Log.txt");
    EXPECT_EQ(ResolvePath("SPS\\"), "sps");
    EXPECT_EQ(ResolvePath(""), ".");
    EXPECT_EQ(ResolvePath("..\\x"), "../x");
    EXPECT_EQ(ResolvePath("/.."), "/");
}

TEST_F(WinPath, ExactSpellingWinsAmongNamesDifferingInCase) {
    Touch("Data/one");
    Touch("DATA/two");
    EXPECT_EQ(ResolvePath("Data\\ONE"), "Data/one");
    EXPECT_EQ(ResolvePath("DATA\\TWO"), "DATA/two");
    // No exact match: the same choice every time.
    EXPECT_EQ(ResolvePath("data"), ResolvePath("dAtA"));
}

TEST_F(WinPath, RenameReplacesAndDeleteRemoves) {
    Touch("sps/New.tmp", "new");
    Touch("sps/Env.dat", "old");
    EXPECT_TRUE(RenameFile("SPS\\new.tmp", "SPS\\ENV.DAT"));
    EXPECT_EQ(ReadWholeFile(root + "/sps/Env.dat"), "new");
    EXPECT_FALSE(fs::exists(fs::path(root) / "sps" / "New.tmp"));
    EXPECT_FALSE(fs::exists(fs::path(root) / "sps" / "ENV.DAT")) << "no second file";
    EXPECT_FALSE(RenameFile("SPS\\gone", "SPS\\other"));
    EXPECT_TRUE(DeleteFileAt("sps\\env.DAT"));
    EXPECT_FALSE(FileExists("SPS\\Env.dat"));
    EXPECT_FALSE(DeleteFileAt("SPS\\Env.dat"));
}

TEST_F(WinPath, CurrentDirectoryAndProgramFolder) {
    Touch("Sub Dir/x");
    EXPECT_TRUE(SetCurrentDir("SUB DIR"));
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::canonical(fs::path(root) / "Sub Dir"));
    EXPECT_FALSE(SetCurrentDir("missing"));
    EXPECT_EQ(ProgramFolder(), root);
    SetProgramFolder(root + "/");
    EXPECT_EQ(ProgramFolder(), root);

    // Without an override: the folder holding this test program.
    SetProgramFolder("");
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_NE(folder.back(), '/');
    EXPECT_TRUE(FileExists(folder + "/" + program_invocation_short_name));
}

TEST_F(WinPath, FindFilesMatchesWildcardsIgnoringCase) {
    Touch("snd/b.Wav");
    Touch("snd/A.WAV");
    Touch("snd/c.mp3");
    Touch("snd/noext");
    Touch("snd/ab.wave");
    fs::create_directories(fs::path(root) / "snd" / "dir.wav");
    EXPECT_EQ(FindFiles("SND\\*.wav"), (std::vector<std::string>{"A.WAV", "b.Wav"}));
    EXPECT_EQ(FindFiles("snd/?.*"), (std::vector<std::string>{"A.WAV", "b.Wav", "c.mp3"}));
    EXPECT_EQ(FindFiles("snd\\*.*").size(), 5u) << "*.* also finds names without a dot";
    EXPECT_EQ(FindFiles("snd\\a*"), (std::vector<std::string>{"A.WAV", "ab.wave"}));
    EXPECT_EQ(FindFiles("snd\\*w*e"), (std::vector<std::string>{"ab.wave"}));
    EXPECT_TRUE(FindFiles("nothing\\*.wav").empty());
    ASSERT_TRUE(SetCurrentDir("snd"));
    EXPECT_EQ(FindFiles("*.MP3"), (std::vector<std::string>{"c.mp3"}));
}

TEST_F(WinPath, FreeSpaceAndMountPoint) {
    EXPECT_GT(FreeSpace(root), 0);
    EXPECT_EQ(FreeSpace("missing\\folder"), -1);

    const std::string mount = MountPoint(root);
    const std::string real = fs::canonical(root).string();
    ASSERT_FALSE(mount.empty());
    // An ancestor (or the folder itself) on the same device, whose parent lies elsewhere.
    EXPECT_EQ(real.compare(0, mount.size(), mount), 0);
    struct stat here {
    }, there{}, above{};
    ASSERT_EQ(stat(real.c_str(), &here), 0);
    ASSERT_EQ(stat(mount.c_str(), &there), 0);
    EXPECT_EQ(here.st_dev, there.st_dev);
    if (mount != "/") {
        ASSERT_EQ(stat(fs::path(mount).parent_path().c_str(), &above), 0);
        EXPECT_NE(above.st_dev, there.st_dev);
    }
    EXPECT_EQ(MountPoint("/"), "/");
    EXPECT_EQ(MountPoint("missing"), "");
}

TEST_F(WinPath, ModificationTime) {
    Touch("sps/f.txt");
    utimbuf times{1000000000, 1234567890};
    ASSERT_EQ(utime((fs::path(root) / "sps" / "f.txt").c_str(), &times), 0);
    std::time_t when = 0;
    ASSERT_TRUE(ModificationTime("SPS\\F.TXT", when));
    EXPECT_EQ(when, 1234567890);
    EXPECT_FALSE(ModificationTime("SPS\\none", when));
}

TEST_F(WinPath, RegularFileSize) {
    Touch("sps/Data.bin", "12345");
    uint64_t size = 0;
    EXPECT_EQ(RegularFileSize("SPS\\DATA.BIN", size), 0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegularFileSize("SPS\\none", size), ENOENT);
    EXPECT_EQ(RegularFileSize("SPS", size), EISDIR);
}

TEST_F(WinPath, ReplaceFileContentsSwapsTheWholeFile) {
    Touch("sps/Prog.cfg", "old content, longer than the new one");
    TReplaceResult result = ReplaceFileContents("SPS\\PROG.CFG", "new");
    EXPECT_EQ(result.Error, 0);
    EXPECT_TRUE(result.Created);
    EXPECT_EQ(ReadWholeFile(root + "/sps/Prog.cfg"), "new");
    EXPECT_FALSE(fs::exists(root + "/sps/Prog.cfg.tmp"));

    // A new name is created as spelled, empty contents included.
    result = ReplaceFileContents("SPS\\Empty.cfg", "");
    EXPECT_EQ(result.Error, 0);
    EXPECT_EQ(fs::file_size(root + "/sps/Empty.cfg"), 0u);
}

TEST_F(WinPath, ReplaceFileContentsReportsWhereItFailed) {
    // No folder to put the temporary file in: nothing was created.
    TReplaceResult result = ReplaceFileContents("none\\x.cfg", "data");
    EXPECT_EQ(result.Error, ENOENT);
    EXPECT_FALSE(result.Created);

    // The rename fails over a folder: the error is told, the folder stays, no temporary file.
    Touch("sps/target/inside.txt");
    result = ReplaceFileContents("SPS\\TARGET", "data");
    EXPECT_NE(result.Error, 0);
    EXPECT_TRUE(result.Created);
    EXPECT_TRUE(fs::is_directory(root + "/sps/target"));
    EXPECT_FALSE(fs::exists(root + "/sps/target.tmp"));
}

// ---- the overlay of an installed program folder ----------------------------------------------

class Overlay : public ::testing::Test {
  protected:
    void PutProgram(const std::string& relative, const std::string& content = "program") {
        folders.Program.Put(relative, content);
    }
    void PutPlayer(const std::string& relative, const std::string& content = "player") {
        fs::create_directories((fs::path(player) / relative).parent_path());
        WriteWholeFile(player + "/" + relative, content);
    }
    TOverlaidProgramFolder folders;
    std::string program = folders.Program.Path;
    std::string player = folders.Player;
};

TEST_F(Overlay, ReadsThePlayersCopyFirstAndTheProgramFoldersSecondIgnoringCase) {
    PutProgram("SPS/Level1.txt");
    PutProgram("gfx/SB/Back.JPG");
    PutPlayer("sps/LEVEL1.txt", "mod");
    ASSERT_TRUE(ProgramFolderOverlaid());
    EXPECT_EQ(ResolvePath("SPS\\level1.TXT"), player + "/sps/LEVEL1.txt");
    EXPECT_EQ(ResolvePath(program + "\\Sps\\Level1.txt"), player + "/sps/LEVEL1.txt");
    EXPECT_EQ(ResolvePath("GFX\\sb\\back.jpg"), program + "/gfx/SB/Back.JPG");
    EXPECT_EQ(ResolvePath(program + "/gfx/../gfx/sb/BACK.jpg"), program + "/gfx/SB/Back.JPG");
    EXPECT_TRUE(FileExists("sps\\level1.txt"));
    EXPECT_TRUE(DirectoryExists("GFX\\SB"));
    EXPECT_FALSE(FileExists("SPS\\game.dat"));
    // Outside the program folder nothing changes.
    const std::string elsewhere = folders.Data.Path + "/Other.txt";
    WriteWholeFile(elsewhere, "x");
    EXPECT_EQ(ResolvePath(folders.Data.Path + "/other.TXT"), elsewhere);
    // The same folder under the name the file system gives it.
    const std::string real = fs::canonical(program).string();
    EXPECT_EQ(ResolvePath(real + "/sps/level1.txt"), player + "/sps/LEVEL1.txt");
}

TEST_F(Overlay, WritesGoToThePlayersFolderInTheProgramFoldersSpelling) {
    PutProgram("SPS/Level1.txt");
    PutProgram("gfx/SB/Back.jpg");
    const auto before = folders.ProgramFiles();

    EXPECT_EQ(ReplaceFileContents("sps\\prog.cfg", "key: 1").Error, 0);
    EXPECT_TRUE(CreateDir(program + "\\Screenshots"));
    EXPECT_FALSE(CreateDir("screenshots")) << "exists";
    EXPECT_EQ(ResolveWritePath("GFX\\sb\\new.bmp"), player + "/gfx/SB/new.bmp");
    EXPECT_TRUE(fs::is_directory(player + "/gfx/SB")) << "the folders on the way are made";
    EXPECT_EQ(ReplaceFileContents("SPS\\Level1.txt", "changed").Error, 0);
    EXPECT_TRUE(RenameFile("sps\\PROG.cfg", "SPS\\renamed.cfg"));

    EXPECT_EQ(folders.ProgramFiles(), before);
    EXPECT_EQ(ReadWholeFile(player + "/SPS/renamed.cfg"), "key: 1");
    EXPECT_EQ(ReadWholeFile(player + "/SPS/Level1.txt"), "changed");
    EXPECT_TRUE(fs::is_directory(player + "/Screenshots"));
    EXPECT_EQ(ResolvePath("sps\\level1.txt"), player + "/SPS/Level1.txt");

    // A folder neither has is not made up: the write fails as it would in the program folder.
    const TReplaceResult result = ReplaceFileContents("none\\x.cfg", "data");
    EXPECT_EQ(result.Error, ENOENT);
    EXPECT_FALSE(fs::exists(player + "/none"));
}

TEST_F(Overlay, AppendingStartsFromTheProgramFoldersFile) {
    PutProgram("SPS/LOG.TXT", "first\r\n");
    const auto before = folders.ProgramFiles();
    const std::string log = ResolveAppendPath("sps\\log.txt");
    EXPECT_EQ(log, player + "/SPS/LOG.TXT");
    std::ofstream(log, std::ios::binary | std::ios::app) << "second\r\n";
    EXPECT_EQ(ReadWholeFile(ResolvePath("SPS\\LOG.TXT")), "first\r\nsecond\r\n");
    // Copied once: the player's file is appended to from then on.
    EXPECT_EQ(ResolveAppendPath("SPS\\LOG.TXT"), log);
    EXPECT_EQ(ReadWholeFile(log), "first\r\nsecond\r\n");
    EXPECT_EQ(folders.ProgramFiles(), before);
}

TEST_F(Overlay, DeletingRemovesThePlayersCopyOnly) {
    PutProgram("SPS/game.dat", "shipped");
    PutPlayer("SPS/GAME.DAT", "saved");
    EXPECT_TRUE(DeleteFileAt("sps\\game.dat"));
    EXPECT_EQ(ReadWholeFile(ResolvePath("SPS\\game.dat")), "shipped");
    EXPECT_FALSE(DeleteFileAt("sps\\game.dat"));
    EXPECT_TRUE(fs::exists(program + "/SPS/game.dat"));
}

TEST_F(Overlay, FindFilesListsBothFoldersEachNameOnce) {
    PutProgram("snd/a.wav");
    PutProgram("snd/b.WAV");
    PutProgram("snd/c.mp3");
    PutPlayer("SND/A.WAV");
    PutPlayer("SND/d.wav");
    EXPECT_EQ(FindFiles("snd\\*.wav"), (std::vector<std::string>{"A.WAV", "b.WAV", "d.wav"}));
    EXPECT_EQ(FindFiles(program + "/SND/*.mp3"), (std::vector<std::string>{"c.mp3"}));
    ASSERT_TRUE(SetCurrentDir("snd"));
    EXPECT_EQ(FindFiles("*.*").size(), 4u);
}

TEST_F(Overlay, TheCurrentFolderStaysTheProgramFolder) {
    PutPlayer("x");
    ASSERT_TRUE(SetCurrentDir(program));
    EXPECT_EQ(fs::path(GetCurrentDir()), fs::canonical(program));
}

TEST_F(Overlay, FreeSpaceIsThatOfThePlayersFolderBeforeItExists) {
    PutProgram("snd/a.mp3");
    ASSERT_FALSE(fs::exists(player));
    EXPECT_GT(FreeSpace(program + "/snd"), 0);
    EXPECT_EQ(MountPoint("snd"), MountPoint(folders.Data.Path));
    EXPECT_FALSE(fs::exists(player)) << "looking made nothing";
}

TEST(OverlayDecision, AWritableProgramFolderIsUsedAsItIs) {
    TTempFolder data("crumble-data");
    const TScopedVariable dataHome("XDG_DATA_HOME", data.Path.c_str());
    TTempProgramFolder folder;
    EXPECT_FALSE(ProgramFolderOverlaid());
    EXPECT_EQ(ReplaceFileContents("Prog.cfg", "x").Error, 0);
    EXPECT_EQ(ResolveWritePath("prog.CFG"), "Prog.cfg");
    EXPECT_EQ(ResolveAppendPath(folder.Path + "/PROG.cfg"), folder.Path + "/Prog.cfg");
    EXPECT_EQ(folder.Get("Prog.cfg"), "x");
    EXPECT_TRUE(fs::is_empty(data.Path)) << "the player's folder is not even made";
    // The probe left nothing behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path), fs::directory_iterator()), 1);
}

TEST(OverlayDecision, AnInstalledCopyIsOverlaidAlsoWhenItCouldBeWritten) {
    TTempFolder data("crumble-data");
    const TScopedVariable dataHome("XDG_DATA_HOME", data.Path.c_str());
    TTempProgramFolder folder;
    folder.Put(InstalledMarker, "");
    folder.Put("SPS/Level1.txt", "level");
    EXPECT_TRUE(ProgramFolderOverlaid());
    EXPECT_EQ(ReplaceFileContents("SPS\\game.dat", "saved").Error, 0);
    EXPECT_EQ(ReadWholeFile(data.Path + "/crumble-rush/SPS/game.dat"), "saved");
    EXPECT_FALSE(fs::exists(folder.Path + "/SPS/game.dat"));
}

TEST(OverlayDecision, TheProbeAsksOncePerProgramFolderThatExists) {
    TTempFolder data("crumble-data");
    const TScopedVariable dataHome("XDG_DATA_HOME", data.Path.c_str());
    TTempFolder other;
    TTempProgramFolder folder;
    std::vector<std::string> asked;
    SetWritableProbe([&](const std::string& f) {
        asked.push_back(f);
        return false;
    });
    ResolvePath("a");
    FileExists("b");
    EXPECT_TRUE(ProgramFolderOverlaid());
    SetProgramFolder(other.Path);
    ResolvePath("c");
    SetProgramFolder(other.Path + "/missing");
    EXPECT_FALSE(ProgramFolderOverlaid()) << "its paths fail as they always did";
    SetWritableProbe(nullptr);
    EXPECT_EQ(asked, (std::vector<std::string>{folder.Path, other.Path}));
}

TEST(OverlayDecision, TheRealProbeTriesToCreateAFile) {
    TTempFolder folder;
    EXPECT_TRUE(FolderWritable(folder.Path));
    EXPECT_TRUE(fs::is_empty(folder.Path));
    EXPECT_FALSE(FolderWritable(folder.Path + "/missing"));
    // Not writable even for root.
    EXPECT_FALSE(FolderWritable("/proc"));
    if (geteuid() != 0) {
        fs::permissions(folder.Path, fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_FALSE(FolderWritable(folder.Path));
        fs::permissions(folder.Path, fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST(OverlayDecision, ThePlayersFolderFollowsXdgDataHome) {
    const TScopedVariable home("HOME", "/home/player");
    {
        const TScopedVariable dataHome("XDG_DATA_HOME", "/data/");
        EXPECT_EQ(PlayerFolder(), "/data/crumble-rush");
    }
    {
        const TScopedVariable dataHome("XDG_DATA_HOME", "relative");
        EXPECT_EQ(PlayerFolder(), "/home/player/.local/share/crumble-rush") << "relative: ignored";
    }
    const TScopedVariable dataHome("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(PlayerFolder(), "/home/player/.local/share/crumble-rush");
}

} // namespace
