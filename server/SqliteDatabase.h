#pragma once
// The database of one server process: an SQLite file in write-ahead-log mode.
#include "server/Database.h"

struct sqlite3;

class TSqliteDatabase : public TDatabase {
  public:
    // Opens (and creates) the database file; ":memory:" for one in memory.
    explicit TSqliteDatabase(const std::string& fileName);

    void Execute(std::string_view sql) override;
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    bool Ping() override;
    bool Shared() const override { return false; }
    std::string Describe() const override { return "SQLite " + FFileName; }

  protected:
    std::unique_ptr<TStatement> NewStatement(std::string_view sql) override;

  private:
    struct TClose {
        void operator()(sqlite3* db) const;
    };
    std::string FFileName;
    std::unique_ptr<sqlite3, TClose> FDb;
};
