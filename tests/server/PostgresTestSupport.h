#pragma once
// A private PostgreSQL server for the store's tests: a cluster in a temporary folder, reached
// only through a socket in that folder, started at the first test of a program that needs it
// and stopped when the program ends. initdb refuses to run as root, so under root the server
// runs as the user "nobody". Each test gets a schema of its own. Where PostgreSQL is not
// installed, Address() says why and the tests skip.
#include "ServerTestSupport.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <utility>

class TPrivatePostgres {
  public:
    // The server, started on the first call; nothing when it cannot run (see Problem).
    static TPrivatePostgres* Get() {
        static const std::unique_ptr<TPrivatePostgres> server = [] {
            const std::string bin = FindBinaries();
            if (bin.empty())
                FProblem = "PostgreSQL is not installed (no initdb; package postgresql)";
            auto started = std::unique_ptr<TPrivatePostgres>(new TPrivatePostgres(bin));
            return bin.empty() || !started->Launch() ? nullptr : std::move(started);
        }();
        return server.get();
    }
    static std::string Problem() { return FProblem; }

    ~TPrivatePostgres() {
        // The guardian stops the server and removes the folder once the pipe closes.
        if (FGuardianPipe >= 0) close(FGuardianPipe);
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

    // The database itself, without a schema of a test's own.
    std::string BaseAddress() const {
        return "postgresql://crumble@/postgres?host=" + FFolder.Path.string() +
               "&port=" + std::to_string(FPort);
    }

  private:
    // The folder of initdb and pg_ctl: the newest under /usr/lib/postgresql, else /usr/bin.
    static std::string FindBinaries() {
        std::error_code ignored;
        std::vector<std::string> candidates;
        for (const auto& entry :
             std::filesystem::directory_iterator("/usr/lib/postgresql", ignored))
            candidates.push_back((entry.path() / "bin").string());
        std::sort(candidates.rbegin(), candidates.rend());
        candidates.push_back("/usr/bin");
        for (const std::string& bin : candidates)
            if (access((bin + "/initdb").c_str(), X_OK) == 0 &&
                access((bin + "/pg_ctl").c_str(), X_OK) == 0)
                return bin;
        return {};
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

    explicit TPrivatePostgres(std::string bin) : FBin(std::move(bin)) {}

    bool Launch() {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody) {
                FProblem = "running as root, and there is no user nobody for initdb";
                return false;
            }
            FUid = nobody->pw_uid;
            FGid = nobody->pw_gid;
            if (chown(FFolder.Path.c_str(), FUid, FGid) != 0) {
                FProblem = "cannot hand the temporary folder to nobody";
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
        FGuardianPipe = fds[1];
        FGuardian = pid;
    }

    static inline std::string FProblem; // why the server cannot run
    TTempFolder FFolder;
    int FGuardianPipe = -1;
    pid_t FGuardian = -1;
    std::string FBin;
    std::string FData;
    int FPort = 0;
    uid_t FUid = 0;
    gid_t FGid = 0;
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
