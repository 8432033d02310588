#include "server/PostgresDatabase.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// The type number of bytea, whose values come as escaped text.
constexpr Oid ByteaOid = 17;
// The one lock every writing transaction takes ("CRUMBLE" in ASCII).
constexpr const char* BeginWriting = "BEGIN; SELECT pg_advisory_xact_lock(18927416479468613)";

[[noreturn]] void Fail(PGconn* connection, std::string_view what) {
    std::string message = connection ? PQerrorMessage(connection) : "out of memory";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    throw EDatabaseError(std::string(what) + ": " + message);
}

struct TClear {
    void operator()(PGresult* result) const { PQclear(result); }
};
using TResult = std::unique_ptr<PGresult, TClear>;

bool Succeeded(const TResult& result) {
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

void Check(PGconn* connection, const TResult& result, std::string_view what) {
    if (!Succeeded(result)) Fail(connection, what);
}

// ?1 becomes $1; text within quotes stays as it is.
std::string Placeholders(std::string_view sql) {
    std::string out;
    out.reserve(sql.size());
    char quote = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
            out += '$';
            continue;
        }
        out += c;
    }
    return out;
}

class TPostgresStatement : public TStatement {
  public:
    TPostgresStatement(TPostgresDatabase& db, std::string_view sql)
        : FDb(db), FSql(Placeholders(sql)) {}

    void Bind(int index, int64_t value) override { Set(index, std::to_string(value), false); }
    void Bind(int index, std::string_view text) override { Set(index, std::string(text), false); }
    void BindBlob(int index, std::string_view bytes) override {
        Set(index, std::string(bytes), true);
    }
    void BindNull(int index) override { Set(index, std::nullopt, false); }

    bool Step() override {
        if (!FResult) Execute();
        return ++FRow < PQntuples(FResult.get());
    }
    int64_t Int(int column) const override {
        const char* value = PQgetvalue(FResult.get(), FRow, column);
        if (*value == 't') return 1; // a boolean
        return std::strtoll(value, nullptr, 10);
    }
    std::string Text(int column) const override {
        const char* value = PQgetvalue(FResult.get(), FRow, column);
        if (PQftype(FResult.get(), column) != ByteaOid)
            return std::string(value,
                               static_cast<size_t>(PQgetlength(FResult.get(), FRow, column)));
        size_t length = 0;
        unsigned char* bytes =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(value), &length);
        if (!bytes) throw EDatabaseError("read: out of memory");
        std::string text(reinterpret_cast<const char*>(bytes), length);
        PQfreemem(bytes);
        return text;
    }
    bool IsNull(int column) const override { return PQgetisnull(FResult.get(), FRow, column); }
    void Reset() override {
        FResult.reset();
        FRow = -1;
        FValues.clear();
        FBinary.clear();
    }

  private:
    void Set(int index, std::optional<std::string> value, bool binary) {
        if (index < 1) throw EDatabaseError("bind: no parameter " + std::to_string(index));
        if (FValues.size() < static_cast<size_t>(index)) {
            FValues.resize(index);
            FBinary.resize(index);
        }
        FValues[index - 1] = std::move(value);
        FBinary[index - 1] = binary;
    }

    void Execute() {
        // A server that restarted drops the connection without a word: outside a transaction
        // the statement is simply sent again on a new one.
        if (!TryExecute() && FDb.Reconnected()) TryExecute();
        Check(FDb.Connection(), FResult, "step");
    }

    bool TryExecute() {
        PGconn* connection = FDb.Connection();
        if (FGeneration != FDb.Generation()) {
            FName = "crumble_" + std::to_string(FDb.NextStatementNumber());
            FResult.reset(PQprepare(connection, FName.c_str(), FSql.c_str(), 0, nullptr));
            if (!Succeeded(FResult)) return false;
            FGeneration = FDb.Generation();
        }
        std::vector<const char*> values(FValues.size());
        std::vector<int> lengths(FValues.size()), formats(FValues.size());
        for (size_t i = 0; i < FValues.size(); ++i) {
            values[i] = FValues[i] ? FValues[i]->data() : nullptr;
            lengths[i] = FValues[i] ? static_cast<int>(FValues[i]->size()) : 0;
            formats[i] = FBinary[i] ? 1 : 0;
        }
        FResult.reset(PQexecPrepared(connection, FName.c_str(), static_cast<int>(values.size()),
                                     values.data(), lengths.data(), formats.data(), 0));
        FRow = -1;
        return Succeeded(FResult);
    }

    TPostgresDatabase& FDb;
    std::string FSql;
    std::string FName;
    int FGeneration = 0;
    std::vector<std::optional<std::string>> FValues;
    std::vector<bool> FBinary;
    TResult FResult;
    int FRow = -1;
};

