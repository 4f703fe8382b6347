// The application server: the business objects of a store, served over HTTP(S) to
// clients that log in with a password.
//
//   POST /login   {"user": "...", "password": "..."}          -> {"token": "...", "unit": UNIT_ID}
//   POST /logout  (Authorization: Bearer TOKEN)                -> {}
//   POST /call    {"object": "TCmsShfBean", "method": "LoadList", "unit": 0, ...}
//                 (Authorization: Bearer TOKEN)                -> {"ok": true, "data": "..."}
//                                                                 {"ok": false, "error": "..."}
//
// The lookups and picker queries are the methods of the object "Lookups": GetProductSortList,
// GetProdCls {id|num}, GetUnit {root, id|num, types}, UnitTree {root, types} and
// ProdClsList {search}; a root must lie within the user's unit. The object "Session" answers
// Authorized {privilege} with {"granted": true|false} for the caller's own user.
//
// /call answers as the object's interface does: a refusal by the object is ok false with
// its message. Errors of the envelope itself (malformed, unknown method, no session) are
// HTTP errors with {"error": "..."}.
#pragma once

#include "host/services/OrvPack.h"
#include "server/Accounts.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orv::server {

struct TAppServerOptions {
    // A SQLite file or a postgresql:// URI, as TServerOptions::Path.
    std::string Database;
    std::string Host = "127.0.0.1";
    // 0: any free port (see TAppServer::Port).
    int Port = 8080;
    // Both given: HTTPS.
    std::string CertFile;
    std::string KeyFile;
    // Requests worked on at once, each on a connection of its own to the store; clients
    // connected at once may be many more.
    int Threads = 8;
    std::size_t MaxRequestBytes = 32 * 1024 * 1024;
    // How the objects pack what they answer. Compressed, a list's packed text is about a
    // fifteenth of its plain size; plain, escaping it into the JSON envelope, compressing
    // that for the network and parsing it again on the client cost more than loading the
    // list itself.
    TOrvPackOptions PackOptions{TOrvPackOption::poCompress, TOrvPackOption::poChecksum};
    int TimeoutSeconds = 30;
    TLoginPolicy Login;
    // One line per request; empty: standard error.
    std::function<void(const std::string&)> Log;
};

class TAppServer {
public:
    // Opens the store (creating and seeding it as TQuillonServer does) and binds the
    // address; raises EDatabaseError or std::runtime_error when either fails.
    explicit TAppServer(TAppServerOptions Options);
    ~TAppServer();
    TAppServer(const TAppServer&) = delete;
    TAppServer& operator=(const TAppServer&) = delete;

    int Port() const;
    // Serves until Stop(); the requests in flight then finish before it returns.
    void Run();
    // From any thread.
    void Stop();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace orv::server
