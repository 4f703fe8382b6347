// Data-set costs on consignment-shaped rows: packet loading against the XML parser's own
// floor, writing, whole-set snapshots, keyed search (also right after a deletion in the
// middle), one insert right after a snapshot, and memory per row with and without indexes.
#include "bench/ConsignmentPacket.h"
#include "host/data/ClientDataSet.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <pugixml.hpp>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace orv;

namespace {

const std::string& Packet(int Rows) {
    static std::map<int, std::string> Cache;
    auto It = Cache.find(Rows);
    if (It == Cache.end()) It = Cache.emplace(Rows, bench::MakeConsignmentPacket(Rows)).first;
    return It->second;
}

// One loaded set per size, shared by the benchmarks that only read or copy it.
TOrvClientDataSet& Loaded(int Rows) {
    static std::map<int, std::unique_ptr<TOrvClientDataSet>> Cache;
    auto& Slot = Cache[Rows];
    if (!Slot) {
        Slot = std::make_unique<TOrvClientDataSet>(nullptr);
        Slot->SetXMLData(Packet(Rows));
    }
    return *Slot;
}

void BM_BareXmlParse(benchmark::State& S) {
    const std::string& X = Packet(static_cast<int>(S.range(0)));
    for (auto _ : S) {
        pugi::xml_document Doc;
        auto R = Doc.load_buffer(X.data(), X.size(), pugi::parse_default, pugi::encoding_utf8);
        benchmark::DoNotOptimize(R);
    }
    S.SetBytesProcessed(static_cast<std::int64_t>(S.iterations()) * static_cast<std::int64_t>(X.size()));
}

void BM_SetXMLData(benchmark::State& S) {
    const std::string& X = Packet(static_cast<int>(S.range(0)));
    for (auto _ : S) {
        TOrvClientDataSet D(nullptr);
        D.SetXMLData(X);
        benchmark::DoNotOptimize(D.RecordCount());
    }
    S.SetBytesProcessed(static_cast<std::int64_t>(S.iterations()) * static_cast<std::int64_t>(X.size()));
}

void BM_GetXMLData(benchmark::State& S) {
    TOrvClientDataSet& D = Loaded(static_cast<int>(S.range(0)));
    for (auto _ : S) benchmark::DoNotOptimize(D.GetXMLData());
}

void BM_SnapshotCopy(benchmark::State& S) {
    TOrvClientDataSet& D = Loaded(static_cast<int>(S.range(0)));
    TOrvClientDataSet Snapshot(nullptr);
    for (auto _ : S) {
        Snapshot.SetData(D.GetData());
        benchmark::DoNotOptimize(Snapshot.RecordCount());
    }
}

void BM_Locate4(benchmark::State& S) {
    int Rows = static_cast<int>(S.range(0));
    TOrvClientDataSet& D = Loaded(Rows);
    const std::string Keys = "SHOP_ID;PROD_CLS_ID;FROM_DATE;TO_DATE";
    std::int32_t From = 0, To = 0;
    TryParseDate8("20250701", From);
    TryParseDate8("20251231", To);
    std::int64_t I = 0;
    for (auto _ : S) {
        // Walk over different rows so no answer is cached by accident.
        int Pair = static_cast<int>((I++ * 7919) % (Rows / 2));
        int Shop = Pair / 200 + 1, Cls = Pair % 200 + 1;
        bool Found = D.Locate(Keys, {Variant(1000 + Shop), Variant(50000 + Cls), Variant::Date(From), Variant::Date(To)});
        if (!Found) S.SkipWithError("row not found");
    }
}

// What the consignment window does for every new row: a whole-set snapshot, then an
// append with nine assignments and a post.
void BM_AppendAfterSnapshot(benchmark::State& S) {
    TOrvClientDataSet D(nullptr);
    D.SetXMLData(Packet(static_cast<int>(S.range(0))));
    TOrvClientDataSet Snapshot(nullptr);
    TField* F[9];
    const char* Names[] = {"SHOP_ID", "SHOP_NUM", "SHOP_NAME", "PROD_CLS_ID", "PROD_CLS_NUM",
                           "PROD_NAME", "FROM_DATE", "TO_DATE", "CMS_RATE"};
    for (int K = 0; K < 9; ++K) F[K] = D.FieldByName(Names[K]);
    std::int32_t From = 0, To = 0;
    TryParseDate8("20260101", From);
    TryParseDate8("20261231", To);
    int I = 0;
    for (auto _ : S) {
        Snapshot.SetData(D.GetData());
        D.Append();
        F[0]->SetValue(Variant(900000 + I));
        F[1]->SetAsString("S88888");
        F[2]->SetAsString("南京东路一号店");
        F[3]->SetValue(Variant(70000 + I % 1000));
        F[4]->SetAsString("P070001");
        F[5]->SetAsString("纯棉针织衫（春款）");
        F[6]->SetValue(Variant::Date(From));
        F[7]->SetValue(Variant::Date(To));
        F[8]->SetAsString("0.0350");
        D.Post();
        ++I;
    }
}

// Bytes the allocator hands out, small chunks and mapped blocks alike (an index's arrays
// are large enough to be mapped, which uordblks alone would miss), chunk overheads included.
std::size_t HeapInUse() {
    struct mallinfo2 M = mallinfo2();
    return M.uordblks + M.hblkhd;
}

const std::string LocateKeys = "SHOP_ID;PROD_CLS_ID;FROM_DATE;TO_DATE";

// The key of the second row of the Pair-th shop and class, as the packet writes it.
std::vector<Variant> SecondRowKey(int Pair) {
    static const auto Dates = [] {
        std::int32_t From = 0, To = 0;
        TryParseDate8("20250701", From);
        TryParseDate8("20251231", To);
        return std::pair{From, To};
    }();
    int Shop = Pair / 200 + 1, Cls = Pair % 200 + 1;
    return {Variant(1000 + Shop), Variant(50000 + Cls), Variant::Date(Dates.first), Variant::Date(Dates.second)};
}

// Memory per row of a loaded set: the rows alone, then with the indexes the consignment
// window keeps (Locate on the four-field key, FindRecNos on shop and class) built.
void BM_MemoryPerRow(benchmark::State& S) {
    int Rows = static_cast<int>(S.range(0));
    const std::string& X = Packet(Rows);
    double PerRow = 0, PerRowIndexed = 0;
    for (auto _ : S) {
        malloc_trim(0);
        std::size_t Before = HeapInUse();
        auto D = std::make_unique<TOrvClientDataSet>(nullptr);
        D->SetXMLData(X);
        malloc_trim(0);
        std::size_t Loaded = HeapInUse();
        if (!D->Locate(LocateKeys, SecondRowKey(Rows / 4))) S.SkipWithError("row not found");
        std::vector<int> Found = D->FindRecNos({D->FieldByName("SHOP_ID"), D->FieldByName("PROD_CLS_ID")},
                                               {Variant(1001), Variant(50001)});
        if (Found.size() != 2) S.SkipWithError("rows not found");
        malloc_trim(0);
        std::size_t Indexed = HeapInUse();
        PerRow = static_cast<double>(Loaded - Before) / Rows;
        PerRowIndexed = static_cast<double>(Indexed - Before) / Rows;
        benchmark::DoNotOptimize(D->RecordCount());
    }
    S.counters["bytes_per_row"] = PerRow;
    S.counters["bytes_per_row_indexed"] = PerRowIndexed;
}

// A Locate right after a row in the middle was deleted, of a row behind it (so its
// position moved). Only the Locate is timed; the mean costs of the delete and of the
// insertion (with its field assignments and post) are counters. A row is inserted in the
// middle after each Locate, so the set keeps its size however many
// iterations run, and the row found must be the one the packet put there.
void BM_LocateAfterMiddleDelete(benchmark::State& S) {
    int Rows = static_cast<int>(S.range(0));
    TOrvClientDataSet D(nullptr);
    D.SetData(Loaded(Rows).GetData());
    if (!D.Locate(LocateKeys, SecondRowKey(0))) S.SkipWithError("row not found"); // builds the index
    TField* F[9];
    const char* Names[] = {"SHOP_ID", "SHOP_NUM", "SHOP_NAME", "PROD_CLS_ID", "PROD_CLS_NUM",
                           "PROD_NAME", "FROM_DATE", "TO_DATE", "CMS_RATE"};
    for (int K = 0; K < 9; ++K) F[K] = D.FieldByName(Names[K]);
    double DeleteSeconds = 0, InsertSeconds = 0;
    std::int64_t I = 0;
    using TClock = std::chrono::steady_clock;
    for (auto _ : S) {
        D.SetRecNo(D.RecordCount() / 2);
        auto T0 = TClock::now();
        D.Delete();
        auto T1 = TClock::now();
        // The last tenth of the rows, behind every row deleted or inserted here.
        int Pair = Rows / 2 - 1 - static_cast<int>((I * 7919) % (Rows / 20));
        bool Found = D.Locate(LocateKeys, SecondRowKey(Pair));
        auto T2 = TClock::now();
        if (!Found || D.RecNo() != 2 * Pair + 1) {
            S.SkipWithError("row not found where it stands");
            break;
        }
        DeleteSeconds += std::chrono::duration<double>(T1 - T0).count();
        S.SetIterationTime(std::chrono::duration<double>(T2 - T1).count());
        D.SetRecNo(D.RecordCount() / 2);
        auto T3 = TClock::now();
        D.Insert();
        const auto Key = SecondRowKey(Rows + static_cast<int>(I)); // beyond the packet's pairs
        F[0]->SetValue(Key[0]);
        F[1]->SetAsString("S88888");
        F[2]->SetAsString("南京东路一号店");
        F[3]->SetValue(Key[1]);
        F[4]->SetAsString("P070001");
        F[5]->SetAsString("纯棉针织衫（春款）");
        F[6]->SetValue(Key[2]);
        F[7]->SetValue(Key[3]);
        F[8]->SetAsString("0.0350");
        D.Post();
        InsertSeconds += std::chrono::duration<double>(TClock::now() - T3).count();
        ++I;
    }
    S.counters["delete_us"] = benchmark::Counter(DeleteSeconds * 1e6 / static_cast<double>(S.iterations()));
    S.counters["insert_us"] = benchmark::Counter(InsertSeconds * 1e6 / static_cast<double>(S.iterations()));
}

} // namespace

BENCHMARK(BM_BareXmlParse)->Arg(100000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SetXMLData)->Arg(100000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GetXMLData)->Arg(100000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SnapshotCopy)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Locate4)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_AppendAfterSnapshot)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_MemoryPerRow)->Arg(100000)->Arg(1000000)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_LocateAfterMiddleDelete)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300) // the timed part is so short that a time target would run for hours
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
