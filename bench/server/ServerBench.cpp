// The consignment window against a 200,000-row table: loading every row, saving a batch
// of 10,000 new rows (validation, overlap checks and the write, in one call), and saving
// many ranges of one shop and class, where the overlap check must not grow with the square
// of the batch.
#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "server/CmsBeans.h"
#include "server/DemoData.h"
#include "server/QuillonServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

using namespace orv;
using namespace orv::server;

namespace {

constexpr int NewShops = 50; // 50 shops x 200 classes = 10,000 new rows

// One database for every benchmark of the run, removed at exit.
struct TBenchDatabase {
    std::filesystem::path Dir;
    std::unique_ptr<TQuillonServer> Server;
    std::string Session;
    TLargeData Data;

    TBenchDatabase() {
        std::string Pattern = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
        if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
        Dir = Pattern;
        TServerOptions O;
        O.Path = (Dir / "bench.db").string();
        Server = std::make_unique<TQuillonServer>(O);
        Session = Server->Login("admin");
        // Exactly the generated rows, without the demo ones.
        Server->Database().Exec("DELETE FROM cms_rs");
        Data = GenerateLargeConsignmentData(Server->Database(),
                                            TLargeDataOptions{500, 200, 2, Sys_GlobalUnitID});
    }
    ~TBenchDatabase() {
        Server.reset();
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }
};

TBenchDatabase& Bench() {
    static TBenchDatabase Db;
    return Db;
}

TInterfacePtr<ICmsRs> RsBean() {
    return Supports<ICmsRs>(Bench().Server->CreateObject("TCmsRsBean"));
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
std::string NewRowsDelta() {
    TBenchDatabase& B = Bench();
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

void BM_LoadList200k(benchmark::State& State) {
    auto Bean = RsBean();
    std::size_t Bytes = 0;
    for (auto _ : State) {
        std::string Data, Error;
        if (!Bean->LoadList(Bench().Session, Sys_GlobalUnitID, Data, Error))
            State.SkipWithError(Error.c_str());
        Bytes = Data.size();
        benchmark::DoNotOptimize(Data);
    }
    State.counters["rows"] =
        static_cast<double>(Bench().Server->Database().QueryInt64("SELECT count(*) FROM cms_rs"));
    State.counters["packed_MB"] = static_cast<double>(Bytes) / 1e6;
}

// Times saving Delta, whose rows all start on or after the first free day; they are
// removed again, untimed, after each save.
void TimeSaves(benchmark::State& State, const std::string& Delta) {
    auto Bean = RsBean();
    TBenchDatabase& B = Bench();
    const std::string Cleanup =
        "DELETE FROM cms_rs WHERE from_date >= " + std::to_string(B.Data.FirstFreeDay);
    for (auto _ : State) {
        std::string Result, Error;
        if (!Bean->SaveDelta(B.Session, Sys_GlobalUnitID, Delta, Result, Error))
            State.SkipWithError(Error.c_str());
        State.PauseTiming();
        B.Server->Database().Exec(Cleanup);
        State.ResumeTiming();
    }
}

void BM_SaveDelta10kInto200k(benchmark::State& State) {
    const std::string Delta = NewRowsDelta();
    TimeSaves(State, Delta);
    State.counters["table_rows"] =
        static_cast<double>(Bench().Server->Database().QueryInt64("SELECT count(*) FROM cms_rs"));
}

// The packed delta of Count consecutive one-week ranges of the first generated shop and
// class, starting on the first free day.
std::string OneShopClassDelta(int Count) {
    TBenchDatabase& B = Bench();
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

void BM_SaveRangesOfOneShopClass(benchmark::State& State) {
    const std::string Delta = OneShopClassDelta(static_cast<int>(State.range(0)));
    TimeSaves(State, Delta);
    State.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(State.range(0)),
                                                      benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_LoadList200k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SaveDelta10kInto200k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK(BM_SaveRangesOfOneShopClass)
    ->Arg(2500)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
