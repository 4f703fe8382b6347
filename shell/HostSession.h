// The session of the desktop host: the server's database, the logged-in user and the
// session object the plug-in reads.
#pragma once

#include "host/services/SysInfo.h"
#include "server/QuillonServer.h"

#include <memory>
#include <string>

namespace orv::shell {

// Invariant: while it exists, the user is logged in and SysInfo() describes the session:
// UNIT_ID is the user's unit, SESSION_ID the server's session id, rights are asked of the
// server, and the business objects come from it by class name.
class THostSession {
public:
    // Opens (creating and seeding on first use) the database and logs UserName in.
    // Raises EDatabaseError when the database cannot be opened or the user is unknown.
    THostSession(const std::string& DatabasePath, const std::string& UserName);
    ~THostSession();
    THostSession(const THostSession&) = delete;
    THostSession& operator=(const THostSession&) = delete;

    server::TQuillonServer& Server() { return *FServer; }
    TSysInfo& SysInfo() { return FSysInfo; }
    const std::string& UserName() const { return FUserName; }
    const std::string& SessionID() const { return FSessionID; }
    int UnitID() const { return FUnitID; }

    // The class names the session offers.
    static const char* const ClassNames[5];

private:
    std::unique_ptr<server::TQuillonServer> FServer;
    TSysInfo FSysInfo;
    std::string FUserName;
    std::string FSessionID;
    int FUnitID = 0;
};

} // namespace orv::shell
