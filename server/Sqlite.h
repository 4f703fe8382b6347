// Thin RAII layer over the SQLite C API: one connection, its cached prepared statements
// and transactions that roll back unless committed.
#pragma once

#include "host/core/SysUtils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace orv::server {

// A failure of the database itself: cannot open, busy, read-only, corrupt, full. The
// message is meant for the user; Code() keeps SQLite's extended result code for callers
// that react to a particular failure.
class ESqliteError : public EDatabaseError {
public:
    ESqliteError(const std::string& Message, int Code) : EDatabaseError(Message), FCode(Code) {}
    int Code() const { return FCode; }
    int PrimaryCode() const { return FCode & 0xFF; }

private:
    int FCode;
};

// One prepared statement. Parameters are 1-based, columns 0-based, as in SQLite.
class TSqliteStatement {
public:
    TSqliteStatement(sqlite3* Db, std::string_view Sql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    TSqliteStatement& Bind(int Index, std::int64_t Value);
    TSqliteStatement& Bind(int Index, std::string_view Value);
    TSqliteStatement& BindNull(int Index);

    // True while a row is available; false when the statement is done.
    bool Step();
    // Runs a statement that returns no rows, then makes it ready for the next use.
    void Execute();
    // Ready for the next use: bindings cleared.
    void Reset();

    bool IsNull(int Column) const;
    std::int64_t Int64(int Column) const;
    std::string Text(int Column) const;

private:
    sqlite3* FDb;
    sqlite3_stmt* FStmt = nullptr;
};

// Borrows a cached statement and resets it on every path out of the borrower's scope, so
// the next borrower never sees half-read rows or stale bindings.
class TStatementLease {
public:
    explicit TStatementLease(TSqliteStatement& Stmt) : FStmt(&Stmt) {}
    ~TStatementLease() { FStmt->Reset(); }
    TStatementLease(const TStatementLease&) = delete;
    TStatementLease& operator=(const TStatementLease&) = delete;
    TSqliteStatement* operator->() const { return FStmt; }
    TSqliteStatement& operator*() const { return *FStmt; }

private:
    TSqliteStatement* FStmt;
};

enum class TOpenMode { omReadWriteCreate, omReadWrite, omReadOnly };

// A file this process may not write is opened for viewing, whatever the mode asked for:
// ReadOnly() then holds and a write transaction is refused.
class TSqliteDatabase {
public:
    TSqliteDatabase(const std::string& Path, TOpenMode Mode, int BusyTimeoutMs);
    ~TSqliteDatabase();
    TSqliteDatabase(const TSqliteDatabase&) = delete;
    TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

    const std::string& Path() const { return FPath; }
    bool ReadOnly() const { return FReadOnly; }
    sqlite3* Handle() const { return FDb; }

    // Runs one or more statements that take no parameters.
    void Exec(std::string_view Sql);
    // A statement prepared once per connection and reused.
    TStatementLease Prepare(const std::string& Sql);
    std::int64_t QueryInt64(const std::string& Sql);

    std::int64_t LastInsertRowId() const;
    int Changes() const;

private:
    void Open(const std::string& Name, int Flags);
    void OpenForViewing();
    void Close();

    sqlite3* FDb = nullptr;
    std::string FPath;
    bool FReadOnly = false;
    std::unordered_map<std::string, std::unique_ptr<TSqliteStatement>> FCache;
};

// BEGIN IMMEDIATE takes the write lock at once, so two writers never both read a state
// that one of them is about to invalidate. Rolls back unless Commit() was reached. On a
// read-only connection an immediate transaction is refused before it begins.
class TTransaction {
public:
    enum class TKind { tkDeferred, tkImmediate };
    explicit TTransaction(TSqliteDatabase& Db, TKind Kind = TKind::tkImmediate);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit();

private:
    TSqliteDatabase& FDb;
    bool FOpen = false;
};

// Raises ESqliteError for a failed SQLite call, with a user-facing text chosen by the
// kind of failure and SQLite's own words appended for whoever has to look into it.
[[noreturn]] void RaiseSqliteError(sqlite3* Db, int Code, std::string_view Context);

} // namespace orv::server
