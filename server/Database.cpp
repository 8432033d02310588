#include "server/Database.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
    throw EDatabaseError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

} // namespace

void TStatement::TFinalize::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

TStatement::TStatement(sqlite3* db, std::string_view sql) : FDb(db) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK)
        Fail(db, "prepare");
    FStatement.reset(statement);
}

TStatement& TStatement::Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(FStatement.get(), index, value) != SQLITE_OK) Fail(FDb, "bind");
    return *this;
}

TStatement& TStatement::Bind(int index, std::string_view text) {
    if (sqlite3_bind_text64(FStatement.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        Fail(FDb, "bind");
    return *this;
}

TStatement& TStatement::BindBlob(int index, std::string_view bytes) {
    if (sqlite3_bind_blob64(FStatement.get(), index, bytes.data(), bytes.size(),
                            SQLITE_TRANSIENT) != SQLITE_OK)
        Fail(FDb, "bind");
    return *this;
}

TStatement& TStatement::BindNull(int index) {
    if (sqlite3_bind_null(FStatement.get(), index) != SQLITE_OK) Fail(FDb, "bind");
    return *this;
}

bool TStatement::Step() {
    const int result = sqlite3_step(FStatement.get());
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    Fail(FDb, "step");
}

void TStatement::Run() {
    while (Step()) {
    }
}

int64_t TStatement::Int(int column) const {
    return sqlite3_column_int64(FStatement.get(), column);
}

std::string TStatement::Text(int column) const {
    const void* data = sqlite3_column_blob(FStatement.get(), column);
    const int size = sqlite3_column_bytes(FStatement.get(), column);
    if (!data || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool TStatement::IsNull(int column) const {
    return sqlite3_column_type(FStatement.get(), column) == SQLITE_NULL;
}

void TDatabase::TClose::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

TDatabase::TDatabase(const std::string& fileName) {
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(
        fileName.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    FDb.reset(db);
    if (result != SQLITE_OK) Fail(db, "open " + fileName);
    // A second process (the reports command) may read while the server writes.
    sqlite3_busy_timeout(db, 5000);
}

void TDatabase::Execute(std::string_view sql) {
    char* error = nullptr;
    const std::string text(sql);
    if (sqlite3_exec(FDb.get(), text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw EDatabaseError("execute: " + message);
    }
}

int64_t TDatabase::LastInsertId() const {
    return sqlite3_last_insert_rowid(FDb.get());
}

TTransaction::TTransaction(TDatabase& db) : FDb(db) {
    FDb.Execute("BEGIN IMMEDIATE");
}

TTransaction::~TTransaction() {
    if (FDone) return;
    try {
        FDb.Execute("ROLLBACK");
    } catch (const EDatabaseError&) {
        // Nothing sensible to do in a destructor; SQLite rolls back on its own anyway.
    }
}

void TTransaction::Commit() {
    FDb.Execute("COMMIT");
    FDone = true;
}
