// The SQLite engine of the store: a thin RAII layer over the SQLite C API.
#pragma once

#include "server/Store.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace orv::server {

// A failure of the database itself: cannot open, busy, read-only, corrupt, full. The
// message is meant for the user; Code() keeps SQLite's extended result code for callers
// that react to a particular failure.
class ESqliteError : public EStoreError {
public:
    ESqliteError(const std::string& Message, int Code);
    int Code() const { return FCode; }

private:
    int FCode;
};

// One prepared statement. Parameters are 1-based, columns 0-based, as in SQLite.
class TSqliteStatement : public TStoreStatement {
public:
    TSqliteStatement(sqlite3* Db, std::string_view Sql);
    ~TSqliteStatement() override;
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    using TStoreStatement::Bind;
    TStoreStatement& Bind(int Index, std::int64_t Value) override;
    TStoreStatement& Bind(int Index, std::string_view Value) override;
    TStoreStatement& BindNull(int Index) override;

    bool Step() override;
    std::int64_t Execute() override;
    void Reset() override;

    bool IsNull(int Column) const override;
    std::int64_t Int64(int Column) const override;
    std::string Text(int Column) const override;

    std::vector<std::int64_t> ExecuteMany(const std::vector<TParams>& Sets,
                                          const TRowHandler& OnRow) override;

private:
    sqlite3* FDb;
    sqlite3_stmt* FStmt = nullptr;
};

// A file this process may not write is opened for viewing, whatever the mode asked for:
// ReadOnly() then holds and a write transaction is refused before it begins. A write
// transaction takes the file's write lock at BEGIN (IMMEDIATE).
class TSqliteDatabase : public TStore {
public:
    TSqliteDatabase(const std::string& Path, TOpenMode Mode, int BusyTimeoutMs);
    ~TSqliteDatabase() override;

    TStoreEngine Engine() const override { return TStoreEngine::seSqlite; }
    const std::string& Name() const override { return FPath; }
    const std::string& Path() const { return FPath; }
    bool ReadOnly() const override { return FReadOnly; }
    sqlite3* Handle() const { return FDb; }

    void Exec(std::string_view Sql) override;
    void Begin() override;
    void Commit() override;
    void Rollback() noexcept override;
    int SchemaVersion() override;
    void SetSchemaVersion(int Version) override;
    bool Empty() override;
    void LockSchema() override {} // the immediate transaction holds the write lock already

protected:
    std::unique_ptr<TStoreStatement> NewStatement(const std::string& Sql) override;

private:
    void Open(const std::string& Name, int Flags);
    void OpenForViewing();
    void Close();

    sqlite3* FDb = nullptr;
    std::string FPath;
    bool FReadOnly = false;
};

// Raises ESqliteError for a failed SQLite call, with a user-facing text chosen by the
// kind of failure and SQLite's own words appended for whoever has to look into it.
[[noreturn]] void RaiseSqliteError(sqlite3* Db, int Code, std::string_view Context);

} // namespace orv::server
