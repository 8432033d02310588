#pragma once
// A private PostgreSQL server for the store's tests: a cluster in a temporary folder, reached
// only through a socket in that folder, started at the first test of a program that needs it
// and stopped when the program ends. initdb refuses to run as root, so under root the server
// runs as the user "nobody". Each test gets a schema of its own. Where PostgreSQL is not
// installed, Address() says why and the tests skip.
#include "ServerTestSupport.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

// Starts a program with its output and errors appended to a file, in folder when one is given;
// the child's id, or -1 when it could not start.
inline pid_t SpawnLogged(std::vector<std::string> arguments, const std::string& log,
                         const char* folder = nullptr) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (folder != nullptr) posix_spawn_file_actions_addchdir_np(&actions, folder);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

class TPrivatePostgres {
  public:
    // The server, started on the first call; nothing when it cannot run (see Problem).
    static TPrivatePostgres* Get() {
        static std::unique_ptr<TPrivatePostgres> server = Start();
        return server && server->FRunning ? server.get() : nullptr;
    }
    static std::string Problem() { return ProblemText(); }

    ~TPrivatePostgres() {
        // The guardian stops the server and removes the folder once the pipe closes.
        FGuardianPipe = TPipeEnd();
        if (FGuardian > 0) waitpid(FGuardian, nullptr, 0);
    }

    // A connection address of a fresh, empty schema.
    std::string FreshAddress() {
        static std::atomic<int> next{0};
        const std::string schema = "t" + std::to_string(getpid()) + "_" + std::to_string(++next);
        PGconn* admin = PQconnectdb(BaseAddress().c_str());
        const bool ok = PQstatus(admin) == CONNECTION_OK;
        if (ok) PQclear(PQexec(admin, ("CREATE SCHEMA " + schema).c_str()));
        PQfinish(admin);
        if (!ok) throw std::runtime_error("private PostgreSQL does not answer");
        return BaseAddress() + "&options=-csearch_path%3D" + schema;
    }

  private:
    static std::string& ProblemText() {
        static std::string text;
        return text;
    }

  public:
    // The database itself, without a schema of a test's own.
    std::string BaseAddress() const {
        return "postgresql://crumble@/postgres?host=" + FFolder.Path.string() +
               "&port=" + std::to_string(FPort);
    }

  private:
    // The folder of initdb and pg_ctl: pg_config's, else the newest under /usr/lib/postgresql.
    static std::string FindBinaries() {
        std::vector<std::string> candidates;
        if (FILE* pipe = popen("pg_config --bindir 2>/dev/null", "r")) {
            char line[512] = "";
            if (fgets(line, sizeof line, pipe)) candidates.push_back(Trimmed(line));
            pclose(pipe);
        }
        std::error_code ignored;
        std::vector<std::string> versions;
        for (const auto& entry :
             std::filesystem::directory_iterator("/usr/lib/postgresql", ignored))
            versions.push_back((entry.path() / "bin").string());
        std::sort(versions.rbegin(), versions.rend());
        candidates.insert(candidates.end(), versions.begin(), versions.end());
        for (const std::string& bin : candidates)
            if (access((bin + "/initdb").c_str(), X_OK) == 0 &&
                access((bin + "/pg_ctl").c_str(), X_OK) == 0)
                return bin;
        return {};
    }

    static std::string Trimmed(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }

