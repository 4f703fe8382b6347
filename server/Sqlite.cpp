#include "server/Sqlite.h"

#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <filesystem>

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
        return std::string(MSG_STORE_BUSY);
    case SQLITE_READONLY:
        return std::string(MSG_STORE_READ_ONLY);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Format("数据库文件 %s 已损坏或不是本系统的数据库。", {Context});
    case SQLITE_CANTOPEN:
        return Format("无法打开数据库文件 %s。", {Context});
    case SQLITE_FULL:
        return std::string(MSG_STORE_FULL);
    case SQLITE_IOERR:
        return Format("读写数据库文件 %s 时出错。", {Context});
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return std::string(MSG_STORE_NO_PERMISSION);
    default:
        return std::string(MSG_STORE_FAILED);
    }
}

TStoreFault FaultOf(int Code) {
    switch (Code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return TStoreFault::sfBusy;
    case SQLITE_READONLY:
        return TStoreFault::sfReadOnly;
    case SQLITE_CONSTRAINT:
        return Code == SQLITE_CONSTRAINT_PRIMARYKEY || Code == SQLITE_CONSTRAINT_UNIQUE
                   ? TStoreFault::sfUnique
                   : TStoreFault::sfConstraint;
    default:
        return TStoreFault::sfOther;
    }
}

ESqliteError SqliteError(sqlite3* Db, int Code, std::string_view Context) {
    std::string Detail = Db ? sqlite3_errmsg(Db) : sqlite3_errstr(Code);
    return ESqliteError(UserText(Code, Db ? sqlite3_system_errno(Db) : 0, Context) + "（" + Detail + "）",
                        Code);
}

} // namespace

ESqliteError::ESqliteError(const std::string& Message, int Code)
    : EStoreError(Message, FaultOf(Code)), FCode(Code) {}

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

TStoreStatement& TSqliteStatement::Bind(int Index, std::int64_t Value) {
    int Rc = sqlite3_bind_int64(FStmt, Index, Value);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, Rc, "");
    return *this;
}

TStoreStatement& TSqliteStatement::Bind(int Index, std::string_view Value) {
    int Rc = sqlite3_bind_text64(FStmt, Index, Value.data(), Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, Rc, "");
    return *this;
}

