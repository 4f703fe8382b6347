// What the network costs a desktop host: the consignment list of 200,000 rows loaded
// through the application server by the proxy a host started with --server uses (accepting
// gzip, taking the packed text out of the answer's JSON envelope) against the same load in-process, measured in the same run
// on the same store; and a small save of one edited row, through the server and in-process.
// PostgreSQL runs on a private cluster the benchmark starts, or on the empty database
// $QUILLON_BENCH_PG_URI names. The run ends with each through-server median as a ratio of
// its in-process one.
#include "appserver/AppServer.h"
#include "client/RemoteSession.h"
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "server/CmsBeans.h"
#include "server/DemoData.h"
#include "server/PacketBuilder.h"
#include "server/QuillonServer.h"

#include "bench/LargeStore.h"
#include "bench/RatioReport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace orv;
using namespace orv::server;

namespace {

using orv::bench::ListUnit;

// One store per engine for every benchmark of the run, an in-process server and an
// application server on it, and a host's connection to that server logged in; removed at exit.
struct TBenchStore : bench::TLargeStore {
    std::unique_ptr<TAppServer> App;
    std::thread Runner;
    std::shared_ptr<client::TRemoteConnection> Remote;
    // The two small deltas that take the row of SmallSave from one rate to the other and
    // back, and which of them comes next.
    std::string ToSecond, ToFirst;
    bool AtFirst = true;

    explicit TBenchStore(TStoreEngine Engine) : TLargeStore(Engine) {
        PrepareSmallSave();
        TAppServerOptions A;
        A.Database = Path;
        A.Port = 0;
        A.Threads = 2;
        A.Log = [](const std::string&) {};
        App = std::make_unique<TAppServer>(A);
        Runner = std::thread([this] { App->Run(); });
        client::TRemoteOptions R;
        R.Url = "http://127.0.0.1:" + std::to_string(App->Port());
        Remote = std::make_shared<client::TRemoteConnection>(R);
        Remote->Login("admin", "quillon-admin");
    }
    ~TBenchStore() {
        Remote.reset();
        if (App) App->Stop();
        if (Runner.joinable()) Runner.join();
    }

    // A row of its own for the small save, in the first free range of the first generated
    // shop and class, and the deltas that change its rate there and back.
    void PrepareSmallSave() {
        TOrvClientDataSet Rows(nullptr);
        CreatePacketFields(Rows, CmsRsStore().PacketFields());
        const TLargeDataRef& Shop = Data.Shops.front();
        const TLargeDataRef& Cls = Data.Classes.front();
        Rows.Append();
        Rows.FieldByName("SHOP_ID")->SetAsInteger(Shop.ID);
        Rows.FieldByName("SHOP_NUM")->SetAsString(Shop.Num);
        Rows.FieldByName("PROD_CLS_ID")->SetAsInteger(Cls.ID);
        Rows.FieldByName("PROD_CLS_NUM")->SetAsString(Cls.Num);
        Rows.FieldByName("FROM_DATE")->SetValue(Variant::Date(Data.FirstFreeDay));
        Rows.FieldByName("TO_DATE")->SetValue(Variant::Date(Data.FirstFreeDay + Data.RangeDays - 1));
        Rows.FieldByName("CMS_RATE")->SetAsString("0.0100");
        Rows.Post();
        std::string Result, Error;
        if (!RsBean()->SaveDelta(Session, ListUnit, OrvPack(Rows.GetXMLDelta(), {}), Result, Error))
            throw std::runtime_error(Error);
        Rows.MergeChangeLog();
        auto Change = [&](const char* Rate) {
            Rows.Edit();
            Rows.FieldByName("CMS_RATE")->SetAsString(Rate);
            Rows.Post();
            std::string Delta = OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress});
            Rows.MergeChangeLog();
            return Delta;
        };
        ToSecond = Change("0.0200");
        ToFirst = Change("0.0100");
    }

    TInterfacePtr<ICmsRs> RsBean() { return Supports<ICmsRs>(Server->CreateObject("TCmsRsBean")); }
    TInterfacePtr<ICmsRs> RemoteRsBean() {
        return Supports<ICmsRs>(client::CreateRemoteObject(Remote, "TCmsRsBean"));
    }

    const std::string& NextSmallDelta() {
        const std::string& Delta = AtFirst ? ToSecond : ToFirst;
        AtFirst = !AtFirst;
        return Delta;
    }
};

TBenchStore& Store(TStoreEngine Engine) {
    static std::map<TStoreEngine, std::unique_ptr<TBenchStore>> Stores;
    auto& S = Stores[Engine];
    if (!S) S = std::make_unique<TBenchStore>(Engine);
    return *S;
}

void BM_LoadList200k(benchmark::State& State, TStoreEngine Engine, bool ThroughServer) {
    TBenchStore& B = Store(Engine);
    auto Bean = ThroughServer ? B.RemoteRsBean() : B.RsBean();
    std::size_t Bytes = 0;
    for (auto _ : State) {
        std::string Data, Error;
        if (!Bean->LoadList(B.Session, ListUnit, Data, Error)) State.SkipWithError(Error.c_str());
        Bytes = Data.size();
        benchmark::DoNotOptimize(Data);
    }
    State.counters["packed_MB"] = static_cast<double>(Bytes) / 1e6;
}

void BM_SmallSave(benchmark::State& State, TStoreEngine Engine, bool ThroughServer) {
    TBenchStore& B = Store(Engine);
    auto Bean = ThroughServer ? B.RemoteRsBean() : B.RsBean();
    for (auto _ : State) {
        const std::string& Delta = B.NextSmallDelta();
        std::string Result, Error;
        if (!Bean->SaveDelta(B.Session, ListUnit, Delta, Result, Error)) State.SkipWithError(Error.c_str());
        benchmark::DoNotOptimize(Result);
    }
}

// A whole list is loaded once per repetition; the report keeps the medians.
void OnePassFiveTimes(benchmark::internal::Benchmark* B) {
    B->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}
void ManyPassesFiveTimes(benchmark::internal::Benchmark* B) {
    B->Unit(benchmark::kMillisecond)->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true);
}

constexpr auto Sqlite = TStoreEngine::seSqlite;
constexpr auto Postgres = TStoreEngine::sePostgres;

BENCHMARK_CAPTURE(BM_LoadList200k, SQLite_InProcess, Sqlite, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, SQLite_Server, Sqlite, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, SQLite_InProcess, Sqlite, false)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, SQLite_Server, Sqlite, true)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL_InProcess, Postgres, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL_Server, Postgres, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, PostgreSQL_InProcess, Postgres, false)->Apply(ManyPassesFiveTimes);
BENCHMARK_CAPTURE(BM_SmallSave, PostgreSQL_Server, Postgres, true)->Apply(ManyPassesFiveTimes);

} // namespace

int main(int argc, char** argv) {
    return orv::bench::RunWithRatios(argc, argv,
                                     "Through the server, median and as a ratio of the in-process median:",
                                     "_Server", "_InProcess");
}
