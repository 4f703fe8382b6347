#include "appserver/AppServer.h"

#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "server/QuillonServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <limits>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <sys/socket.h>

namespace orv::server {

namespace {

using nlohmann::json;
using TClock = std::chrono::steady_clock;

// The connections to the store, each leased to one request at a time: a request waits for
// another's query only when all are busy, and each connection keeps its own prepared
// statements.
class TConnectionPool {
public:
    TConnectionPool(const std::string& Database, TOrvPackOptions PackOptions, int Size) {
        TServerOptions Options;
        Options.Path = Database;
        Options.PackOptions = PackOptions;
        // The first connection creates, upgrades and seeds the store; the others find it ready.
        for (int I = 0; I < Size; ++I) {
            FAll.push_back(std::make_unique<TQuillonServer>(Options));
            FFree.push_back(FAll.back().get());
        }
    }

    class TLease {
    public:
        TLease(TConnectionPool& Pool, TQuillonServer* Server) : FPool(Pool), FServer(Server) {}
        ~TLease() { FPool.Give(FServer); }
        TLease(const TLease&) = delete;
        TLease& operator=(const TLease&) = delete;
        TQuillonServer& operator*() const { return *FServer; }
        TQuillonServer* operator->() const { return FServer; }

    private:
        TConnectionPool& FPool;
        TQuillonServer* FServer;
    };

    TLease Take() {
        std::unique_lock<std::mutex> Guard(FLock);
        FReady.wait(Guard, [this] { return !FFree.empty(); });
        TQuillonServer* Server = FFree.back();
        FFree.pop_back();
        return TLease(*this, Server);
    }

private:
    void Give(TQuillonServer* Server) {
        {
            std::lock_guard<std::mutex> Guard(FLock);
            FFree.push_back(Server);
        }
        FReady.notify_one();
    }

