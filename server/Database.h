#pragma once
// The store's connection to its database, whichever that is: an SQLite file (one server
// process) or PostgreSQL (several server processes sharing one store). Both take the same
// schema and the same statements: parameters are written ?1, ?2, ... and values only ever
// reach SQL through Bind. Statements are prepared once per connection and reused. A
// connection is used by one thread at a time; its owner holds a lock around it.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

class EDatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One prepared statement of a back-end; used through TQuery.
class TStatement {
  public:
    virtual ~TStatement() = default;
    // Parameters count from 1, as in SQL.
    virtual void Bind(int index, int64_t value) = 0;
    virtual void Bind(int index, std::string_view text) = 0;
    virtual void BindBlob(int index, std::string_view bytes) = 0;
    virtual void BindNull(int index) = 0;
    // True while a row is there to read; false when done.
    virtual bool Step() = 0;
    virtual int64_t Int(int column) const = 0;
    virtual std::string Text(int column) const = 0; // also the bytes of a blob
    virtual bool IsNull(int column) const = 0;
    // Forgets the bindings and the rows, ready for the next use.
    virtual void Reset() = 0;
};

// One use of a prepared statement: bind, step, read. Resets the statement when it goes, so
// that no half-read statement holds the database.
class TQuery {
  public:
    explicit TQuery(TStatement& statement) : FStatement(&statement) {}
    ~TQuery();
    TQuery(TQuery&& other) noexcept : FStatement(other.FStatement) { other.FStatement = nullptr; }
    TQuery& operator=(TQuery&&) = delete;
    TQuery(const TQuery&) = delete;
    TQuery& operator=(const TQuery&) = delete;

    TQuery& Bind(int index, int64_t value);
    TQuery& Bind(int index, std::string_view text);
    TQuery& BindBlob(int index, std::string_view bytes);
    TQuery& BindNull(int index);
    bool Step() { return FStatement->Step(); }
    // Runs a statement that returns no rows (or whose rows do not matter).
    void Run();
    int64_t Int(int column) const { return FStatement->Int(column); }
    std::string Text(int column) const { return FStatement->Text(column); }
    bool IsNull(int column) const { return FStatement->IsNull(column); }

  private:
    TStatement* FStatement;
};

class TDatabase {
  public:
    virtual ~TDatabase() = default;

    // Runs statements without parameters. In schema text, {serial} stands for an integer key
    // the database counts up, {blob} for the type of raw bytes, and {keyed} after a table
    // asks for the table to be stored in the order of its primary key where that is a choice.
    virtual void Execute(std::string_view sql) = 0;
    // The statement of this text, prepared at its first use and kept.
    TQuery Prepare(std::string_view sql);

    // A writing transaction. Writers are serialised, also across server processes on one
    // database, so that what a writer reads stays true until it commits.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // True when the database answers a trivial query.
    virtual bool Ping() = 0;
    // True when other processes may write to the same database.
    virtual bool Shared() const = 0;
    // "SQLite file crumble.db" or the PostgreSQL server; no password.
    virtual std::string Describe() const = 0;

  protected:
    virtual std::unique_ptr<TStatement> NewStatement(std::string_view sql) = 0;

    // How a back-end spells the schema's {serial}, {blob} and {keyed}.
    struct TSchemaWords {
        std::string_view Serial, Blob, Keyed;
    };
    static std::string SchemaText(std::string_view sql, const TSchemaWords& words);

  private:
    // Looked up by the text as given, without copying it.
    struct THash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    std::unordered_map<std::string, std::unique_ptr<TStatement>, THash, std::equal_to<>>
        FStatements;
};

// True for a PostgreSQL connection address ("postgresql://..." or "postgres://...").
bool IsPostgresAddress(std::string_view location);
// Opens PostgreSQL for such an address, otherwise the SQLite file of that name (created when
// missing; ":memory:" for one in memory).
std::unique_ptr<TDatabase> OpenDatabase(const std::string& location);

// Holds a writing transaction open; rolls it back unless Commit was called.
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
