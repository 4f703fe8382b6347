// The consignment window against a 200,000-row table, on each engine: loading every row
// (as the chain's user, and as the user of the region holding every shop, whose load
// filters the rows by shop and must cost little more),
// saving a batch of 10,000 new rows (validation, overlap checks and the write, in one
// call), and saving many ranges of one shop and class, where the overlap check must not
// grow with the square of the batch. PostgreSQL runs on a private cluster the benchmark
// starts, or on the empty database $QUILLON_BENCH_PG_URI names. The run ends with each
// PostgreSQL median as a ratio of SQLite's.
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "server/CmsBeans.h"
#include "server/DemoData.h"
#include "server/PgCluster.h"
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

using namespace orv;
using namespace orv::server;

namespace {

constexpr int NewShops = 50; // 50 shops x 200 classes = 10,000 new rows
using orv::bench::ListUnit;

// One database per engine for every benchmark of the run, with a user of the region
// ListUnit besides the chain's; removed at exit.
struct TBenchDatabase : bench::TLargeStore {
    std::string RegionSession; // the user of ListUnit

    explicit TBenchDatabase(TStoreEngine Engine) : TLargeStore(Engine) {
        TAccounts Accounts = Server->Accounts();
        Accounts.AddUser("bench-region", "区域用户", "R01", "bench");
        Accounts.Grant("bench-region", Priv_ViewCmsRs);
        RegionSession = Server->Login("bench-region");
    }
};

TBenchDatabase& Bench(TStoreEngine Engine) {
    static std::map<TStoreEngine, std::unique_ptr<TBenchDatabase>> Databases;
    auto& Db = Databases[Engine];
    if (!Db) Db = std::make_unique<TBenchDatabase>(Engine);
    return *Db;
}

TInterfacePtr<ICmsRs> RsBean(TBenchDatabase& B) {
    return Supports<ICmsRs>(B.Server->CreateObject("TCmsRsBean"));
}

// Appends and posts one consignment row of Shop and Cls from day From to day To.
void AppendRange(TOrvClientDataSet& Rows, const TLargeDataRef& Shop, const TLargeDataRef& Cls, int From,
                 int To) {
    Rows.Append();
    Rows.FieldByName("SHOP_ID")->SetAsInteger(Shop.ID);
    Rows.FieldByName("SHOP_NUM")->SetAsString(Shop.Num);
    Rows.FieldByName("SHOP_NAME")->SetAsString(Shop.Name);
    Rows.FieldByName("PROD_CLS_ID")->SetAsInteger(Cls.ID);
    Rows.FieldByName("PROD_CLS_NUM")->SetAsString(Cls.Num);
    Rows.FieldByName("PROD_NAME")->SetAsString(Cls.Name);
    Rows.FieldByName("FROM_DATE")->SetValue(Variant::Date(From));
    Rows.FieldByName("TO_DATE")->SetValue(Variant::Date(To));
    Rows.FieldByName("CMS_RATE")->SetAsString("0.0825");
    Rows.Post();
}

// The packed delta a window would send: 10,000 inserted rows in the first free range.
std::string NewRowsDelta(TBenchDatabase& B) {
    TOrvClientDataSet Rows(nullptr);
    CreatePacketFields(Rows, CmsRsStore().PacketFields());
    Rows.DisableControls();
    for (int S = 0; S < NewShops; ++S)
        for (const TLargeDataRef& Cls : B.Data.Classes) {
            const TLargeDataRef& Shop = B.Data.Shops[static_cast<std::size_t>(S)];
            AppendRange(Rows, Shop, Cls, B.Data.FirstFreeDay, B.Data.FirstFreeDay + B.Data.RangeDays - 1);
        }
    return OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
}

void BM_LoadList200k(benchmark::State& State, TStoreEngine Engine, bool AsRegion) {
    TBenchDatabase& B = Bench(Engine);
    auto Bean = RsBean(B);
    const std::string& Session = AsRegion ? B.RegionSession : B.Session;
    std::size_t Bytes = 0;
    for (auto _ : State) {
        std::string Data, Error;
        if (!Bean->LoadList(Session, ListUnit, Data, Error)) State.SkipWithError(Error.c_str());
        Bytes = Data.size();
        benchmark::DoNotOptimize(Data);
    }
    State.counters["rows"] =
        static_cast<double>(B.Server->Database().QueryInt64("SELECT count(*) FROM cms_rs"));
    State.counters["packed_MB"] = static_cast<double>(Bytes) / 1e6;
}

// Times saving Delta, whose rows all start on or after the first free day; they are
// removed again, untimed, after each save.
void TimeSaves(benchmark::State& State, TBenchDatabase& B, const std::string& Delta) {
    auto Bean = RsBean(B);
    const std::string Cleanup =
        "DELETE FROM cms_rs WHERE from_date >= " + std::to_string(B.Data.FirstFreeDay);
    for (auto _ : State) {
        std::string Result, Error;
        if (!Bean->SaveDelta(B.Session, ListUnit, Delta, Result, Error)) State.SkipWithError(Error.c_str());
        State.PauseTiming();
        B.Server->Database().Exec(Cleanup);
        // SQLite frees the deleted rows at once; PostgreSQL keeps them until a vacuum, and
        // the next save's checks would wade through the very ranges it deleted.
        if (B.Server->Database().Engine() == TStoreEngine::sePostgres)
            B.Server->Database().Exec("VACUUM cms_rs");
        State.ResumeTiming();
    }
}

void BM_SaveDelta10kInto200k(benchmark::State& State, TStoreEngine Engine) {
    TBenchDatabase& B = Bench(Engine);
    const std::string Delta = NewRowsDelta(B);
    TimeSaves(State, B, Delta);
    State.counters["table_rows"] =
        static_cast<double>(B.Server->Database().QueryInt64("SELECT count(*) FROM cms_rs"));
}

// The packed delta of Count consecutive one-week ranges of the first generated shop and
// class, starting on the first free day.
std::string OneShopClassDelta(TBenchDatabase& B, int Count) {
    const TLargeDataRef& Shop = B.Data.Shops.front();
    const TLargeDataRef& Cls = B.Data.Classes.front();
    TOrvClientDataSet Rows(nullptr);
    CreatePacketFields(Rows, CmsRsStore().PacketFields());
    Rows.DisableControls();
    for (int I = 0; I < Count; ++I) {
        AppendRange(Rows, Shop, Cls, B.Data.FirstFreeDay + 7 * I, B.Data.FirstFreeDay + 7 * I + 6);
    }
    return OrvPack(Rows.GetXMLDelta(), {TOrvPackOption::poCompress, TOrvPackOption::poChecksum});
}

void BM_SaveRangesOfOneShopClass(benchmark::State& State, TStoreEngine Engine) {
    TBenchDatabase& B = Bench(Engine);
    const std::string Delta = OneShopClassDelta(B, static_cast<int>(State.range(0)));
    TimeSaves(State, B, Delta);
    State.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(State.range(0)),
                                                      benchmark::Counter::kIsIterationInvariantRate);
}

