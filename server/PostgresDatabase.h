#pragma once
// The database shared by several server processes: a PostgreSQL server reached through
// libpq. Writers take one advisory lock for their transaction, so that publications from any
// process are ranked one after the other. A connection that broke is opened again before the
// next statement outside a transaction; its statements are prepared again as they are used.
#include "server/Database.h"

struct pg_conn;

class TPostgresDatabase : public TDatabase {
  public:
    // A libpq connection address: "postgresql://user@host:port/database?...".
    explicit TPostgresDatabase(const std::string& address);

    void Execute(std::string_view sql) override;
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    bool Ping() override;
    bool Shared() const override { return true; }
    std::string Describe() const override;

    // For the statements: the live connection (opened again when it broke and no transaction
    // is open), and how often it was opened.
    pg_conn* Connection();
    int Generation() const { return FGeneration; }
    // After a statement failed: true when the connection had broken and, no transaction being
    // open, a new one is there to try again on.
    bool Reconnected();
    int NextStatementNumber() { return ++FStatementNumber; }

  protected:
    std::unique_ptr<TStatement> NewStatement(std::string_view sql) override;

  private:
    struct TFinish {
        void operator()(pg_conn* connection) const;
    };
    void Command(const char* sql);
    std::unique_ptr<pg_conn, TFinish> FConnection;
    int FGeneration = 1;
    int FStatementNumber = 0;
    bool FInTransaction = false;
};
