// The PostgreSQL engine of the store, over libpq: the shared store of a chain.
#pragma once

#include "server/Store.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace orv::server {

class TPgDatabase;

// The store's ?N parameters become PostgreSQL's $N. Each parameter is sent as text with
// the type of what was bound (bigint or text), so the server never has to guess one; the
// statement is prepared on the server once per such type signature. A batch is pipelined,
// or, for a query or a plain INSERT ... VALUES, run as one statement over arrays of the
// batch's numbers.
class TPgStatement : public TStoreStatement {
public:
    TPgStatement(TPgDatabase& Db, std::string_view Sql);
    ~TPgStatement() override;
    TPgStatement(const TPgStatement&) = delete;
    TPgStatement& operator=(const TPgStatement&) = delete;

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
    struct TBound {
        std::vector<std::string> Values;
        std::vector<bool> Null;
        std::vector<unsigned> Types;
    };
    // The 0-based slot of parameter Index; raises for a number the SQL does not have.
    std::size_t Slot(int Index) const;
    // The server-side name of the statement for these parameter types.
    const std::string& PreparedFor(const std::vector<unsigned>& Types);
    void Run();
    bool IsQuery() const;
    std::vector<std::int64_t> QueryMany(const std::vector<TParams>& Sets, const TRowHandler& OnRow);
    // A plain INSERT ... VALUES batch as one INSERT over arrays, in a transaction. False,
    // with nothing of it applied, when a set breaks a rule of the schema or a trigger kept
    // a row out: the sets run one by one then tell which. Raises for any other failure.
    bool InsertMany(const std::vector<TParams>& Sets);
    // Prepares Sql, whose FParamCount parameters are all arrays of bigint; its name.
    std::string PrepareOverArrays(const std::string& Sql);
    // Runs the prepared statement Name once with one array per parameter, each holding
    // that parameter of every set.
    pg_result* ExecArrays(const std::string& Name, const std::vector<TParams>& Sets);
    void SetResult(pg_result* Result);
    static void Pointers(const TBound& B, std::vector<const char*>& Out);

    TPgDatabase& FDb;
    std::string FOriginal;     // with ?N
    std::vector<bool> FUsed;   // by parameter number - 1: whether the SQL names it
    std::string FSql;          // with $N; fills FUsed, so comes after it
    std::string FBatchName;    // the prepared form QueryMany runs, once made
    std::string FInsertName;   // the prepared form InsertMany runs, once made
    bool FPlainInsert = false; // INSERT ... VALUES (...) and nothing after: one row per set
    int FParamCount = 0;
    std::map<std::vector<unsigned>, std::string> FPrepared;
    TBound FBound;
    pg_result* FResult = nullptr;
    int FRow = -1;
};

class TPgDatabase : public TStore {
public:
    TPgDatabase(const std::string& Uri, int BusyTimeoutMs);
    ~TPgDatabase() override;

    TStoreEngine Engine() const override { return TStoreEngine::sePostgres; }
    const std::string& Name() const override { return FName; }
    bool ReadOnly() const override { return false; }
    pg_conn* Handle() const { return FConn; }

    void Exec(std::string_view Sql) override;
    void Begin() override;
    void Commit() override;
    void Rollback() noexcept override;
    int SchemaVersion() override;
    void SetSchemaVersion(int Version) override;
    bool Empty() override;
    void LockSchema() override;

    // A name for a new server-side prepared statement, unique on this connection.
    std::string NextStatementName() { return "q" + std::to_string(++FStatements); }
    // Raises EStoreError for a failed result (and frees it), or for the connection's error
    // when there is no result at all.
    [[noreturn]] void Raise(pg_result* Result) const;

protected:
    std::unique_ptr<TStoreStatement> NewStatement(const std::string& Sql) override;

private:
    pg_conn* FConn = nullptr;
    std::string FName;
    int FStatements = 0;
};

// The database a URI names as messages may show it: the password left out.
std::string PgDisplayName(const std::string& Uri);

} // namespace orv::server
