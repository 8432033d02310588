#include "platform/winpath.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

class WinPath : public ::testing::Test {
  protected:
    void Touch(const std::string& relative, const std::string& content = "x") {
        fs::create_directories((fs::path(root) / relative).parent_path());
        std::ofstream(fs::path(root) / relative, std::ios::binary) << content;
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
    std::ifstream in(fs::path(root) / "sps" / "Env.dat");
    std::string content;
    in >> content;
    EXPECT_EQ(content, "new");
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

} // namespace
