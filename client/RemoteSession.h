// A desktop host's side of the application server: one logged-in connection, and the
// business objects and lookups behind it, with the interfaces the plug-in already knows.
// The plug-in cannot tell them from objects living in-process.
#pragma once

#include "host/core/SysUtils.h"
#include "host/services/Interfaces.h"
#include "server/ServerLookups.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace httplib {
class Client;
}

namespace orv::client {

// The server could not be reached or answered outside the protocol; the message says so
// in the clerk's words.
class ERemoteError : public Exception {
public:
    using Exception::Exception;
};

// The session has ended on the server (logged out, idle too long): only a new login helps.
class ESessionEnded : public ERemoteError {
public:
    using ERemoteError::ERemoteError;
};

// A login the server refused (wrong name or password, too many attempts).
class ELoginRefused : public ERemoteError {
public:
    using ERemoteError::ERemoteError;
};

struct TRemoteOptions {
    // http://host[:port][/prefix] or https://...
    std::string Url;
    // HTTPS: a file of the certificates to trust besides the system's.
    std::string CaFile;
    int ConnectTimeoutSeconds = 5;
    // A list of 200,000 rows takes a while to build on the server.
    int ReadTimeoutSeconds = 120;
};

// Invariant: calls carry the token of the last good login. A connection serves one
// caller at a time; calls from several threads queue up.
class TRemoteConnection {
public:
    // Raises ERemoteError when the address is no http(s) URL.
    explicit TRemoteConnection(TRemoteOptions Options);
    ~TRemoteConnection();
    TRemoteConnection(const TRemoteConnection&) = delete;
    TRemoteConnection& operator=(const TRemoteConnection&) = delete;

    // Raises ELoginRefused with the server's message, or ERemoteError.
    void Login(const std::string& UserName, const std::string& Password);
    // Ends the session on the server; a server out of reach lets it expire there.
    void Logout() noexcept;

    // When a call finds its session ended, Relogin is asked for a new login (the host
    // shows its login dialog); when it returns true the call is made once more.
    void SetRelogin(std::function<bool()> Relogin) { FRelogin = std::move(Relogin); }

    // One call of /call: the answer, whose "ok" says whether the object agreed. Raises
    // ESessionEnded, or ERemoteError for anything else that is not an answer.
    nlohmann::json Call(const nlohmann::json& Request);
    // The same call in the shape of the objects' interfaces: true with the answer in Out
    // when the object agreed; false with its refusal, or why the server could not be
    // asked followed by Unreached, in ErrorMsg.
    bool Ask(const nlohmann::json& Request, nlohmann::json& Out, std::string& ErrorMsg,
             std::string_view Unreached = {});

    // Whether the user holds Privilege; false when the server cannot be asked. An answer
    // holds for the rest of the login: it only enables what the windows offer, and the
    // server checks every call again.
    bool Authorized(const std::string& Privilege);

    const std::string& Url() const { return FOptions.Url; }
    const std::string& UserName() const { return FUserName; }
    const std::string& Token() const { return FToken; }
    int UnitID() const { return FUnitID; }

private:
    nlohmann::json Post(const std::string& Path, const nlohmann::json& Body, int& Status);

    TRemoteOptions FOptions;
    std::string FOrigin; // scheme, host and port
    std::string FPrefix; // the path before /login, /call, /logout; empty or "/x"
    std::unique_ptr<httplib::Client> FHttp;
    std::recursive_mutex FLock;
    std::function<bool()> FRelogin;
    std::string FUserName;
    std::string FToken;
    int FUnitID = 0;
    std::map<std::string, bool> FRights; // answers of this login
};

// A new proxy of a business object by class name ("TCmsShfBean", ...). It offers the
// class's interface, ignores the session id it is given (the connection's token is the
// session) and answers as the object would: false with the reason, a lost connection
// included, in ErrorMsg. An unknown class raises EDatabaseError, as in-process.
TInterfacePtr<IInterface> CreateRemoteObject(const std::shared_ptr<TRemoteConnection>& Connection,
                                             const std::string& ClassName);

// The lookups and picker queries through the connection. UnitTree and ProdClsList raise
// ERemoteError when the server cannot answer; the others return false with the reason.
class TRemoteLookups : public server::ILookups {
public:
    explicit TRemoteLookups(std::shared_ptr<TRemoteConnection> Connection) : FConnection(std::move(Connection)) {}

    bool GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetUnit(int RootUnitID, int UnitID, const std::string& UnitNum, const std::string& UnitTypes,
                 TOrvClientDataSet* S, std::string& ErrorMsg) override;
    bool GetProdCls(int ProdClsID, const std::string& ProdClsNum, TOrvClientDataSet* S,
                    std::string& ErrorMsg) override;
    std::vector<server::TUnitNode> UnitTree(int RootUnitID, const std::string& UnitTypes) override;
    std::vector<server::TProdClsItem> ProdClsList(const std::string& SearchText) override;

private:
    bool Packet(const nlohmann::json& Request, TOrvClientDataSet* S, std::string& ErrorMsg);

    std::shared_ptr<TRemoteConnection> FConnection;
};

} // namespace orv::client
