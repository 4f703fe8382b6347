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
    FLookups = &FServer->Lookups();

    server::TQuillonServer* Server = FServer.get();
    const std::string Session = FSessionID;
    Describe([Server, Session](const std::string& Code) { return Server->Authorized(Session, Code); },
             [Server](const std::string& Class) { return Server->CreateObject(Class); });
}

THostSession::THostSession(std::shared_ptr<client::TRemoteConnection> Connection)
    : FRemote(std::move(Connection)), FUserName(FRemote->UserName()), FSessionID(FRemote->Token()),
      FUnitID(FRemote->UnitID()) {
    FRemoteLookups = std::make_unique<client::TRemoteLookups>(FRemote);
    FLookups = FRemoteLookups.get();
    client::TRemoteConnection* Remote = FRemote.get();
    Describe([Remote](const std::string& Code) { return Remote->Authorized(Code); },
             [Remote = FRemote](const std::string& Class) { return client::CreateRemoteObject(Remote, Class); });
}

void THostSession::Describe(TAuthorizer Authorizer, TObjectMaker Objects) {
    FSysInfo.SetAuthorizer(std::move(Authorizer));
    for (const char* Name : ClassNames) {
        std::string Class = Name;
        FSysInfo.RegisterClass(Class, [Objects, Class] { return Objects(Class); });
    }
    FSysInfo.CodeTable()->SetValue("UNIT_ID", std::to_string(FUnitID));
    FSysInfo.CodeTable()->SetValue("SESSION_ID", FSessionID);
    FSysInfo.SetHostApplication(Application);
    FSysInfo.SetPackOptions({TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
}

THostSession::~THostSession() {
    if (FRemote) {
        FRemote->Logout();
        return;
    }
    try {
        FServer->Logout(FSessionID);
    } catch (const std::exception&) {
        // A session that cannot be ended on the way out expires with the database file.
    }
}

server::TQuillonServer& THostSession::Server() {
    if (!FServer) throw Exception("这个会话通过应用服务器工作，没有进程内的服务器。");
    return *FServer;
}

std::string THostSession::Where() const {
    return FRemote ? "服务器：" + FRemote->Url() : "数据库：" + FServer->DatabasePath();
}

} // namespace orv::shell