    std::vector<std::unique_ptr<TQuillonServer>> FAll;
    std::vector<TQuillonServer*> FFree;
    std::mutex FLock;
    std::condition_variable FReady;
};

// What the log line of the request being served says; a worker serves one request at a
// time, from the routing to the log line.
struct TRequestNote {
    TClock::time_point Start;
    std::string User, Object, Method, Outcome;
};
thread_local TRequestNote Note;

// An error of the envelope: its HTTP status and message.
struct EEnvelope : std::runtime_error {
    EEnvelope(int Status, const std::string& Message) : std::runtime_error(Message), Status(Status) {}
    int Status;
};

void Reply(httplib::Response& Res, int Status, const json& Body) {
    Res.status = Status;
    Res.set_content(Body.dump(), "application/json");
}

json ParseBody(const httplib::Request& Req) {
    json Body = json::parse(Req.body, nullptr, false);
    if (Body.is_discarded() || !Body.is_object()) throw EEnvelope(400, "请求不是 JSON 对象。");
    return Body;
}

std::string BearerToken(const httplib::Request& Req) {
    const std::string Header = Req.get_header_value("Authorization");
    constexpr std::string_view Scheme = "Bearer ";
    if (Header.size() <= Scheme.size() || Header.compare(0, Scheme.size(), Scheme) != 0)
        throw EEnvelope(401, SessionEndedMessage);
    return Header.substr(Scheme.size());
}

[[noreturn]] void NoSuchMethod() {
    throw EEnvelope(404, Format("业务对象 %s 没有方法 %s。", {Note.Object, Note.Method}));
}

// The object's answer in the shape of its interface: ok with what it gave back, or its
// refusal.
json Answer(bool Ok, const std::string& ErrorMsg, json Result) {
    Note.Outcome = Ok ? "ok" : "refused";
    if (!Ok) return {{"ok", false}, {"error", ErrorMsg}};
    Result["ok"] = true;
    return Result;
}

// LoadList and SaveDelta, which every business object has; false when I is not the
// object's interface or Method not one of them.
template <class I>
bool CallTable(const TInterfacePtr<IInterface>& Object, const std::string& Method, const std::string& Session,
               int Unit, const json& Args, json& Out) {
    TInterfacePtr<I> Obj = Supports<I>(Object);
    if (!Obj) return false;
    std::string Data, Error;
    if (Method == "LoadList") {
        const bool Ok = Obj->LoadList(Session, Unit, Data, Error);
        Out = Answer(Ok, Error, {{"data", Data}});
        return true;
    }
    if (Method == "SaveDelta") {
        const bool Ok = Obj->SaveDelta(Session, Unit, Args.at("delta").get<std::string>(), Data, Error);
        Out = Answer(Ok, Error, {{"data", Data}});
        return true;
    }
    return false;
}

// A moment argument. JSON has no NaN or infinity, and a client's encoder writes them as
// null: null stays "no moment at all", which the object refuses in its own words.
double MomentArg(const json& Args, const char* Name) {
    const json& Value = Args.at(Name);
    return Value.is_null() ? std::numeric_limits<double>::quiet_NaN() : Value.get<double>();
}

bool CallTimetable(const TInterfacePtr<IInterface>& Object, const std::string& Method, const std::string& Session,
                   int Unit, const json& Args, json& Out) {
    TInterfacePtr<IWorkTimetable> Obj = Supports<IWorkTimetable>(Object);
    if (!Obj) return false;
    std::string Data, Error;
    if (Method == "GetShiftList") {
        const bool Ok = Obj->GetShiftList(Session, Unit, Data, Error);
        Out = Answer(Ok, Error, {{"data", Data}});
        return true;
    }
    if (Method == "GetTimetable") {
        const bool Ok = Obj->GetTimetable(Session, Unit, MomentArg(Args, "from"), MomentArg(Args, "to"),
                                          Data, Error);
        Out = Answer(Ok, Error, {{"data", Data}});
        return true;
    }
    if (Method == "GetShiftOfTime") {
        int Shift = 0;
        const bool Ok = Obj->GetShiftOfTime(Session, Unit, MomentArg(Args, "moment"), Shift, Error);
        Out = Answer(Ok, Error, {{"shift", Shift == 0 ? json() : json(Shift)}});
        return true;
    }
    return false;
}

// The lookups and picker queries, within the user's unit.
json CallLookups(TQuillonServer& Server, const TSessionInfo& Session, const std::string& Method, const json& Args) {
    TServerLookups& Lookups = Server.Lookups();
    std::string Error;
    // A lookup by root answers only inside the user's unit, as the objects do.
    auto Within = [&](int Root) {
        try {
            Server.RequireUnit(Session.SessionID, Root);
            return true;
        } catch (const EAccessDenied& E) {
            Error = E.what();
            return false;
        }
    };
    auto Packet = [&](bool Ok, const TOrvClientDataSet& Rows) {
        return Answer(Ok, Error, {{"data", Ok ? OrvPack(Rows.GetXMLData(), Server.PackOptions()) : ""}});
    };
    TOrvClientDataSet Rows(nullptr);
    if (Method == "GetProductSortList") return Packet(Lookups.GetProductSortList(&Rows, Error), Rows);
    if (Method == "GetProdCls")
        return Packet(Lookups.GetProdCls(Args.value("id", Sys_UnknownID), Args.value("num", ""), &Rows, Error), Rows);
    if (Method == "GetUnit") {
        const int Root = Args.at("root").get<int>();
        const bool Ok = Within(Root) && Lookups.GetUnit(Root, Args.value("id", Sys_UnknownID), Args.value("num", ""),
                                                        Args.value("types", ""), &Rows, Error);
        return Packet(Ok, Rows);
    }
    if (Method == "UnitTree") {
        const int Root = Args.at("root").get<int>();
        if (!Within(Root)) return Answer(false, Error, {});
        json Units = json::array();
        for (const TUnitNode& U : Lookups.UnitTree(Root, Args.value("types", "")))
            Units.push_back(
                {{"id", U.UnitID}, {"parent", U.ParentID}, {"num", U.UnitNum}, {"name", U.UnitName}, {"type", U.UnitType}});
        return Answer(true, Error, {{"units", Units}});
    }
    if (Method == "ProdClsList") {
        json Classes = json::array();
        for (const TProdClsItem& C : Lookups.ProdClsList(Args.value("search", "")))
            Classes.push_back({{"id", C.ProdClsID}, {"num", C.ProdClsNum}, {"name", C.ProdName}, {"sort", C.ProdSortID}});
        return Answer(true, Error, {{"classes", Classes}});
    }
    NoSuchMethod();
}

// What a client asks of its own session: whether its user holds a privilege.
json CallSession(TQuillonServer& Server, const TSessionInfo& Session, const std::string& Method, const json& Args) {
    if (Method != "Authorized") NoSuchMethod();
    const bool Granted = Server.Authorized(Session.SessionID, Args.at("privilege").get<std::string>());
    return Answer(true, {}, {{"granted", Granted}});
}

json Call(TQuillonServer& Server, const TSessionInfo& Session, const json& Body) {
    Note.Object = Body.at("object").get<std::string>();
    Note.Method = Body.at("method").get<std::string>();
    if (Note.Object == "Lookups") return CallLookups(Server, Session, Note.Method, Body);
    if (Note.Object == "Session") return CallSession(Server, Session, Note.Method, Body);
    const int Unit = Body.at("unit").get<int>();
    TInterfacePtr<IInterface> Object;
    try {
        Object = Server.CreateObject(Note.Object);
    } catch (const EDatabaseError& E) {
        throw EEnvelope(404, E.what());
    }
    json Out;
    const std::string& Id = Session.SessionID;
    if (CallTable<ICmsShf>(Object, Note.Method, Id, Unit, Body, Out) ||
        CallTable<ICmsQty>(Object, Note.Method, Id, Unit, Body, Out) ||
        CallTable<ICmsVal>(Object, Note.Method, Id, Unit, Body, Out) ||
        CallTable<ICmsRs>(Object, Note.Method, Id, Unit, Body, Out) ||
        CallTable<IWorkTimetable>(Object, Note.Method, Id, Unit, Body, Out) ||
        CallTimetable(Object, Note.Method, Id, Unit, Body, Out))
        return Out;
    NoSuchMethod();
}

} // namespace

struct TAppServer::TImpl {
    TAppServerOptions Options;
    TConnectionPool Pool;
    std::unique_ptr<httplib::Server> Http;
    int Port = 0;

