#include "server/Sqlite.h"

#include <sqlite3.h>

#include <cerrno>

namespace orv::server {

namespace {

std::string UserText(int Code, int SystemErrno, std::string_view Context) {
    // SQLite names only a failed page write SQLITE_FULL; the same full disk met while
    // creating a file or sizing the shared-memory index arrives as an I/O or open error
    // whose operating-system cause says what the user must fix.
    const int Primary = Code & 0xFF;
    if ((Primary == SQLITE_IOERR || Primary == SQLITE_CANTOPEN) &&
        (SystemErrno == ENOSPC || SystemErrno == EDQUOT))
        return UserText(SQLITE_FULL, 0, Context);
    switch (Primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "数据库正被其他用户占用，请稍后再试。";
    case SQLITE_READONLY:
        return "数据库是只读的，不能保存修改。";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Format("数据库文件 %s 已损坏或不是本系统的数据库。", {Context});
    case SQLITE_CANTOPEN:
        return Format("无法打开数据库文件 %s。", {Context});
    case SQLITE_FULL:
        return "磁盘已满，数据库无法写入。";
    case SQLITE_IOERR:
        return Format("读写数据库文件 %s 时出错。", {Context});
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "没有访问数据库的权限。";
    default:
        return "数据库操作失败。";
    }
}

ESqliteError SqliteError(sqlite3* Db, int Code, std::string_view Context) {
    std::string Detail = Db ? sqlite3_errmsg(Db) : sqlite3_errstr(Code);
    return ESqliteError(UserText(Code, Db ? sqlite3_system_errno(Db) : 0, Context) + "（" + Detail + "）",
                        Code);
}

} // namespace

void RaiseSqliteError(sqlite3* Db, int Code, std::string_view Context) {
    throw SqliteError(Db, Code, Context);
}

// ---- TSqliteStatement ------------------------------------------------------------------

TSqliteStatement::TSqliteStatement(sqlite3* Db, std::string_view Sql) : FDb(Db) {
    int Rc = sqlite3_prepare_v3(Db, Sql.data(), static_cast<int>(Sql.size()), SQLITE_PREPARE_PERSISTENT,
                                &FStmt, nullptr);
    if (Rc != SQLITE_OK) RaiseSqliteError(Db, Rc, sqlite3_db_filename(Db, "main"));
}

TSqliteStatement::~TSqliteStatement() {
    sqlite3_finalize(FStmt);
}

TSqliteStatement& TSqliteStatement::Bind(int Index, std::int64_t Value) {
    int Rc = sqlite3_bind_int64(FStmt, Index, Value);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, Rc, "");
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int Index, std::string_view Value) {
    int Rc = sqlite3_bind_text64(FStmt, Index, Value.data(), Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, Rc, "");
    return *this;
}

TSqliteStatement& TSqliteStatement::BindNull(int Index) {
    int Rc = sqlite3_bind_null(FStmt, Index);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, Rc, "");
    return *this;
}

bool TSqliteStatement::Step() {
    int Rc = sqlite3_step(FStmt);
    if (Rc == SQLITE_ROW) return true;
    if (Rc == SQLITE_DONE) return false;
    // The extended code from the connection tells a primary-key clash from other constraints.
    RaiseSqliteError(FDb, sqlite3_extended_errcode(FDb), sqlite3_db_filename(FDb, "main"));
}

void TSqliteStatement::Execute() {
    while (Step()) {
    }
    Reset();
}

void TSqliteStatement::Reset() {
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

bool TSqliteStatement::IsNull(int Column) const {
    return sqlite3_column_type(FStmt, Column) == SQLITE_NULL;
}

std::int64_t TSqliteStatement::Int64(int Column) const {
    return sqlite3_column_int64(FStmt, Column);
}

std::string TSqliteStatement::Text(int Column) const {
    const unsigned char* P = sqlite3_column_text(FStmt, Column);
    if (!P) return {};
    return std::string(reinterpret_cast<const char*>(P),
                       static_cast<std::size_t>(sqlite3_column_bytes(FStmt, Column)));
}

// ---- TSqliteDatabase -------------------------------------------------------------------

TSqliteDatabase::TSqliteDatabase(const std::string& Path, TOpenMode Mode, int BusyTimeoutMs)
    : FPath(Path), FReadOnly(Mode == TOpenMode::omReadOnly) {
    int Flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    switch (Mode) {
    case TOpenMode::omReadWriteCreate:
        Flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case TOpenMode::omReadWrite:
        Flags |= SQLITE_OPEN_READWRITE;
        break;
    case TOpenMode::omReadOnly:
        Flags |= SQLITE_OPEN_READONLY;
        break;
    }
    int Rc = sqlite3_open_v2(Path.c_str(), &FDb, Flags, nullptr);
    if (Rc != SQLITE_OK) {
        ESqliteError Error = SqliteError(FDb, Rc, Path);
        sqlite3_close_v2(FDb);
        FDb = nullptr;
        throw Error;
    }
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
}

TSqliteDatabase::~TSqliteDatabase() {
    // Statements first: a connection with live statements does not close.
    FCache.clear();
    sqlite3_close_v2(FDb);
}

void TSqliteDatabase::Exec(std::string_view Sql) {
    std::string Text(Sql);
    char* Err = nullptr;
    int Rc = sqlite3_exec(FDb, Text.c_str(), nullptr, nullptr, &Err);
    sqlite3_free(Err);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, sqlite3_extended_errcode(FDb), FPath);
}

TStatementLease TSqliteDatabase::Prepare(const std::string& Sql) {
    auto It = FCache.find(Sql);
    if (It == FCache.end()) It = FCache.emplace(Sql, std::make_unique<TSqliteStatement>(FDb, Sql)).first;
    return TStatementLease(*It->second);
}

std::int64_t TSqliteDatabase::QueryInt64(const std::string& Sql) {
    TStatementLease S = Prepare(Sql);
    return S->Step() ? S->Int64(0) : 0;
}

std::int64_t TSqliteDatabase::LastInsertRowId() const {
    return sqlite3_last_insert_rowid(FDb);
}

int TSqliteDatabase::Changes() const {
    return sqlite3_changes(FDb);
}

// ---- TTransaction ----------------------------------------------------------------------

TTransaction::TTransaction(TSqliteDatabase& Db, TKind Kind) : FDb(Db) {
    FDb.Exec(Kind == TKind::tkImmediate ? "BEGIN IMMEDIATE" : "BEGIN");
    FOpen = true;
}

TTransaction::~TTransaction() {
    if (!FOpen) return;
    // A failed statement may already have ended the transaction; only roll back an open one.
    if (!sqlite3_get_autocommit(FDb.Handle()))
        sqlite3_exec(FDb.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
    FDb.Exec("COMMIT");
    FOpen = false;
}

} // namespace orv::server
