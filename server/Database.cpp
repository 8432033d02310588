#include "server/Database.h"

#include "server/PostgresDatabase.h"
#include "server/SqliteDatabase.h"

#include <utility>

TQuery::~TQuery() {
    if (FStatement) FStatement->Reset();
}

TQuery& TQuery::Bind(int index, int64_t value) {
    FStatement->Bind(index, value);
    return *this;
}

TQuery& TQuery::Bind(int index, std::string_view text) {
    FStatement->Bind(index, text);
    return *this;
}

TQuery& TQuery::BindBlob(int index, std::string_view bytes) {
    FStatement->BindBlob(index, bytes);
    return *this;
}

TQuery& TQuery::BindNull(int index) {
    FStatement->BindNull(index);
    return *this;
}

void TQuery::Run() {
    while (Step()) {
    }
}

std::string TDatabase::SchemaText(std::string_view sql, const TSchemaWords& words) {
    std::string text(sql);
    for (const auto& [token, word] :
         {std::pair<std::string_view, std::string_view>{"{serial}", words.Serial},
          {"{blob}", words.Blob},
          {"{keyed}", words.Keyed}})
        for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at))
            text.replace(at, token.size(), word);
    return text;
}

TQuery TDatabase::Prepare(std::string_view sql) {
    auto found = FStatements.find(sql);
    if (found == FStatements.end())
        found = FStatements.emplace(std::string(sql), NewStatement(sql)).first;
    return TQuery(*found->second);
}

bool IsPostgresAddress(std::string_view location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<TDatabase> OpenDatabase(const std::string& location) {
    if (IsPostgresAddress(location)) return std::make_unique<TPostgresDatabase>(location);
    return std::make_unique<TSqliteDatabase>(location);
}

TTransaction::TTransaction(TDatabase& db) : FDb(db) {
    FDb.Begin();
}

TTransaction::~TTransaction() {
    if (FDone) return;
    try {
        FDb.Rollback();
    } catch (const EDatabaseError&) {
        // Nothing sensible to do in a destructor; both databases roll back a broken
        // transaction on their own.
    }
}

void TTransaction::Commit() {
    FDb.Commit();
    FDone = true;
}
