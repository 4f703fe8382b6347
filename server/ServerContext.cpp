#include "server/ServerContext.h"

#include "server/Schema.h"

namespace orv::server {

TServerContext::TServerContext(const std::string& Name, TOpenMode Mode, int BusyTimeoutMs,
                               TOrvPackOptions PackOptions)
    : FDb(OpenStore(Name, Mode, BusyTimeoutMs)), FPackOptions(PackOptions) {}

std::optional<TSessionInfo> TServerContext::FindSession(const std::string& SessionID) {
    TStatementLease Query =
        FDb->Prepare("SELECT s.user_name, u.display_name, s.unit_id, un.parent_id FROM sessions s "
                     "JOIN users u ON u.user_name = s.user_name "
                     "JOIN units un ON un.unit_id = s.unit_id WHERE s.session_id = ?1");
    Query->Bind(1, SessionID);
    if (!Query->Step()) return std::nullopt;
    return TSessionInfo{SessionID, Query->Text(0), Query->Text(1), static_cast<int>(Query->Int64(2)),
                        Query->IsNull(3)};
}

bool TServerContext::HasPrivilege(const std::string& UserName, const std::string& Privilege) {
    TStatementLease Query =
        FDb->Prepare("SELECT 1 FROM user_privileges WHERE user_name = ?1 AND privilege = ?2");
    Query->Bind(1, UserName).Bind(2, Privilege);
    return Query->Step();
}

std::string TServerContext::UnitText(int UnitID) {
    TStatementLease Query = FDb->Prepare("SELECT unit_num || ' ' || unit_name FROM units WHERE unit_id = ?1");
    Query->Bind(1, UnitID);
    return Query->Step() ? Query->Text(0) : std::string();
}

TSessionInfo TServerContext::CheckAccess(const std::string& SessionID, int UnitID, const char* Privilege) {
    std::optional<TSessionInfo> Session = FindSession(SessionID);
    if (!Session) throw EAccessDenied(SessionEndedMessage);
    if (!UnitWithin(*FDb, UnitID, Session->UnitID)) {
        // The unit as the user knows it, by number and name; its id means nothing to them.
        const std::string Unit = UnitText(UnitID);
        throw EAccessDenied(Unit.empty() ? std::string("所选的机构不存在。")
                                         : Format("当前登录无权处理机构“%s”的数据。", {Unit}));
    }
    if (Privilege && !HasPrivilege(Session->UserName, Privilege))
        throw EAccessDenied(Format("用户 %s 没有此项操作的权限（%s）。", {Session->UserName, Privilege}));
    return *Session;
}

} // namespace orv::server
