#pragma once
// A thin owner of an SQLite connection and its prepared statements. Values only ever reach
// SQL through Bind, never through the statement text.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class EDatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TStatement {
  public:
    TStatement(sqlite3* db, std::string_view sql);

    // Parameters count from 1, as in SQL.
    TStatement& Bind(int index, int64_t value);
    TStatement& Bind(int index, std::string_view text);
    TStatement& BindBlob(int index, std::string_view bytes);
    TStatement& BindNull(int index);

    // True while a row is there to read; false when done.
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    int64_t Int(int column) const;
    std::string Text(int column) const; // also the bytes of a blob
    bool IsNull(int column) const;

  private:
    struct TFinalize {
        void operator()(sqlite3_stmt* statement) const;
    };
    sqlite3* FDb;
    std::unique_ptr<sqlite3_stmt, TFinalize> FStatement;
};

class TDatabase {
  public:
    // Opens (and creates) the database file; ":memory:" for one in memory.
    explicit TDatabase(const std::string& fileName);

    // Runs one or more statements without parameters (the schema).
    void Execute(std::string_view sql);
    TStatement Prepare(std::string_view sql) { return TStatement(FDb.get(), sql); }
    int64_t LastInsertId() const;

  private:
    struct TClose {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, TClose> FDb;
};

// Holds a transaction open; rolls it back unless Commit was called.
class TTransaction {
  public:
    explicit TTransaction(TDatabase& db);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit();

  private:
    TDatabase& FDb;
    bool FDone = false;
};
