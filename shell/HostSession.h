// The session of the desktop host: where the rows live (a database opened in-process, or
// an application server logged in to), the user and the session object the plug-in reads.
#pragma once

#include "client/RemoteSession.h"
#include "host/services/SysInfo.h"
#include "server/QuillonServer.h"

#include <functional>
#include <memory>
#include <string>

namespace orv::shell {

// Invariant: while it exists, the user is logged in and SysInfo() describes the session:
// UNIT_ID is the user's unit, SESSION_ID the server's session, rights are asked of the
// server, and the business objects come from it by class name, in-process or as proxies
// of the application server's, with the same interfaces either way.
class THostSession {
public:
    // Opens (creating and seeding on first use) the database and logs UserName in.
    // Raises EDatabaseError when the database cannot be opened or the user is unknown.
    THostSession(const std::string& DatabasePath, const std::string& UserName);
    // Works through Connection, which has logged in.
    explicit THostSession(std::shared_ptr<client::TRemoteConnection> Connection);
    ~THostSession();
    THostSession(const THostSession&) = delete;
    THostSession& operator=(const THostSession&) = delete;

    // The in-process server; only a session opened on a database has one.
    server::TQuillonServer& Server();
    server::ILookups& Lookups() { return *FLookups; }
    TSysInfo& SysInfo() { return FSysInfo; }
    const std::string& UserName() const { return FUserName; }
    const std::string& SessionID() const { return FSessionID; }
    int UnitID() const { return FUnitID; }
    // Where the rows live, for the clerk: "数据库：PATH" or "服务器：URL".
    std::string Where() const;

    // The class names the session offers.
    static const char* const ClassNames[5];

private:
    using TObjectMaker = std::function<TInterfacePtr<IInterface>(const std::string& ClassName)>;
    // Fills SysInfo: the parameters from the members, rights from Authorizer, the classes
    // from Objects.
    void Describe(TAuthorizer Authorizer, TObjectMaker Objects);

    std::unique_ptr<server::TQuillonServer> FServer;
    std::shared_ptr<client::TRemoteConnection> FRemote;
    std::unique_ptr<client::TRemoteLookups> FRemoteLookups;
    server::ILookups* FLookups = nullptr;
    TSysInfo FSysInfo;
    std::string FUserName;
    std::string FSessionID;
    int FUnitID = 0;
};

} // namespace orv::shell
