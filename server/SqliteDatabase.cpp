#include "server/SqliteDatabase.h"

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <thread>

namespace {

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
    throw EDatabaseError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

class TSqliteStatement : public TStatement {
  public:
    TSqliteStatement(sqlite3* db, std::string_view sql) : FDb(db) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
            Fail(db, "prepare");
        FStatement.reset(statement);
    }

    void Bind(int index, int64_t value) override {
        if (sqlite3_bind_int64(FStatement.get(), index, value) != SQLITE_OK) Fail(FDb, "bind");
    }
    void Bind(int index, std::string_view text) override {
        if (sqlite3_bind_text64(FStatement.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8) != SQLITE_OK)
            Fail(FDb, "bind");
    }
    void BindBlob(int index, std::string_view bytes) override {
        if (sqlite3_bind_blob64(FStatement.get(), index, bytes.data(), bytes.size(),
                                SQLITE_TRANSIENT) != SQLITE_OK)
            Fail(FDb, "bind");
    }
    void BindNull(int index) override {
        if (sqlite3_bind_null(FStatement.get(), index) != SQLITE_OK) Fail(FDb, "bind");
    }
    bool Step() override {
        const int result = sqlite3_step(FStatement.get());
        if (result == SQLITE_ROW) return true;
        if (result == SQLITE_DONE) return false;
        Fail(FDb, "step");
    }
    int64_t Int(int column) const override {
        return sqlite3_column_int64(FStatement.get(), column);
    }
    std::string Text(int column) const override {
        const void* data = sqlite3_column_blob(FStatement.get(), column);
        const int size = sqlite3_column_bytes(FStatement.get(), column);
        if (!data || size <= 0) return {};
        return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
    }
    bool IsNull(int column) const override {
        return sqlite3_column_type(FStatement.get(), column) == SQLITE_NULL;
    }
    void Reset() override {
        sqlite3_reset(FStatement.get());
        sqlite3_clear_bindings(FStatement.get());
    }

  private:
    struct TFinalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    sqlite3* FDb;
    std::unique_ptr<sqlite3_stmt, TFinalize> FStatement;
};

// The log is copied back into the database file whenever this many pages were added since
// the last copy, and starts afresh once it holds RestartFrames pages; the writer copies
// itself only when the log has grown far beyond that (the copying thread cannot keep up).
constexpr int CheckpointFrames = 25000;
constexpr int RestartFrames = 100000;
constexpr int WriterCheckpointFrames = 2 * RestartFrames;
// What the copying thread leaves for its last pass, which holds back this connection's writers.
constexpr int CheckpointRest = 1000;
constexpr int UnheldPasses = 3;

} // namespace

