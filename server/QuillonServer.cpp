#include "server/QuillonServer.h"

#include "server/CmsBeans.h"
#include "server/DemoData.h"
#include "server/Schema.h"

#include <cstdlib>
#include <filesystem>
#include <random>

namespace orv::server {

namespace {

std::string NewSessionID() {
    // random_device reads the system's entropy source; a session id must not be guessable.
    std::random_device Source;
    static constexpr char Hex[] = "0123456789abcdef";
    std::string Id;
    for (int I = 0; I < 8; ++I) {
        std::uint32_t Word = Source();
        for (int K = 0; K < 8; ++K, Word >>= 4)
            Id += Hex[Word & 0xF];
    }
    return Id;
}

TOpenMode ModeOf(const TServerOptions& Options) {
    return Options.ReadOnly ? TOpenMode::omReadOnly : TOpenMode::omReadWriteCreate;
}

std::string PrepareDatabasePath(const TServerOptions& Options) {
    std::string Path = Options.Path.empty() ? DefaultDatabasePath() : Options.Path;
    if (!Options.ReadOnly && EngineOf(Path) == TStoreEngine::seSqlite) {
        std::filesystem::path Folder = std::filesystem::path(SqlitePathOf(Path)).parent_path();
        std::error_code Ec;
        if (!Folder.empty()) std::filesystem::create_directories(Folder, Ec);
        if (Ec) throw EDatabaseError(Format("无法创建数据库目录 %s：%s", {Folder.string(), Ec.message()}));
    }
    return Path;
}

} // namespace

std::string DefaultDatabasePath() {
    std::filesystem::path Base;
    if (const char* Xdg = std::getenv("XDG_DATA_HOME"); Xdg && *Xdg)
        Base = Xdg;
    else if (const char* Home = std::getenv("HOME"); Home && *Home)
        Base = std::filesystem::path(Home) / ".local" / "share";
    else
        throw EDatabaseError("找不到用户数据目录：XDG_DATA_HOME 和 HOME 都没有设置。");
    return (Base / "quillon" / "quillon.db").string();
}

TQuillonServer::TQuillonServer(TServerOptions Options) {
    FContext = std::make_shared<TServerContext>(PrepareDatabasePath(Options), ModeOf(Options),
                                                Options.BusyTimeoutMs, Options.PackOptions);
    TStore& Db = FContext->Db();
    const bool Fresh = StoredSchemaVersion(Db) == 0 && Db.Empty();
    MigrateSchema(Db);
    if (Db.ReadOnly()) KeepSessionsOnConnection(Db);
    if (Fresh && Options.SeedDemoData) SeedDemoData(Db);
    FLookups = std::make_unique<TServerLookups>(FContext);
}

TQuillonServer::~TQuillonServer() = default;

std::string TQuillonServer::Login(const std::string& UserName) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStore& Db = FContext->Db();
    // The lookup is finished before the session is written: a connection still reading
    // is refused the write lock at once instead of waiting out the busy timeout.
    const std::int64_t Unit = [&] {
        TStatementLease User = Db.Prepare("SELECT unit_id FROM users WHERE user_name = ?1");
        User->Bind(1, UserName);
        if (!User->Step()) throw EAccessDenied(Format("用户 %s 不存在。", {UserName}));
        return User->Int64(0);
    }();

    std::string Id = NewSessionID();
    TStatementLease Insert =
        Db.Prepare("INSERT INTO sessions (session_id, user_name, unit_id) VALUES (?1, ?2, ?3)");
    Insert->Bind(1, Id).Bind(2, UserName).Bind(3, Unit);
    Insert->Execute();
    return Id;
}

void TQuillonServer::Logout(const std::string& SessionID) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    TStatementLease Delete = FContext->Db().Prepare("DELETE FROM sessions WHERE session_id = ?1");
    Delete->Bind(1, SessionID);
    Delete->Execute();
}

std::optional<TSessionInfo> TQuillonServer::FindSession(const std::string& SessionID) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    return FContext->FindSession(SessionID);
}

bool TQuillonServer::Authorized(const std::string& SessionID, const std::string& Privilege) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    std::optional<TSessionInfo> Session = FContext->FindSession(SessionID);
    return Session && FContext->HasPrivilege(Session->UserName, Privilege);
}

void TQuillonServer::RequireUnit(const std::string& SessionID, int UnitID) {
    std::lock_guard<std::mutex> Guard(FContext->Lock());
    FContext->CheckAccess(SessionID, UnitID, nullptr);
}

TInterfacePtr<IInterface> TQuillonServer::CreateObject(const std::string& ClassName) {
    TInterfacePtr<IInterface> Object = CreateBean(FContext, ClassName);
    if (!Object) throw EDatabaseError(Format("服务器上没有业务对象 %s。", {ClassName}));
    return Object;
}

const std::string& TQuillonServer::DatabasePath() const {
    return FContext->Db().Name();
}

TStore& TQuillonServer::Database() {
    return FContext->Db();
}

} // namespace orv::server