// Each case loads or saves a whole list once per repetition; the report keeps the medians.
void OnePassFiveTimes(benchmark::internal::Benchmark* B) {
    B->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}

constexpr auto Sqlite = TStoreEngine::seSqlite;
constexpr auto Postgres = TStoreEngine::sePostgres;

BENCHMARK_CAPTURE(BM_LoadList200k, SQLite, Sqlite, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL, Postgres, false)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, SQLite_Region, Sqlite, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_LoadList200k, PostgreSQL_Region, Postgres, true)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SaveDelta10kInto200k, SQLite, Sqlite)->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SaveDelta10kInto200k, PostgreSQL, Postgres)->Apply(OnePassFiveTimes);

BENCHMARK_CAPTURE(BM_SaveRangesOfOneShopClass, SQLite, Sqlite)
    ->Arg(2500)
    ->Arg(10000)
    ->Arg(20000)
    ->Apply(OnePassFiveTimes);
BENCHMARK_CAPTURE(BM_SaveRangesOfOneShopClass, PostgreSQL, Postgres)
    ->Arg(2500)
    ->Arg(10000)
    ->Arg(20000)
    ->Apply(OnePassFiveTimes);

} // namespace

int main(int argc, char** argv) {
    return orv::bench::RunWithRatios(argc, argv,
                                     "PostgreSQL, median and as a ratio of the SQLite median:",
                                     "/PostgreSQL", "/SQLite");
}