TStoreStatement& TSqliteStatement::BindNull(int Index) {
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

std::int64_t TSqliteStatement::Execute() {
    while (Step()) {
    }
    Reset();
    return sqlite3_changes64(FDb);
}

std::vector<std::int64_t> TSqliteStatement::ExecuteMany(const std::vector<TParams>& Sets,
                                                        const TRowHandler& OnRow) {
    std::vector<std::int64_t> Changed;
    Changed.reserve(Sets.size());
    for (std::size_t I = 0; I < Sets.size(); ++I) {
        try {
            for (std::size_t P = 0; P < Sets[I].size(); ++P)
                BindParam(static_cast<int>(P) + 1, Sets[I][P]);
            while (Step())
                if (OnRow) OnRow(I, *this);
        } catch (EStoreError& E) {
            Reset();
            E.SetIndex = static_cast<std::ptrdiff_t>(I);
            throw;
        }
        Reset();
        Changed.push_back(sqlite3_changes64(FDb));
    }
    return Changed;
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

namespace {

// A file: URI naming Path, for the query parameters only a URI can carry.
std::string FileUri(const std::string& Path, std::string_view Query) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string Uri = "file:";
    for (unsigned char C : std::filesystem::absolute(Path).string()) {
        if (std::isalnum(C) || C == '/' || C == '-' || C == '.' || C == '_' || C == '~')
            Uri += static_cast<char>(C);
        else
            Uri += {'%', Hex[C >> 4], Hex[C & 0xF]};
    }
    return Uri + "?" + std::string(Query);
}

} // namespace

TSqliteDatabase::TSqliteDatabase(const std::string& Path, TOpenMode Mode, int BusyTimeoutMs)
    : FPath(Path), FReadOnly(Mode == TOpenMode::omReadOnly) {
    if (!FReadOnly) {
        Open(Path, SQLITE_OPEN_READWRITE | (Mode == TOpenMode::omReadWriteCreate ? SQLITE_OPEN_CREATE : 0));
        // SQLite quietly reads a file it may not write; such a file is opened for viewing.
        if (sqlite3_db_readonly(FDb, "main") == 1) {
            Close();
            FReadOnly = true;
        }
    }
    if (FReadOnly) OpenForViewing();
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
}

void TSqliteDatabase::Open(const std::string& Name, int Flags) {
    int Rc =
        sqlite3_open_v2(Name.c_str(), &FDb, Flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    if (Rc != SQLITE_OK) {
        ESqliteError Error = SqliteError(FDb, Rc, FPath);
        Close();
        throw Error;
    }
}

void TSqliteDatabase::Close() {
    ClearStatements();
    sqlite3_close_v2(FDb);
    FDb = nullptr;
}

// A reader of a database in WAL mode needs its shared-memory index and creates it when
// absent, which a folder it may not write forbids. Such a database with no -wal beside it
// has no writer connected (a WAL connection keeps its -wal while open) and every commit in
// the main file, so it is read as immutable: no index, no locks. A writer that connects
// later is not seen; this connection never writes, so the file stays safe. With a -wal
// left beside it, reading the main file alone would show stale data, so the open is
// refused instead.
void TSqliteDatabase::OpenForViewing() {
    Open(FileUri(FPath, "mode=ro"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    // The first read is where a missing index shows.
    int Rc = sqlite3_exec(FDb, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (Rc == SQLITE_OK) return;
    ESqliteError Error = SqliteError(FDb, sqlite3_extended_errcode(FDb), FPath);
    Close();
    if (Error.Code() != SQLITE_READONLY_DIRECTORY && Error.Code() != SQLITE_READONLY_CANTINIT &&
        Error.Code() != SQLITE_CANTOPEN)
        throw Error;
    std::error_code Ec;
    if (std::filesystem::exists(FPath + "-wal", Ec))
        throw ESqliteError(Format("数据库文件 %s 还有尚未并入的日志，而它所在的文件夹不可写，无法只读打开；"
                                  "请让有写权限的用户打开一次后再试。",
                                  {FPath}),
                           Error.Code());
    Open(FileUri(FPath, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

TSqliteDatabase::~TSqliteDatabase() {
    // Statements first (Close): a connection with live statements does not close.
    Close();
}

void TSqliteDatabase::Exec(std::string_view Sql) {
    std::string Text(Sql);
    char* Err = nullptr;
    int Rc = sqlite3_exec(FDb, Text.c_str(), nullptr, nullptr, &Err);
    sqlite3_free(Err);
    if (Rc != SQLITE_OK) RaiseSqliteError(FDb, sqlite3_extended_errcode(FDb), FPath);
}

std::unique_ptr<TStoreStatement> TSqliteDatabase::NewStatement(const std::string& Sql) {
    return std::make_unique<TSqliteStatement>(FDb, Sql);
}

void TSqliteDatabase::Begin() {
    if (ReadOnly()) throw ESqliteError(UserText(SQLITE_READONLY, 0, FPath), SQLITE_READONLY);
    Exec("BEGIN IMMEDIATE");
}

void TSqliteDatabase::Commit() {
    Exec("COMMIT");
}

void TSqliteDatabase::Rollback() noexcept {
    // A failed statement may already have ended the transaction; only roll back an open one.
    if (!sqlite3_get_autocommit(FDb)) sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
}

int TSqliteDatabase::SchemaVersion() {
    return static_cast<int>(QueryInt64("PRAGMA user_version"));
}

void TSqliteDatabase::SetSchemaVersion(int Version) {
    Exec("PRAGMA user_version = " + std::to_string(Version));
}

bool TSqliteDatabase::Empty() {
    return QueryInt64("SELECT count(*) FROM sqlite_schema") == 0;
}

} // namespace orv::server
