#include "server/Store.h"

#include "server/Postgres.h"
#include "server/Sqlite.h"

namespace orv::server {

TStoreStatement& TStoreStatement::BindParam(int Index, const TParam& Value) {
    return Value ? Bind(Index, *Value) : BindNull(Index);
}

TStatementLease TStore::Prepare(const std::string& Sql) {
    auto It = FCache.find(Sql);
    if (It == FCache.end()) It = FCache.emplace(Sql, NewStatement(Sql)).first;
    return TStatementLease(*It->second);
}

std::int64_t TStore::QueryInt64(const std::string& Sql) {
    TStatementLease S = Prepare(Sql);
    return S->Step() ? S->Int64(0) : 0;
}

TTransaction::TTransaction(TStore& Db) : FDb(Db) {
    FDb.Begin();
    FOpen = true;
}

TTransaction::~TTransaction() {
    if (FOpen) FDb.Rollback();
}

void TTransaction::Commit() {
    FDb.Commit();
    FOpen = false;
}

namespace {

bool StartsWith(const std::string& S, std::string_view Prefix) {
    return S.compare(0, Prefix.size(), Prefix) == 0;
}

} // namespace

TStoreEngine EngineOf(const std::string& Name) {
    return StartsWith(Name, "postgresql://") || StartsWith(Name, "postgres://") ? TStoreEngine::sePostgres
                                                                                : TStoreEngine::seSqlite;
}

std::string SqlitePathOf(const std::string& Name) {
    return StartsWith(Name, "sqlite:") ? Name.substr(7) : Name;
}

std::unique_ptr<TStore> OpenStore(const std::string& Name, TOpenMode Mode, int BusyTimeoutMs) {
    if (EngineOf(Name) == TStoreEngine::sePostgres) {
        // Viewing without writing rests on SQLite's file permissions; a server database
        // grants that through its own roles instead.
        if (Mode == TOpenMode::omReadOnly)
            throw EDatabaseError("PostgreSQL 数据库不能以只读方式打开，请为只读用户在数据库中设置权限。");
        return std::make_unique<TPgDatabase>(Name, BusyTimeoutMs);
    }
    auto Db = std::make_unique<TSqliteDatabase>(SqlitePathOf(Name), Mode, BusyTimeoutMs);
    // The first statement reads the file: a corrupt or foreign file fails here, not later.
    Db->Exec("PRAGMA foreign_keys = ON");
    Db->QueryInt64("PRAGMA user_version");
    if (!Db->ReadOnly()) Db->Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
    return Db;
}

} // namespace orv::server