    explicit TImpl(TAppServerOptions O)
        : Options(std::move(O)), Pool(Options.Database, Options.PackOptions, std::max(1, Options.Threads)) {
        if (Options.CertFile.empty() != Options.KeyFile.empty())
            throw std::runtime_error("HTTPS needs both a certificate and its key.");
        if (Options.CertFile.empty()) {
            Http = std::make_unique<httplib::Server>();
        } else {
            auto Tls = std::make_unique<httplib::SSLServer>(Options.CertFile.c_str(), Options.KeyFile.c_str());
            if (!Tls->is_valid())
                throw std::runtime_error("cannot use certificate " + Options.CertFile + " with key " +
                                         Options.KeyFile);
            Http = std::move(Tls);
        }
        if (!Options.Log) Options.Log = [](const std::string& Line) { std::fprintf(stderr, "%s\n", Line.c_str()); };

        // The HTTP library gives a connection a worker of its own for as long as the client
        // keeps it open, busy or idle, and a desktop host keeps its connection between calls.
        // With as many workers as store connections a few hosts would hold them all while
        // they idle, and every other host would wait unheard. So workers are many and cheap
        // (a thread waiting on its socket), and what is dear, a connection to the store, is
        // leased from the pool of Options.Threads only for the time of a request. Beyond
        // HttpWorkers connections a newcomer waits at most until an idle connection's
        // keep-alive runs out (the library's five seconds).
        const auto HttpWorkers =
            std::max<std::size_t>(256, static_cast<std::size_t>(std::max(1, Options.Threads)));
        Http->new_task_queue = [HttpWorkers] { return new httplib::ThreadPool(HttpWorkers); };
        // A response's headers and body go out in two writes; Nagle's algorithm would hold
        // the body back until the client's delayed acknowledgement, some 40 ms per call.
        Http->set_tcp_nodelay(true);
        // A host makes many calls on its connection; the library would close it after five,
        // and over HTTPS every new connection costs a handshake.
        Http->set_keep_alive_max_count(1000);
        Http->set_payload_max_length(Options.MaxRequestBytes);
        Http->set_read_timeout(Options.TimeoutSeconds, 0);
        Http->set_write_timeout(Options.TimeoutSeconds, 0);
        Http->set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
            Note = {};
            Note.Start = TClock::now();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        Http->set_logger([this](const httplib::Request& Req, const httplib::Response& Res) { LogLine(Req, Res); });

        Http->Post("/login", [this](const httplib::Request& Req, httplib::Response& Res) {
            Serve(Res, [&] {
                const json Body = ParseBody(Req);
                Note.User = Body.at("user").get<std::string>();
                const std::string Password = Body.at("password").get<std::string>();
                TConnectionPool::TLease Server = Pool.Take();
                TAccounts Accounts = Server->Accounts(Options.Login);
                const std::string Token = Accounts.Login(Note.User, Password, NowSeconds());
                const TSessionInfo Session = Accounts.Resume(Token, NowSeconds());
                Note.Outcome = "ok";
                return json{{"token", Token}, {"unit", Session.UnitID}};
            });
        });
        Http->Post("/logout", [this](const httplib::Request& Req, httplib::Response& Res) {
            Serve(Res, [&] {
                TConnectionPool::TLease Server = Pool.Take();
                Server->Accounts(Options.Login).Logout(BearerToken(Req));
                Note.Outcome = "ok";
                return json::object();
            });
        });
        Http->Post("/call", [this](const httplib::Request& Req, httplib::Response& Res) {
            Serve(Res, [&] {
                const std::string Token = BearerToken(Req);
                const json Body = ParseBody(Req);
                TConnectionPool::TLease Server = Pool.Take();
                const TSessionInfo Session = Server->Accounts(Options.Login).Resume(Token, NowSeconds());
                Note.User = Session.UserName;
                return Call(*Server, Session, Body);
            });
        });

        // The library listens with a backlog of five, and hosts coming in at once (the
        // morning's logins, every host reconnecting after a network blip) overflow it: the
        // kernel drops them and the host's call fails. The listening socket is the last the
        // options are set on, and listening on it again only lengthens its queue.
        auto Listener = std::make_shared<socket_t>(INVALID_SOCKET);
        Http->set_socket_options([Listener](socket_t Socket) {
            httplib::default_socket_options(Socket);
            *Listener = Socket;
        });
        Port = Options.Port == 0 ? Http->bind_to_any_port(Options.Host)
                                 : (Http->bind_to_port(Options.Host, Options.Port) ? Options.Port : -1);
        if (Port <= 0 || ::listen(*Listener, SOMAXCONN) != 0)
            throw std::runtime_error("cannot listen on " + Options.Host + ":" + std::to_string(Options.Port));
    }