    // Runs a program (as "nobody" when we are root) and waits; its output goes to the log.
    int RunAs(std::vector<std::string> arguments) const {
        if (geteuid() == 0)
            arguments.insert(arguments.begin(),
                             {"setpriv", "--reuid=" + std::to_string(FUid),
                              "--regid=" + std::to_string(FGid), "--clear-groups", "--"});
        const pid_t pid = SpawnLogged(std::move(arguments), (FFolder.Path / "setup.log").string(),
                                      FFolder.Path.c_str());
        if (pid < 0) return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string SetupLog() const {
        std::ifstream in(FFolder.Path / "setup.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::unique_ptr<TPrivatePostgres> Start() {
        const std::string bin = FindBinaries();
        if (bin.empty()) {
            ProblemText() = "PostgreSQL is not installed (no initdb; package postgresql)";
            return nullptr;
        }
        auto server = std::unique_ptr<TPrivatePostgres>(new TPrivatePostgres(bin));
        if (!server->Launch()) return nullptr;
        return server;
    }

    explicit TPrivatePostgres(std::string bin) : FBin(std::move(bin)) {}

    bool Launch() {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody) {
                ProblemText() = "running as root, and there is no user nobody for initdb";
                return false;
            }
            FUid = nobody->pw_uid;
            FGid = nobody->pw_gid;
            if (chown(FFolder.Path.c_str(), FUid, FGid) != 0) {
                ProblemText() = "cannot hand the temporary folder to nobody";
                return false;
            }
        }
        FData = (FFolder.Path / "cluster").string();
        FPort = 20000 + static_cast<int>(getpid() % 20000);
        const std::string pristine = PristineCluster();
        if (pristine.empty() || RunAs({"cp", "-a", pristine, FData}) != 0) {
            ADD_FAILURE() << "initdb failed:\n" << SetupLog();
            return false;
        }
        // Only the socket in the private folder; durability does not matter for tests.
        const std::string options = "-k " + FFolder.Path.string() + " -p " + std::to_string(FPort) +
                                    " -c listen_addresses= -c fsync=off -c full_page_writes=off"
                                    " -c synchronous_commit=off -c shared_buffers=16MB";
        if (RunAs({FBin + "/pg_ctl", "-D", FData, "-o", options, "-l",
                   (FFolder.Path / "server.log").string(), "-w", "-t", "60", "start"}) != 0) {
            std::ifstream in(FFolder.Path / "server.log");
            ADD_FAILURE() << "PostgreSQL did not start:\n"
                          << SetupLog() << std::string(std::istreambuf_iterator<char>(in), {});
            return false;
        }
        FRunning = true;
        StartGuardian();
        return true;
    }

    // A cluster as initdb leaves it, made once and copied by every test program (initdb takes
    // a second, a copy a few milliseconds). Programs that make it at the same time each make
    // their own and keep the first that is complete.
    std::string PristineCluster() const {
        std::string key = FBin;
        for (char& c : key)
            if (c == '/') c = '-';
        const std::filesystem::path done =
            std::filesystem::temp_directory_path() /
            ("crumble-postgres-template" + key + "-" + std::to_string(FUid));
        if (std::filesystem::exists(done / "PG_VERSION")) return done.string();
        const std::string making = (FFolder.Path / "pristine").string();
        if (RunAs({FBin + "/initdb", "-D", making, "-U", "crumble", "--auth=trust", "-E", "UTF8",
                   "--no-locale", "--no-sync", "--wal-segsize=1"}) != 0)
            return {};
        std::error_code ignored;
        std::filesystem::rename(making, done, ignored);
        return std::filesystem::exists(done / "PG_VERSION") ? done.string() : making;
    }

    // A child that waits for this program to end, however it ends (a crashed test too), and
    // then stops the server and removes its folder.
    void StartGuardian() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        std::string stop = "'" + FBin + "/pg_ctl' -D '" + FData + "' -m immediate -w stop";
        if (geteuid() == 0)
            stop = "setpriv --reuid=" + std::to_string(FUid) + " --regid=" + std::to_string(FGid) +
                   " --clear-groups -- " + stop;
        const std::string script =
            stop + " >/dev/null 2>&1; rm -rf '" + FFolder.Path.string() + "'";
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[1]);
            char byte;
            while (read(fds[0], &byte, 1) > 0) {
            }
            execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        FGuardianPipe = TPipeEnd(fds[1]);
        FGuardian = pid;
    }

    class TPipeEnd {
      public:
        TPipeEnd() = default;
        explicit TPipeEnd(int fd) : FFd(fd) {}
        TPipeEnd(TPipeEnd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
        TPipeEnd& operator=(TPipeEnd&& other) noexcept {
            if (FFd >= 0) close(FFd);
            FFd = std::exchange(other.FFd, -1);
            return *this;
        }
        ~TPipeEnd() {
            if (FFd >= 0) close(FFd);
        }

      private:
        int FFd = -1;
    };

    TTempFolder FFolder;
    TPipeEnd FGuardianPipe;
    pid_t FGuardian = -1;
    std::string FBin;
    std::string FData;
    int FPort = 0;
    uid_t FUid = 0;
    gid_t FGid = 0;
    bool FRunning = false;
};

// The back-ends a store test runs against, as test parameters.
inline const std::vector<std::string> StoreBackEnds = {"sqlite", "postgresql"};

// A test against either back-end: Address is an SQLite file in Folder or a fresh PostgreSQL
// schema. Skips (saying why) where PostgreSQL cannot run.
class TStoreTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (GetParam() == "sqlite") {
            Address = (Folder.Path / "store.db").string();
            return;
        }
        TPrivatePostgres* server = TPrivatePostgres::Get();
        if (!server) GTEST_SKIP() << "PostgreSQL tests skipped: " << TPrivatePostgres::Problem();
        Address = server->FreshAddress();
    }

    TTempFolder Folder;
    std::string Address;
};
