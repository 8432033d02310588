#pragma once
// The database of one server process: an SQLite file in write-ahead-log mode.
#include "server/Database.h"

#include <mutex>

struct sqlite3;

class TSqliteDatabase : public TDatabase {
  public:
    // Opens (and creates) the database file; ":memory:" for one in memory.
    explicit TSqliteDatabase(const std::string& fileName);
    ~TSqliteDatabase() override;
    TSqliteDatabase(const TSqliteDatabase&) = delete;
    TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

    void Execute(std::string_view sql) override;
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    bool Ping() override;
    bool Shared() const override { return false; }
    std::string Describe() const override { return "SQLite " + FFileName; }

  protected:
    std::unique_ptr<TStatement> NewStatement(std::string_view sql) override;

    struct TClose {
        void operator()(sqlite3* db) const;
    };

  private:
    class TCheckpointer;
    static int LogGrew(void* self, sqlite3* db, const char* name, int frames);

    std::string FFileName;
    std::unique_ptr<sqlite3, TClose> FDb;
    std::mutex FWriteLock; // held from Begin to Commit or Rollback
    std::unique_lock<std::mutex> FWriting;
    std::unique_ptr<TCheckpointer> FCheckpointer; // none for a database in memory
};