    // Runs Body and turns what it raises into the envelope's answer: no exception reaches
    // the HTTP library, which would only say "500".
    template <class F> void Serve(httplib::Response& Res, F&& Body) {
        try {
            Reply(Res, 200, Body());
        } catch (const EEnvelope& E) {
            Note.Outcome = "refused";
            Reply(Res, E.Status, {{"error", E.what()}});
        } catch (const json::exception&) {
            Note.Outcome = "malformed";
            Reply(Res, 400, {{"error", "请求缺少参数或参数类型不对。"}});
        } catch (const ELoginThrottled& E) {
            Note.Outcome = "throttled";
            Reply(Res, 429, {{"error", E.what()}});
        } catch (const EAccessDenied& E) {
            Note.Outcome = "denied";
            Reply(Res, 401, {{"error", E.what()}});
        } catch (const std::exception& E) {
            Note.Outcome = "failed";
            Reply(Res, 500, {{"error", E.what()}});
        }
    }

    void LogLine(const httplib::Request& Req, const httplib::Response& Res) {
        // A request refused before routing (too large, say) never set the start.
        const auto Start = Note.Start == TClock::time_point() ? TClock::now() : Note.Start;
        const auto Micros = std::chrono::duration_cast<std::chrono::microseconds>(TClock::now() - Start).count();
        auto Field = [](const std::string& V) { return V.empty() ? std::string("-") : V; };
        char Duration[32];
        std::snprintf(Duration, sizeof Duration, "%.1fms", static_cast<double>(Micros) / 1000.0);
        Options.Log(Req.remote_addr + " " + Req.method + " " + Req.path + " " + std::to_string(Res.status) +
                    " user=" + Field(Note.User) + " object=" + Field(Note.Object) + " method=" +
                    Field(Note.Method) + " outcome=" + Field(Note.Outcome) + " " + Duration);
        Note = {};
    }
};

TAppServer::TAppServer(TAppServerOptions Options) : FImpl(std::make_unique<TImpl>(std::move(Options))) {}

TAppServer::~TAppServer() = default;

int TAppServer::Port() const {
    return FImpl->Port;
}

void TAppServer::Run() {
    FImpl->Http->listen_after_bind();
}

void TAppServer::Stop() {
    FImpl->Http->stop();
}

} // namespace orv::server
