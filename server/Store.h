// The store every server part works on: a connection, its prepared statements with bound
// parameters, their rows and transactions. Two engines fill it in: SQLite (a file,
// in-process) and PostgreSQL (a shared server). SQL above this layer is written once, in
// the subset both engines read, with parameters numbered ?1, ?2...
#pragma once

#include "host/core/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orv::server {

// What a caller may react to in a failure of the store.
enum class TStoreFault {
    sfOther,
    sfBusy,       // held by another connection beyond the wait allowed
    sfReadOnly,   // this connection may not write
    sfUnique,     // a key that is already stored
    sfConstraint, // another rule of the schema: a reference, a check, a missing value
    sfOverlap,    // two ranges the schema keeps apart share a day
    sfConflict,   // a concurrent transaction won: serialization failure or deadlock
};

// What the user is told of a failure any engine can meet, whatever the engine calls it.
inline constexpr std::string_view MSG_STORE_BUSY = "数据库正被其他用户占用，请稍后再试。";
inline constexpr std::string_view MSG_STORE_READ_ONLY = "数据库是只读的，不能保存修改。";
inline constexpr std::string_view MSG_STORE_FULL = "磁盘已满，数据库无法写入。";
inline constexpr std::string_view MSG_STORE_NO_PERMISSION = "没有访问数据库的权限。";
inline constexpr std::string_view MSG_STORE_FAILED = "数据库操作失败。";

// A failure of the database. The message is meant for the user.
class EStoreError : public EDatabaseError {
public:
    EStoreError(const std::string& Message, TStoreFault Fault) : EDatabaseError(Message), FFault(Fault) {}
    TStoreFault Fault() const { return FFault; }
    // Another client's commit got in between the checks and the write: the same work
    // run again from the start sees that commit and decides afresh.
    bool Transient() const { return FFault == TStoreFault::sfConflict || FFault == TStoreFault::sfOverlap; }
    // The parameter set of ExecuteMany that failed; -1 for any other call.
    std::ptrdiff_t SetIndex = -1;

private:
    TStoreFault FFault;
};

// A parameter of a batch: every batch the server runs binds numbers only.
using TParam = std::optional<std::int64_t>;
using TParams = std::vector<TParam>;

// One prepared statement. Parameters are 1-based, columns 0-based.
class TStoreStatement {
public:
    virtual ~TStoreStatement() = default;

    virtual TStoreStatement& Bind(int Index, std::int64_t Value) = 0;
    virtual TStoreStatement& Bind(int Index, std::string_view Value) = 0;
    virtual TStoreStatement& BindNull(int Index) = 0;
    TStoreStatement& BindParam(int Index, const TParam& Value);

    // True while a row is available; false when the statement is done.
    virtual bool Step() = 0;
    // Runs a statement that returns no rows and makes it ready for the next use; the
    // number of rows it changed.
    virtual std::int64_t Execute() = 0;
    // Ready for the next use: bindings cleared.
    virtual void Reset() = 0;

    virtual bool IsNull(int Column) const = 0;
    virtual std::int64_t Int64(int Column) const = 0;
    virtual std::string Text(int Column) const = 0;

    using TRowHandler = std::function<void(std::size_t Set, const TStoreStatement& Row)>;
    // Runs the statement once per parameter set, in order, handing each result row to
    // OnRow with the index of its set; returns the rows each set changed. A server
    // engine sends every set before reading the answers, so a batch costs one round trip,
    // not one per set. The first failure stops the batch and raises EStoreError with
    // SetIndex naming its set.
    virtual std::vector<std::int64_t> ExecuteMany(const std::vector<TParams>& Sets,
                                                  const TRowHandler& OnRow = {}) = 0;
};

// Borrows a cached statement and resets it on every path out of the borrower's scope, so
// the next borrower never sees half-read rows or stale bindings.
class TStatementLease {
public:
    explicit TStatementLease(TStoreStatement& Stmt) : FStmt(&Stmt) {}
    ~TStatementLease() { FStmt->Reset(); }
    TStatementLease(const TStatementLease&) = delete;
    TStatementLease& operator=(const TStatementLease&) = delete;
    TStoreStatement* operator->() const { return FStmt; }
    TStoreStatement& operator*() const { return *FStmt; }

private:
    TStoreStatement* FStmt;
};

enum class TOpenMode { omReadWriteCreate, omReadWrite, omReadOnly };
enum class TStoreEngine { seSqlite, sePostgres };

class TStore {
public:
    virtual ~TStore() = default;
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    virtual TStoreEngine Engine() const = 0;
    // How messages name the database: its file, or a server database without password.
    virtual const std::string& Name() const = 0;
    virtual bool ReadOnly() const = 0;

    // Runs one or more statements that take no parameters.
    virtual void Exec(std::string_view Sql) = 0;
    // A statement prepared once per connection and reused.
    TStatementLease Prepare(const std::string& Sql);
    // The first column of the first row as a number; 0 when there is no row.
    std::int64_t QueryInt64(const std::string& Sql);

    // A write transaction. Where the engine has a write lock (SQLite) it is taken at once,
    // so two writers never both read a state that one of them is about to invalidate.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    // Ends an open transaction, if any; never raises.
    virtual void Rollback() noexcept = 0;

    // The schema version stored in the database (0 for a new one) and whether it holds
    // no table at all yet.
    virtual int SchemaVersion() = 0;
    virtual void SetSchemaVersion(int Version) = 0;
    virtual bool Empty() = 0;
    // Inside a transaction: keeps every other connection from upgrading the schema until
    // it ends.
    virtual void LockSchema() = 0;

protected:
    TStore() = default;
    virtual std::unique_ptr<TStoreStatement> NewStatement(const std::string& Sql) = 0;
    void ClearStatements() { FCache.clear(); }

private:
    std::unordered_map<std::string, std::unique_ptr<TStoreStatement>> FCache;
};

// Rolls back unless Commit() was reached.
class TTransaction {
public:
    explicit TTransaction(TStore& Db);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit();

private:
    TStore& FDb;
    bool FOpen = false;
};

// Runs Body in a write transaction and commits; when another client's concurrent commit
// made it fail (EStoreError::Transient), runs it again from the start, a few times at
// most. Body must start from nothing each time: what it read belongs to the attempt.
template <class F> auto InTransaction(TStore& Db, F&& Body) {
    constexpr int Attempts = 8;
    for (int Attempt = 1;; ++Attempt) {
        try {
            TTransaction Tx(Db);
            auto Result = Body();
            Tx.Commit();
            return Result;
        } catch (const EStoreError& E) {
            if (!E.Transient() || Attempt == Attempts) throw;
        }
    }
}

// Which engine a database name chooses: a postgresql:// (or postgres://) URI, else a
// SQLite file, given as its path or as sqlite:PATH.
TStoreEngine EngineOf(const std::string& Name);
// The file of a SQLite database name.
std::string SqlitePathOf(const std::string& Name);

// Opens the database Name names with the engine it chooses. BusyTimeoutMs bounds how
// long a statement waits for a lock another connection holds.
std::unique_ptr<TStore> OpenStore(const std::string& Name, TOpenMode Mode, int BusyTimeoutMs);

} // namespace orv::server