void IgnoreNotice(void*, const char*) {}

} // namespace

void TPostgresDatabase::TFinish::operator()(pg_conn* connection) const {
    PQfinish(connection);
}

TPostgresDatabase::TPostgresDatabase(const std::string& address)
    : FConnection(PQconnectdb(address.c_str())) {
    if (!FConnection || PQstatus(FConnection.get()) != CONNECTION_OK)
        Fail(FConnection.get(), "connect to PostgreSQL");
    // "relation already exists, skipping" and the like are no news for the operator.
    PQsetNoticeProcessor(FConnection.get(), IgnoreNotice, nullptr);
}

pg_conn* TPostgresDatabase::Connection() {
    PGconn* connection = FConnection.get();
    if (PQstatus(connection) == CONNECTION_OK) return connection;
    // Inside a transaction its earlier statements are lost with the connection: the
    // transaction fails as a whole instead of going on without them.
    if (FInTransaction) Fail(connection, "connection to PostgreSQL lost");
    PQreset(connection);
    if (PQstatus(connection) != CONNECTION_OK) Fail(connection, "connect to PostgreSQL");
    ++FGeneration;
    return connection;
}

bool TPostgresDatabase::Reconnected() {
    if (FInTransaction || PQstatus(FConnection.get()) == CONNECTION_OK) return false;
    PQreset(FConnection.get());
    if (PQstatus(FConnection.get()) != CONNECTION_OK) return false;
    ++FGeneration;
    return true;
}

void TPostgresDatabase::Command(const char* sql) {
    TResult result(PQexec(Connection(), sql));
    if (!Succeeded(result) && Reconnected()) result.reset(PQexec(Connection(), sql));
    Check(FConnection.get(), result, "execute");
}

void TPostgresDatabase::Execute(std::string_view sql) {
    Command(SchemaText(sql, {"BIGSERIAL PRIMARY KEY", "BYTEA", ""}).c_str());
}

void TPostgresDatabase::Begin() {
    Command(BeginWriting);
    FInTransaction = true;
}

void TPostgresDatabase::Commit() {
    PGconn* connection = Connection();
    FInTransaction = false;
    const TResult result(PQexec(connection, "COMMIT"));
    Check(connection, result, "commit");
    // A transaction that failed earlier ends in a "ROLLBACK" reported as success.
    if (std::string_view(PQcmdStatus(result.get())) != "COMMIT")
        throw EDatabaseError("commit: the transaction was rolled back");
}

void TPostgresDatabase::Rollback() {
    FInTransaction = false;
    if (PQstatus(FConnection.get()) != CONNECTION_OK) return;
    const TResult result(PQexec(FConnection.get(), "ROLLBACK"));
}

bool TPostgresDatabase::Ping() {
    try {
        Command("SELECT 1");
        return true;
    } catch (const EDatabaseError&) {
        return false;
    }
}

std::string TPostgresDatabase::Describe() const {
    PGconn* connection = FConnection.get();
    return std::string("PostgreSQL database ") + PQdb(connection) + " on " + PQhost(connection) +
           ":" + PQport(connection);
}

std::unique_ptr<TStatement> TPostgresDatabase::NewStatement(std::string_view sql) {
    return std::make_unique<TPostgresStatement>(*this, sql);
}
