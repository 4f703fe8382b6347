// A fresh demo database per test, on either engine: a file in a temporary folder, or a
// database of the test program's private PostgreSQL cluster; and the window-side steps
// (load a packet into a data set, send its delta) that the tests drive the server with.
#pragma once

#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/OrvPack.h"
#include "server/PgCluster.h"
#include "server/QuillonServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

// Calls of one window: load its rows into a data set, save that set's changes.
template <class I> class TWindowClient {
public:
    TWindowClient(TQuillonServer& Server, std::string ClassName, std::string SessionID, std::string KeyFields,
                  int UnitID = Sys_GlobalUnitID)
        : FServer(Server), FClassName(std::move(ClassName)), FSessionID(std::move(SessionID)),
          FKeyFields(std::move(KeyFields)), FUnitID(UnitID) {}

    TInterfacePtr<I> Object() {
        TInterfacePtr<I> Obj = Supports<I>(FServer.CreateObject(FClassName));
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
    TQuillonServer& FServer;
    std::string FClassName;
    std::string FSessionID;
    std::string FKeyFields;
    int FUnitID;
};

inline const char* RsKey = "SHOP_ID;PROD_CLS_ID;FROM_DATE;TO_DATE";

// Runs on the engine the test is instantiated with.
class ServerTest : public ::testing::TestWithParam<TStoreEngine> {
protected:
    void SetUp() override {
        NewDatabase(FDbName, GetParam(), Dir);
        if (FDbName.empty()) return;
        Server = std::make_unique<TQuillonServer>(Options());
        Admin = Server->Login("admin");
        Viewer = Server->Login("viewer");
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
        return {*Server, "TCmsShfBean", Session, "SHF_ID"};
    }
    TWindowClient<ICmsQty> Qty(const std::string& Session) {
        return {*Server, "TCmsQtyBean", Session, "PROD_SORT_ID"};
    }
    TWindowClient<ICmsVal> Val(const std::string& Session) {
        return {*Server, "TCmsValBean", Session, "PROD_SORT_ID"};
    }
    TWindowClient<ICmsRs> Rs(const std::string& Session) { return {*Server, "TCmsRsBean", Session, RsKey}; }

    TTempDir Dir;
    std::string FDbName;
    std::unique_ptr<TQuillonServer> Server;
    std::string Admin, Viewer;
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
