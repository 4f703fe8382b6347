// The reference server side: commission business objects and lookups over an embedded
// SQLite database or a PostgreSQL database a chain shares.
#pragma once

#include "host/services/Interfaces.h"
#include "host/services/OrvPack.h"
#include "server/Accounts.h"
#include "server/ServerContext.h"
#include "server/ServerLookups.h"

#include <memory>
#include <optional>
#include <string>

namespace orv::server {

struct TServerOptions {
    // A SQLite file (a path, or sqlite:PATH) or a postgresql:// URI; empty:
    // DefaultDatabasePath().
    std::string Path;
    // Opens for viewing only, as a file this process may not write always is: saving is
    // refused, and a login lasts as long as this server object.
    bool ReadOnly = false;
    // A database created by this open is filled with the demo chain.
    bool SeedDemoData = true;
    int BusyTimeoutMs = 5000;
    // How LoadList and the save answers are packed.
    TOrvPackOptions PackOptions{TOrvPackOption::poChecksum};
};

// $XDG_DATA_HOME/quillon/quillon.db, or ~/.local/share/quillon/quillon.db.
std::string DefaultDatabasePath();

// Owns one connection. Opening creates a missing SQLite database (and its folder), brings
// the schema up to date and, for a new (empty) database, seeds the demo data; a database
// of a newer schema, a corrupt file or one that cannot be opened raises EDatabaseError.
class TQuillonServer {
public:
    explicit TQuillonServer(TServerOptions Options = {});
    ~TQuillonServer();
    TQuillonServer(const TQuillonServer&) = delete;
    TQuillonServer& operator=(const TQuillonServer&) = delete;

    // The database as messages name it (a server database without its password).
    const std::string& DatabasePath() const;

    // Opens a session for a known user at the user's own unit; raises EDatabaseError for
    // an unknown user.
    std::string Login(const std::string& UserName);
    void Logout(const std::string& SessionID);
    std::optional<TSessionInfo> FindSession(const std::string& SessionID);
    bool Authorized(const std::string& SessionID, const std::string& Privilege);
    // Raises EAccessDenied unless the session exists and UnitID is its unit or lies below.
    void RequireUnit(const std::string& SessionID, int UnitID);

    // "TCmsShfBean", "TCmsQtyBean", "TCmsValBean", "TCmsRsBean", "TWorkTimetableBean";
    // any other name raises EDatabaseError.
    TInterfacePtr<IInterface> CreateObject(const std::string& ClassName);

    TServerLookups& Lookups() { return *FLookups; }
    TOrvPackOptions PackOptions() const { return FContext->PackOptions(); }

    // Logins with passwords and the management of users, on this connection.
    TAccounts Accounts(TLoginPolicy Policy = {}) { return TAccounts(FContext, Policy); }

    // The connection itself, for tools that generate or inspect data. Business callers go
    // through the objects above, which take the connection's lock.
    TStore& Database();

private:
    std::shared_ptr<TServerContext> FContext;
    std::unique_ptr<TServerLookups> FLookups;
};

} // namespace orv::server
