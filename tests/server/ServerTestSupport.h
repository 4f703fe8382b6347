// A fresh demo database per test, on either engine: a file in a temporary folder, or a
// database of the test program's private PostgreSQL cluster; and the window-side steps
// (load a packet into a data set, send its delta) that the tests drive the server with.
#pragma once

#include "appserver/AppServer.h"
#include "client/RemoteSession.h"
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/OrvPack.h"
#include "server/PgCluster.h"
#include "server/QuillonServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace orv::server::test {

// A folder removed with everything in it when the object goes.
class TTempDir {
public:
    TTempDir() {
        std::string Pattern = (std::filesystem::temp_directory_path() / "quillon-server-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        FPath = Pattern;
    }
    ~TTempDir() {
        std::error_code Ec;
        std::filesystem::remove_all(FPath, Ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }

private:
    std::filesystem::path FPath;
};

// The private PostgreSQL cluster of the test program: started by the first test that
// needs it and stopped when the program's tests are over, however they went.
class TPgEnvironment : public ::testing::Environment {
public:
    // The cluster, or null with Why saying why it cannot run.
    static TPgCluster* Cluster(std::string& Why) {
        if (!FCluster && FWhy.empty()) {
            try {
                FCluster = std::make_unique<TPgCluster>();
                // One seeded database to copy for each test: cheaper than seeding each.
                FCluster->CreateDatabase("quillon_template");
                TQuillonServer Seed([] {
                    TServerOptions O;
                    O.Path = FCluster->Uri("quillon_template");
                    return O;
                }());
            } catch (const std::exception& E) {
                FCluster.reset();
                FWhy = E.what();
            }
        }
        Why = FWhy;
        return FCluster.get();
    }
    void TearDown() override { FCluster.reset(); }

private:
    static inline std::unique_ptr<TPgCluster> FCluster;
    static inline std::string FWhy;
};

inline ::testing::Environment* const PgEnvironment = ::testing::AddGlobalTestEnvironment(new TPgEnvironment);

inline auto AllEngines() {
    return ::testing::Values(TStoreEngine::seSqlite, TStoreEngine::sePostgres);
}

} // namespace orv::server::test

namespace orv::server {
// How a test's parameter is shown, in test names, test lists and failures.
inline void PrintTo(TStoreEngine Engine, std::ostream* Out) {
    *Out << (Engine == TStoreEngine::seSqlite ? "SQLite" : "PostgreSQL");
}
} // namespace orv::server

namespace orv::server::test {

inline std::string EngineName(const ::testing::TestParamInfo<TStoreEngine>& Info) {
    return ::testing::PrintToString(Info.param);
}

// Names a new database of Engine: a file in Dir, or a new database of the cluster, a copy
// of the seeded demo database unless Empty. Without a cluster the test is skipped, or, in
// CI (CI set), fails: there every engine must be covered. Name stays empty then, and the
// caller returns at once.
inline void NewDatabase(std::string& Name, TStoreEngine Engine, const TTempDir& Dir, bool Empty = false,
                        const std::string& FileName = "quillon.db") {
    Name.clear();
    if (Engine == TStoreEngine::seSqlite) {
        Name = Dir.File(FileName);
        return;
    }
    std::string Why;
    TPgCluster* Cluster = TPgEnvironment::Cluster(Why);
    if (!Cluster) {
        if (const char* Ci = std::getenv("CI"); Ci && *Ci)
            FAIL() << "PostgreSQL cluster unavailable: " << Why;
        GTEST_SKIP() << "PostgreSQL cluster unavailable: " << Why;
    }
    static int Serial = 0;
    const std::string Database = "test_" + std::to_string(++Serial);
    Cluster->CreateDatabase(Database, Empty ? "" : "quillon_template");
    Name = Cluster->Uri(Database);
}

// What one save call gave back.
struct TSaveResult {
    bool Ok = false;
    std::string Answer; // unpacked
    std::string Error;
};

// Makes a business object by class name: an in-process server's, or a proxy of one behind
// an application server.
using TObjectSource = std::function<TInterfacePtr<IInterface>(const std::string& ClassName)>;

inline TObjectSource ObjectsOf(TQuillonServer& Server) {
    return [&Server](const std::string& ClassName) { return Server.CreateObject(ClassName); };
}
inline TObjectSource ObjectsOf(std::shared_ptr<client::TRemoteConnection> Connection) {
    return [Connection = std::move(Connection)](const std::string& ClassName) {
        return client::CreateRemoteObject(Connection, ClassName);
    };
}

// Calls of one window: load its rows into a data set, save that set's changes.
template <class I> class TWindowClient {
public:
    TWindowClient(TObjectSource Objects, std::string ClassName, std::string SessionID, std::string KeyFields,
                  int UnitID = Sys_GlobalUnitID)
        : FObjects(std::move(Objects)), FClassName(std::move(ClassName)), FSessionID(std::move(SessionID)),
          FKeyFields(std::move(KeyFields)), FUnitID(UnitID) {}
    TWindowClient(TQuillonServer& Server, std::string ClassName, std::string SessionID, std::string KeyFields,
                  int UnitID = Sys_GlobalUnitID)
        : TWindowClient(ObjectsOf(Server), std::move(ClassName), std::move(SessionID), std::move(KeyFields),
                        UnitID) {}

    TInterfacePtr<I> Object() {
        TInterfacePtr<I> Obj = Supports<I>(FObjects(FClassName));
        EXPECT_TRUE(Obj) << FClassName << " does not offer its interface";
        return Obj;
    }

    // Loads the rows into Rows (replacing what it held); false with Error on refusal.
    bool Load(TOrvClientDataSet& Rows, std::string* Error = nullptr) {
        std::string Data, Msg;
        if (!Object()->LoadList(FSessionID, FUnitID, Data, Msg)) {
            if (Error) *Error = Msg;
            return false;
        }
        Rows.SetXMLData(OrvUnpack(Data));
        Rows.SetKeyFields(FKeyFields);
        return true;
    }

    // Sends Rows' delta as a window does and, on success, backfills the answer and
    // merges the change log.
    TSaveResult Save(TOrvClientDataSet& Rows) {
        TSaveResult R;
        std::string Packed =
            OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
        std::string Result;
        R.Ok = Object()->SaveDelta(FSessionID, FUnitID, Packed, Result, R.Error);
        if (!R.Ok) return R;
        R.Answer = OrvUnpack(Result);
        if (!R.Answer.empty()) {
            TOrvUpdateDataSet Update(nullptr);
            Update.SetXMLDelta(R.Answer);
            Update.BackfillDataSet(&Rows);
        }
        Rows.MergeChangeLog();
        return R;
    }

private:
    TObjectSource FObjects;
    std::string FClassName;
    std::string FSessionID;
    std::string FKeyFields;
    int FUnitID;
};

inline const char* RsKey = "SHOP_ID;PROD_CLS_ID;FROM_DATE;TO_DATE";

// Whether the objects are reached through an application server, as a desktop host started
// with --server reaches them: QUILLON_TEST_THROUGH=network. The same cases then run
// through the network and must give the same answers.
inline bool ThroughNetwork() {
    const char* Through = std::getenv("QUILLON_TEST_THROUGH");
    return Through && std::string(Through) == "network";
}

// Runs on the engine the test is instantiated with; in-process, or through an application
// server on the same database (see ThroughNetwork). Admin and Viewer are then the tokens of
// their logins, and the objects and lookups of a session are proxies.
class ServerTest : public ::testing::TestWithParam<TStoreEngine> {
protected:
    void SetUp() override {
        NewDatabase(FDbName, GetParam(), Dir);
        if (FDbName.empty()) return;
        Server = std::make_unique<TQuillonServer>(Options());
        if (!ThroughNetwork()) {
            Admin = Server->Login("admin");
            Viewer = Server->Login("viewer");
            return;
        }
        TAppServerOptions App;
        App.Database = DbPath();
        App.Port = 0;
        App.Threads = 2;
        App.Log = [](const std::string&) {};
        AppServer = std::make_unique<TAppServer>(App);
        AppRunner = std::thread([this] { AppServer->Run(); });
        Admin = RemoteLogin("admin", "quillon-admin");
        Viewer = RemoteLogin("viewer", "quillon-viewer");
    }