// Copies the log back into the database file on a connection and thread of its own, so that
// no commit waits for it (copying and syncing a log of many megabytes takes a while). Only a
// log whose every page is in the database starts afresh at the next commit: the last few
// pages are copied while no transaction of the writing connection is open.
class TSqliteDatabase::TCheckpointer {
  public:
    TCheckpointer(const std::string& fileName, std::mutex& writeLock) : FWriteLock(writeLock) {
        sqlite3* db = nullptr;
        const int result = sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        FDb.reset(db);
        if (result != SQLITE_OK) Fail(db, "open " + fileName);
        // Opens the log, which a checkpoint needs.
        if (sqlite3_exec(db, "PRAGMA synchronous=NORMAL; SELECT count(*) FROM sqlite_schema;",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(db, "open " + fileName);
        FThread = std::thread([this] { Run(); });
    }
    ~TCheckpointer() {
        {
            const std::lock_guard guard(FLock);
            FStopping = true;
        }
        FWake.notify_one();
        FThread.join();
    }
    TCheckpointer(const TCheckpointer&) = delete;
    TCheckpointer& operator=(const TCheckpointer&) = delete;

    // After each commit, with the pages the log holds now.
    void LogGrew(int frames) {
        const int copied = FCopied;
        // A log that started afresh holds fewer pages than were copied from the one before.
        if ((frames >= copied ? frames - copied : frames) < CheckpointFrames) return;
        {
            const std::lock_guard guard(FLock);
            FRequested = true;
        }
        FWake.notify_one();
    }

  private:
    void Run() {
        for (;;) {
            {
                std::unique_lock lock(FLock);
                FWake.wait(lock, [this] { return FStopping || FRequested; });
                if (FStopping) return;
                FRequested = false;
            }
            int logged = 0, before = 0;
            for (int pass = 0; pass < UnheldPasses; ++pass) {
                if (!Checkpoint(logged) || logged < RestartFrames) break;
                if (pass > 0 && logged - before <= CheckpointRest) break;
                before = logged;
            }
            if (logged < RestartFrames) continue;
            const std::lock_guard hold(FWriteLock);
            Checkpoint(logged);
        }
    }

    // False when the database is busy otherwise; a later request tries again.
    bool Checkpoint(int& logged) {
        int copied = 0;
        const bool done = sqlite3_wal_checkpoint_v2(FDb.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE,
                                                    &logged, &copied) == SQLITE_OK;
        if (done) FCopied = copied;
        return done;
    }

    std::mutex& FWriteLock;
    std::unique_ptr<sqlite3, TClose> FDb;
    std::atomic<int> FCopied{0};
    std::mutex FLock;
    std::condition_variable FWake;
    bool FRequested = false;
    bool FStopping = false;
    std::thread FThread;
};

void TSqliteDatabase::TClose::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

TSqliteDatabase::TSqliteDatabase(const std::string& fileName) : FFileName(fileName) {
    sqlite3* db = nullptr;
    // The owner's lock serialises every use of the connection.
    const int result =
        sqlite3_open_v2(fileName.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    FDb.reset(db);
    if (result != SQLITE_OK) Fail(db, "open " + fileName);
    // A second process (the reports command) may read while the server writes.
    sqlite3_busy_timeout(db, 5000);
    // With the log, a commit writes once and readers never wait for writers; NORMAL syncs at
    // checkpoints only: a power cut may lose the last commits, never the file's consistency.
    // The rank tables are read at random places: pages stay in this process's cache (up to
    // 64 MiB) or are read through the mapping, not copied in by a system call each time.
    // A publication changes a few rows at random places of the rank tables: rare checkpoints
    // write a page changed by many commits back once, and a thread of their own makes them
    // (TCheckpointer), not the commit that happens to fill the log.
    Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
            "PRAGMA temp_store=MEMORY; PRAGMA cache_size=-65536; PRAGMA mmap_size=1073741824;"
            "PRAGMA wal_autocheckpoint=0;");
    if (fileName.empty() || fileName == ":memory:") return;
    FCheckpointer = std::make_unique<TCheckpointer>(fileName, FWriteLock);
    sqlite3_wal_hook(db, LogGrew, this);
}

TSqliteDatabase::~TSqliteDatabase() {
    // The hook calls the checkpointer, which goes before the connection.
    sqlite3_wal_hook(FDb.get(), nullptr, nullptr);
}

int TSqliteDatabase::LogGrew(void* self, sqlite3* db, const char* name, int frames) {
    if (frames >= WriterCheckpointFrames)
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    else
        static_cast<TSqliteDatabase*>(self)->FCheckpointer->LogGrew(frames);
    return SQLITE_OK;
}

void TSqliteDatabase::Execute(std::string_view sql) {
    char* error = nullptr;
    const std::string text = SchemaText(sql, {"INTEGER PRIMARY KEY", "BLOB", "WITHOUT ROWID"});
    if (sqlite3_exec(FDb.get(), text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw EDatabaseError("execute: " + message);
    }
}

void TSqliteDatabase::Begin() {
    FWriting = std::unique_lock(FWriteLock);
    // Takes the write lock at once, so that no other writer slips in between read and write.
    try {
        Prepare("BEGIN IMMEDIATE").Run();
    } catch (const EDatabaseError&) {
        FWriting.unlock();
        throw;
    }
}

void TSqliteDatabase::Commit() {
    Prepare("COMMIT").Run();
    // A failed commit leaves the transaction open; Rollback ends it.
    FWriting.unlock();
}

void TSqliteDatabase::Rollback() {
    if (!sqlite3_get_autocommit(FDb.get())) Prepare("ROLLBACK").Run();
    if (FWriting.owns_lock()) FWriting.unlock();
}

bool TSqliteDatabase::Ping() {
    try {
        TQuery query = Prepare("SELECT 1");
        return query.Step() && query.Int(0) == 1;
    } catch (const EDatabaseError&) {
        return false;
    }
}

std::unique_ptr<TStatement> TSqliteDatabase::NewStatement(std::string_view sql) {
    return std::make_unique<TSqliteStatement>(FDb.get(), sql);
}
