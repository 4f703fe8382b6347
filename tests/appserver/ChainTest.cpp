// The application server as a chain uses it: many desktop hosts at once, each holding its
// own keep-alive connection, and several servers in front of one store, any of which may
// answer any call of a session.
#include "appserver/AppServer.h"

#include "AppServerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cstdio>

using namespace orv;
using namespace orv::server;
using namespace orv::server::test;
using nlohmann::json;

namespace {

// A server of the test, serving from its own thread until the object goes.
class TServing {
public:
    TServing(const std::string& Database, int Threads)
        : FApp([&] {
              TAppServerOptions Options;
              Options.Database = Database;
              Options.Port = 0;
              Options.Threads = Threads;
              Options.Log = [](const std::string&) {};
              return Options;
          }()) {
        FRunner = std::thread([this] { FApp.Run(); });
        // Stop only stops a server that runs: wait until it answers.
        for (int I = 0; I < 200; ++I) {
            httplib::Client Probe("127.0.0.1", FApp.Port());
            if (Probe.Get("/")) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~TServing() {
        FApp.Stop();
        FRunner.join();
    }
    int Port() const { return FApp.Port(); }

private:
    TAppServer FApp;
    std::thread FRunner;
};

class ChainTest : public StoreTest {
protected:
    // The consignment rows of unit 0, as the chain's user loads them in-process.
    TOrvClientDataSet& LocalRs() {
        TWindowClient<ICmsRs> Admin(*Local, "TCmsRsBean", Local->Login("admin"), RsKey);
        EXPECT_TRUE(Admin.Load(Rows));
        return Rows;
    }

    TOrvClientDataSet Rows{nullptr};
};

constexpr int Hosts = 50;
constexpr int Rounds = 6;
constexpr std::int32_t FirstDay = 61000, LastDay = 61030;

// What host C sets its row's rate to in round R; -1 is the rate the row starts with.
std::string Rate(int C, int R) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "0.%04d", C * (Rounds + 1) + R + 2);
    return Text;
}

double Percentile(std::vector<double> Millis, double P) {
    if (Millis.empty()) return 0;
    std::sort(Millis.begin(), Millis.end());
    return Millis[static_cast<std::size_t>(P * static_cast<double>(Millis.size() - 1))];
}

TEST_P(ChainTest, FiftyHostsAtOnceEachLoadAndSaveTheirOwnRowRoundAfterRound) {
    if (Db.empty()) return;
    // Each host's own row: the first shop with a product class of the host's, in a range
    // no demo row touches.
    const std::vector<TUnitNode> Units = Local->Lookups().UnitTree(Sys_GlobalUnitID, "S");
    const auto Shop =
        std::find_if(Units.begin(), Units.end(), [](const TUnitNode& U) { return U.UnitType == "S"; });
    ASSERT_NE(Shop, Units.end());
    const std::vector<TProdClsItem> Classes = Local->Lookups().ProdClsList("");
    ASSERT_GE(Classes.size(), std::size_t{Hosts});
    {
        TWindowClient<ICmsRs> Admin(*Local, "TCmsRsBean", Local->Login("admin"), RsKey);
        ASSERT_TRUE(Admin.Load(Rows));
        for (int C = 0; C < Hosts; ++C)
            AppendRs(Rows, Shop->UnitID, Shop->UnitNum, Classes[C].ProdClsID, Classes[C].ProdClsNum, FirstDay,
                     LastDay, Rate(C, -1));
        ASSERT_TRUE(Admin.Save(Rows).Ok);
    }
    const int Stored = Rows.RecordCount();

    // The default number of store connections, far fewer than the hosts that keep theirs open.
    TServing Server(Db, 8);
    // Every host holds its connection while it waits for the others, so all of them are
    // connected at once at every step.
    std::barrier Step(Hosts);
    std::vector<std::string> Errors(Hosts);
    std::vector<std::vector<double>> Millis(Hosts);
    std::vector<std::thread> Threads;
    for (int C = 0; C < Hosts; ++C)
        Threads.emplace_back([&, C] {
            // A host waits this long for an answer before it tells its user the server is gone.
            TRemote Host(Server.Port(), 10);
            auto Timed = [&](auto Call) {
                const auto Start = std::chrono::steady_clock::now();
                auto Result = Call();
                Millis[C].push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start)
                        .count());
                return Result;
            };
            Host.Login("admin", "quillon-admin");
            Step.arrive_and_wait();
            for (int R = 0; R < Rounds; ++R) {
                // After a failure a host only keeps step, so that the others finish.
                if (Host.Error.empty()) {
                    const auto Loaded = Timed([&] { return Host.LoadList("TCmsRsBean", Sys_GlobalUnitID); });
                    TOrvClientDataSet Own(nullptr);
                    if (Loaded) Own.SetXMLData(*Loaded);
                    if (Loaded && !Own.Locate("SHOP_ID;PROD_CLS_ID", {Shop->UnitID, Classes[C].ProdClsID}))
                        Host.Error = "the host's own row is missing";
                    if (Host.Error.empty()) {
                        Own.Edit();
                        Own.FieldByName("CMS_RATE")->SetAsString(Rate(C, R));
                        Own.Post();
                        const std::string Delta = OrvPack(Own.GetXMLDelta(), {TOrvPackOption::poCompress});
                        Timed([&] { return Host.SaveDelta("TCmsRsBean", Sys_GlobalUnitID, Delta); });
                    }
                }
                Step.arrive_and_wait();
            }
            Errors[C] = Host.Error;
        });
    for (std::thread& T : Threads)
        T.join();

    std::vector<double> All;
    for (int C = 0; C < Hosts; ++C) {
        EXPECT_EQ(Errors[C], "") << "host " << C;
        All.insert(All.end(), Millis[C].begin(), Millis[C].end());
    }
    EXPECT_EQ(All.size(), std::size_t{Hosts * Rounds * 2});
    const double P50 = Percentile(All, 0.5), P99 = Percentile(All, 0.99);
    std::printf("%d hosts x %d rounds of LoadList + SaveDelta: p50 %.1f ms, p99 %.1f ms\n", Hosts, Rounds,
                P50, P99);
    RecordProperty("calls", static_cast<int>(All.size()));
    RecordProperty("p50_ms", std::to_string(P50));
    RecordProperty("p99_ms", std::to_string(P99));

    // Every host's last save stands, and nothing else came or went.
    TOrvClientDataSet& After = LocalRs();
    EXPECT_EQ(After.RecordCount(), Stored);
    for (int C = 0; C < Hosts; ++C) {
        ASSERT_TRUE(After.Locate("SHOP_ID;PROD_CLS_ID", {Shop->UnitID, Classes[C].ProdClsID})) << C;
        EXPECT_EQ(After.FieldByName("CMS_RATE")->AsString(), Rate(C, Rounds - 1)) << C;
    }
}