    void TearDown() override {
        // Closing the connections first: the server would wait out their keep-alive.
        RemoteLookups.reset();
        Connections.clear();
        if (AppServer) AppServer->Stop();
        if (AppRunner.joinable()) AppRunner.join();
    }

    // A login through the application server; its token is the session.
    std::string RemoteLogin(const std::string& User, const std::string& Password) {
        client::TRemoteOptions Remote;
        Remote.Url = "http://127.0.0.1:" + std::to_string(AppServer->Port());
        auto Connection = std::make_shared<client::TRemoteConnection>(Remote);
        Connection->Login(User, Password);
        Connections[Connection->Token()] = Connection;
        return Connection->Token();
    }

    // The objects a window of Session works with.
    TObjectSource Objects(const std::string& Session) {
        auto It = Connections.find(Session);
        return It == Connections.end() ? ObjectsOf(*Server) : ObjectsOf(It->second);
    }
    // The lookups as the admin's host reaches them.
    ILookups& AdminLookups() {
        auto It = Connections.find(Admin);
        if (It == Connections.end()) return Server->Lookups();
        if (!RemoteLookups) RemoteLookups = std::make_unique<client::TRemoteLookups>(It->second);
        return *RemoteLookups;
    }

    TServerOptions Options() const {
        TServerOptions O;
        O.Path = DbPath();
        O.BusyTimeoutMs = 200;
        return O;
    }
    // The database's name: the file, or the URI of the server database.
    const std::string& DbPath() const { return FDbName; }

