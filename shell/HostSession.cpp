#include "shell/HostSession.h"

#include "host/core/SysUtils.h"
#include "host/forms/Forms.h"

namespace orv::shell {

const char* const THostSession::ClassNames[5] = {"TCmsShfBean", "TCmsQtyBean", "TCmsValBean", "TCmsRsBean",
                                                 "TWorkTimetableBean"};

THostSession::THostSession(const std::string& DatabasePath, const std::string& UserName)
    : FUserName(UserName) {
    server::TServerOptions Options;
    Options.Path = DatabasePath;
    FServer = std::make_unique<server::TQuillonServer>(Options);
    FSessionID = FServer->Login(UserName);
    std::optional<server::TSessionInfo> Info = FServer->FindSession(FSessionID);
    if (!Info) throw EDatabaseError(Format("用户 %s 的会话没有建立。", {UserName}));
    FUnitID = Info->UnitID;

    FSysInfo.CodeTable()->SetValue("UNIT_ID", std::to_string(FUnitID));
    FSysInfo.CodeTable()->SetValue("SESSION_ID", FSessionID);
    FSysInfo.SetHostApplication(Application);
    FSysInfo.SetPackOptions({TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
    server::TQuillonServer* Server = FServer.get();
    const std::string Session = FSessionID;
    FSysInfo.SetAuthorizer(
        [Server, Session](const std::string& Code) { return Server->Authorized(Session, Code); });
    for (const char* Name : ClassNames) {
        std::string Class = Name;
        FSysInfo.RegisterClass(Class, [Server, Class] { return Server->CreateObject(Class); });
    }
}

THostSession::~THostSession() {
    try {
        FServer->Logout(FSessionID);
    } catch (const std::exception&) {
        // A session that cannot be ended on the way out expires with the database file.
    }
}

} // namespace orv::shell