TEST_P(ChainTest, TwoServersOnOneStoreServeOneSessionInTurn) {
    if (Db.empty()) return;
    TServing First(Db, 2), Second(Db, 2);
    TRemote A(First.Port()), B(Second.Port());
    ASSERT_TRUE(A.Login("admin", "quillon-admin")) << A.Error;
    B.Token = A.Token;

    auto Load = [](TRemote& Via, TOrvClientDataSet& Into) {
        const auto Data = Via.LoadList("TCmsShfBean", Sys_GlobalUnitID);
        if (Data) Into.SetXMLData(*Data);
        Into.SetKeyFields("SHF_ID");
        return Data.has_value();
    };
    TOrvClientDataSet Shifts(nullptr);
    ASSERT_TRUE(Load(B, Shifts)) << B.Error;
    Shifts.Last();
    const int Shift = Shifts.FieldByName("SHF_ID")->AsInteger();
    ASSERT_NE(Shifts.FieldByName("CMS_VAL")->AsString(), "2345.50");
    Shifts.Edit();
    Shifts.FieldByName("CMS_VAL")->SetAsString("2345.5");
    Shifts.Post();
    ASSERT_TRUE(A.SaveDelta("TCmsShfBean", Sys_GlobalUnitID, OrvPack(Shifts.GetXMLDelta(), {}))) << A.Error;

    TOrvClientDataSet Again(nullptr);
    ASSERT_TRUE(Load(B, Again)) << B.Error;
    ASSERT_TRUE(Again.Locate("SHF_ID", Shift));
    EXPECT_EQ(Again.FieldByName("CMS_VAL")->AsString(), "2345.50");
    EXPECT_EQ(Again.RecordCount(), Shifts.RecordCount());

    // Ended on the second server, the session is over for the first as well.
    ASSERT_TRUE(B.Post("/logout", json::object())) << B.Error;
    const auto Refused =
        A.Post("/call", {{"object", "TCmsShfBean"}, {"method", "LoadList"}, {"unit", Sys_GlobalUnitID}}, 401);
    ASSERT_TRUE(Refused) << A.Error;
    EXPECT_EQ(Refused->value("error", ""), SessionEndedMessage);
}

INSTANTIATE_TEST_SUITE_P(Engines, ChainTest, AllEngines(), EngineName);

} // namespace