    std::int64_t Count(const std::string& Sql) { return Server->Database().QueryInt64(Sql); }
    // The first column of the first row Sql yields, as text.
    std::string Text(const std::string& Sql) {
        TStatementLease Row = Server->Database().Prepare(Sql);
        EXPECT_TRUE(Row->Step()) << Sql;
        return Row->Text(0);
    }

    TWindowClient<ICmsShf> Shf(const std::string& Session) {
        return {Objects(Session), "TCmsShfBean", Session, "SHF_ID"};
    }
    TWindowClient<ICmsQty> Qty(const std::string& Session) {
        return {Objects(Session), "TCmsQtyBean", Session, "PROD_SORT_ID"};
    }
    TWindowClient<ICmsVal> Val(const std::string& Session) {
        return {Objects(Session), "TCmsValBean", Session, "PROD_SORT_ID"};
    }
    TWindowClient<ICmsRs> Rs(const std::string& Session) { return {Objects(Session), "TCmsRsBean", Session, RsKey}; }

    TTempDir Dir;
    std::string FDbName;
    std::unique_ptr<TQuillonServer> Server;
    std::string Admin, Viewer;
    std::unique_ptr<TAppServer> AppServer;
    std::thread AppRunner;
    std::map<std::string, std::shared_ptr<client::TRemoteConnection>> Connections;
    std::unique_ptr<client::TRemoteLookups> RemoteLookups;
};

// Appends a consignment row the way the window fills one.
inline void AppendRs(TOrvClientDataSet& Rows, int ShopID, const std::string& ShopNum, int ClsID,
                     const std::string& ClsNum, std::int32_t From, std::int32_t To, const std::string& Rate) {
    Rows.Append();
    Rows.FieldByName("SHOP_ID")->SetAsInteger(ShopID);
    Rows.FieldByName("SHOP_NUM")->SetAsString(ShopNum);
    Rows.FieldByName("PROD_CLS_ID")->SetAsInteger(ClsID);
    Rows.FieldByName("PROD_CLS_NUM")->SetAsString(ClsNum);
    Rows.FieldByName("FROM_DATE")->SetValue(Variant::Date(From));
    Rows.FieldByName("TO_DATE")->SetValue(Variant::Date(To));
    Rows.FieldByName("CMS_RATE")->SetAsString(Rate);
    Rows.Post();
}

} // namespace orv::server::test
