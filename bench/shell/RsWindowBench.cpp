// The consignment window at work, headless, on 10,000, 100,000 and 1,000,000 rows: the
// real plug-in opened through its launcher in the host's real session, its rows in a
// SQLite database and typed numbers looked up there. Each benchmark drives the window as
// a user does (select a cell, type, post; run an action, answer its question):
//  - editing one rate and posting it, against the literal way of the same edit: a
//    snapshot through GetXMLData into SetXMLData and the overlap rule walked over every
//    snapshot row; the ratio of the two is printed at the end of the run;
//  - typing in one new row;
//  - opening the window (LoadList, unpack, SetXMLData), and the three steps on their own;
//  - clearing every line, and saving those deletions into the database.
// The argument is the number of rows; --benchmark_filter=-rows:1000000 leaves out the largest.
#include "bench/shell/RsWindowHost.h"
#include "host/core/DateUtils.h"
#include "host/data/ClientDataSet.h"
#include "host/forms/ActnList.h"
#include "host/forms/DBGrids.h"
#include "host/services/BusinessIntf.h"
#include "host/services/OrvPack.h"
#include "host/widgetset/HeadlessWidgetSet.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace orv;
using Clock = std::chrono::steady_clock;

namespace {

THeadlessWidgetSet WS;
std::unique_ptr<bench::TRsHost> Host;

double Seconds(Clock::time_point Start) {
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Processor time of this thread, in seconds: what a step cost when other work shares the
// machine and stretches its wall-clock time.
double ThreadSeconds() {
    timespec T{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) * 1e-9;
}

std::string DateText(std::int32_t Day) {
    int Y = 0, M = 0, D = 0;
    DayNumberToDate(Day, Y, M, D);
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, M, D);
    return Buf;
}

// The open window and what the benchmarks reach in it.
struct TWindow {
    TBrowseForm* Form = nullptr;

    explicit TWindow(int Rows) {
        Host->Use(Rows);
        WS.ClearRecords();
        Form = Host->Open();
        if (Form->cdsMain->RecordCount() != Rows) throw std::runtime_error("the window shows the wrong rows");
    }
    TAction* Action(const char* Name) const { return dynamic_cast<TAction*>(Form->FindComponent(Name)); }
    int Column(const std::string& FieldName) const {
        for (int C = 0; C < Form->grdMain->ColumnCount(); ++C)
            if (Form->grdMain->Column(C)->FieldName() == FieldName) return C;
        throw std::runtime_error("no column " + FieldName);
    }
    // Types Text into the cell of FieldName in display row Row (0 is the first).
    void Type(int Row, const std::string& FieldName, const std::string& Text) const {
        WS.UserSelectCell(Form->grdMain, Row, Column(FieldName));
        WS.UserTypeIntoCell(Form->grdMain, Text);
    }
    // What the window told the user since the last call; empty when nothing.
    static std::string Told() {
        std::string Text = WS.Messages().empty() ? "" : WS.Messages().back().Text;
        for (const std::string& F : WS.Failures())
            Text += (Text.empty() ? "" : "; ") + F;
        WS.ClearRecords();
        return Text;
    }
    ~TWindow() {
        Form->cdsMain->Cancel();
        Form->cdsMain->CancelUpdates();
        Application->FreeForms();
        WS.ClearRecords();
    }
};

// Ends the benchmark when the window refused what a user did; true when it did.
bool Refused(benchmark::State& State, const std::string& What) {
    std::string Told = TWindow::Told();
    if (Told.empty()) return false;
    State.SkipWithError((What + ": " + Told).c_str());
    return true;
}

// Display rows spread over the whole set, so that edits do not stay in one part of it
// and the change log stays small however long a benchmark runs.
std::vector<int> SpreadRows(int Rows) {
    std::vector<int> R;
    for (int K = 0; K < 256; ++K)
        R.push_back(static_cast<int>((static_cast<long long>(K) * Rows / 256 + K * 7) % Rows));
    return R;
}

std::string RateText(std::int64_t I) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "0.%04d", static_cast<int>(100 + I % 9000));
    return Buf;
}

// ---- (a) one edit of a rate and its post -------------------------------------------------

void BM_EditRate(benchmark::State& State) {
    TWindow W(static_cast<int>(State.range(0)));
    const std::vector<int> Rows = SpreadRows(static_cast<int>(State.range(0)));
    std::int64_t I = 0;
    for (auto _ : State) {
        W.Type(Rows[static_cast<std::size_t>(I % 256)], "CMS_RATE", RateText(I));
        W.Form->cdsMain->Post();
        ++I;
        if (Refused(State, "edit")) break;
    }
    State.counters["changes"] = W.Form->cdsMain->ChangeCount();
}

// The same edit the literal way: before it, a full copy through the packet text; before
// the post, the overlap rule over every row of that copy, as the window would check it
// without an index. The window's own snapshot and check still run, so this is the literal
// way's cost plus a little.
void BM_EditRateLiteral(benchmark::State& State) {
    TWindow W(static_cast<int>(State.range(0)));
    const std::vector<int> Rows = SpreadRows(static_cast<int>(State.range(0)));
    TOrvClientDataSet Snapshot(nullptr);
    TOrvClientDataSet* Main = W.Form->cdsMain;
    std::int64_t I = 0, Conflicts = 0;
    for (auto _ : State) {
        Snapshot.SetXMLData(Main->GetXMLData());
        W.Type(Rows[static_cast<std::size_t>(I % 256)], "CMS_RATE", RateText(I));

        const std::string ShopID = Main->FieldByName("SHOP_ID")->AsString();
        const std::string ProdClsID = Main->FieldByName("PROD_CLS_ID")->AsString();
        const TDateTime P1 = Main->FieldByName("FROM_DATE")->AsDateTime();
        const TDateTime P2 = Main->FieldByName("TO_DATE")->AsDateTime();
        const int Own = Main->RecNo();
        TField* SShop = Snapshot.FieldByName("SHOP_ID");
        TField* SProdCls = Snapshot.FieldByName("PROD_CLS_ID");
        TField* SFrom = Snapshot.FieldByName("FROM_DATE");
        TField* STo = Snapshot.FieldByName("TO_DATE");
        for (Snapshot.First(); !Snapshot.Eof(); Snapshot.Next()) {
            if (SShop->AsString() != ShopID || SProdCls->AsString() != ProdClsID) continue;
            if (Snapshot.RecNo() == Own) continue;
            const TDateTime S1 = SFrom->AsDateTime(), S2 = STo->AsDateTime();
            if ((S1 > P1 && S2 <= P2) || (S2 >= P2 && S1 <= P2) || (S1 <= P1 && S2 >= P1)) ++Conflicts;
        }

        Main->Post();
        ++I;
        if (Refused(State, "edit")) break;
    }
    if (Conflicts != 0) State.SkipWithError("the literal walk found an overlap the window did not");
}

// ---- (b) one new row typed in --------------------------------------------------------------

void BM_TypeNewRow(benchmark::State& State) {
    TWindow W(static_cast<int>(State.range(0)));
    const server::TLargeData& Data = Host->Use(static_cast<int>(State.range(0))).Data();
    TAction* NewLine = W.Action("actNewLine");
    const std::int64_t Pairs = static_cast<std::int64_t>(Data.Shops.size() * Data.Classes.size());
    std::int64_t I = 0;
    for (auto _ : State) {
        // A pair of its own for each row, and a later week each time the pairs come round.
        const std::int64_t Pair = (I * 7919) % Pairs;
        const auto& Shop =
            Data.Shops[static_cast<std::size_t>(Pair / static_cast<std::int64_t>(Data.Classes.size()))];
        const auto& Cls =
            Data.Classes[static_cast<std::size_t>(Pair % static_cast<std::int64_t>(Data.Classes.size()))];
        const std::int32_t From = Data.FirstFreeDay + static_cast<std::int32_t>(7 * (I / Pairs));

        WS.UserExecute(NewLine);
        const int Row = W.Form->cdsMain->RecordCount();
        W.Type(Row, "SHOP_NUM", Shop.Num);
        W.Type(Row, "PROD_CLS_NUM", Cls.Num);
        W.Type(Row, "FROM_DATE", DateText(From));
        W.Type(Row, "TO_DATE", DateText(From + 6));
        W.Type(Row, "CMS_RATE", RateText(I));
        W.Form->cdsMain->Post();
        ++I;
        if (Refused(State, "new row")) break;
        if (I % 1000 == 0) {
            // Back to the rows as loaded, so the set stays the size it is measured at.
            State.PauseTiming();
            W.Form->cdsMain->CancelUpdates();
            State.ResumeTiming();
        }
    }
    if (W.Form->cdsMain->FieldByName("SHOP_ID")->IsNull())
        State.SkipWithError("the typed shop number was not looked up");
}

// ---- (c) opening the window ----------------------------------------------------------------

void BM_OpenWindow(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    Host->Use(Rows);
    for (auto _ : State) {
        auto Start = Clock::now();
        TBrowseForm* Form = Host->Open();
        State.SetIterationTime(Seconds(Start));
        if (Form->cdsMain->RecordCount() != Rows) State.SkipWithError("the window shows the wrong rows");
        Application->FreeForms();
        if (Refused(State, "open")) break;
    }
}

// The steps of an open on their own: the server's LoadList, unpacking its answer and
// loading the packet into a set with the window's fields.
void BM_OpenWindowSteps(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    bench::TRsDatabase& Db = Host->Use(Rows);
    TWindow W(Rows);
    double Load = 0, Unpack = 0, SetXml = 0, PackedMB = 0;
    for (auto _ : State) {
        auto Bean = Supports<ICmsRs>(Db.Session().Server().CreateObject("TCmsRsBean"));
        std::string Packed, Error;
        auto T0 = Clock::now();
        if (!Bean->LoadList(Db.Session().SessionID(), Db.Session().UnitID(), Packed, Error))
            State.SkipWithError(Error.c_str());
        auto T1 = Clock::now();
        std::string Xml = OrvUnpack(Packed);
        auto T2 = Clock::now();
        W.Form->cdsMain->SetXMLData(Xml);
        auto T3 = Clock::now();
        using D = std::chrono::duration<double, std::milli>;
        Load += D(T1 - T0).count();
        Unpack += D(T2 - T1).count();
        SetXml += D(T3 - T2).count();
        PackedMB = static_cast<double>(Packed.size()) / 1e6;
        State.SetIterationTime(std::chrono::duration<double>(T3 - T0).count());
    }
    const double N = static_cast<double>(State.iterations());
    State.counters["loadlist_ms"] = Load / N;
    State.counters["unpack_ms"] = Unpack / N;
    State.counters["setxml_ms"] = SetXml / N;
    State.counters["packed_MB"] = PackedMB;
}

// ---- (d) clear lines, and saving the deletions ---------------------------------------------

// Clears every line of a freshly opened window as the user does: the action, then yes.
void ClearLines(TWindow& W) {
    WS.QueueAnswer(IDYES);
    WS.UserExecute(W.Action("actClearLines"));
}

bool Cleared(benchmark::State& State, TWindow& W, int Rows) {
    if (W.Form->cdsMain->RecordCount() == 0 && W.Form->cdsMain->ChangeCount() == Rows &&
        WS.Messages().size() == 1 && WS.Failures().empty()) {
        WS.ClearRecords();
        return true;
    }
    State.SkipWithError("clear lines did not delete every row");
    return false;
}

void BM_ClearLines(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    for (auto _ : State) {
        TWindow W(Rows);
        auto Start = Clock::now();
        ClearLines(W);
        State.SetIterationTime(Seconds(Start));
        if (!Cleared(State, W, Rows)) break;
    }
}

void BM_SaveClearedLines(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    bench::TRsDatabase& Db = Host->Use(Rows);
    for (auto _ : State) {
        {
            TWindow W(Rows);
            ClearLines(W);
            if (!Cleared(State, W, Rows)) break;
            auto Start = Clock::now();
            WS.UserExecute(W.Form->actSave);
            State.SetIterationTime(Seconds(Start));
            if (Refused(State, "save")) break;
            if (W.Form->cdsMain->ChangeCount() != 0 || Db.StoredRows() != 0) {
                State.SkipWithError("the deletions were not saved");
                break;
            }
        }
        Db.Refill();
    }
}

// ---- (e) batch append ----------------------------------------------------------------------

// Side shops by Side product classes over one week well after every generated range, so
// that no generated row exists already and none overlaps: every one is made, looked up,
// checked and posted. The pickers are set to tick exactly those.
struct TBatch {
    int Side = 0;
    TDateTime From = 0, To = 0;

    TBatch(bench::TRsDatabase& Db, int ASide) : Side(ASide) {
        const std::int32_t First = Db.Data().FirstFreeDay + 1000;
        int Y = 0, M = 0, D = 0;
        DayNumberToDate(First, Y, M, D);
        From = EncodeDate(Y, M, D);
        DayNumberToDate(First + 6, Y, M, D);
        To = EncodeDate(Y, M, D);
        bench::TScriptedPicker& Picker = Db.Picker();
        Picker.Units.clear();
        for (const server::TLargeDataRef& Shop : Db.Shops(Side))
            Picker.Units.push_back(Shop.ID);
        Picker.Classes.clear();
        for (int I = 0; I < Side; ++I)
            Picker.Classes.push_back(Db.Data().Classes.at(static_cast<std::size_t>(I)).ID);
    }
    int Rows() const { return Side * Side; }
};

template <class T> T* Child(TCustomForm& Form, const char* Name) {
    auto* C = dynamic_cast<T*>(Form.FindComponent(Name));
    if (!C) throw std::runtime_error(std::string("the dialog has no ") + Name);
    return C;
}

// The batch append as a user runs it: the window's action, and in the dialog both lists
// filled through the pickers, both dates, the rate and Append. Returns the number of
// shop and product-class pairs the dialog listed, or -1 when it did not open.
int RunBatch(TWindow& W, const TBatch& B) {
    int Listed = -1;
    WS.QueueModal([&](TCustomForm& Dlg) {
        WS.UserExecute(Child<TAction>(Dlg, "actShopNewLines"));
        WS.UserExecute(Child<TAction>(Dlg, "actNewLines"));
        WS.UserPickDate(Child<TDateTimePicker>(Dlg, "edtFromDate"), B.From);
        WS.UserPickDate(Child<TDateTimePicker>(Dlg, "edtToDate"), B.To);
        WS.UserTypeText(Child<TOrvMeEdit>(Dlg, "edtCmsRate"), "0.0125");
        Listed = Child<TDataSet>(Dlg, "cdsShop")->RecordCount() *
                 Child<TDataSet>(Dlg, "cdsProdCls")->RecordCount();
        WS.UserClick(Child<TBitBtn>(Dlg, "btnAppend"));
    });
    WS.UserExecute(W.Action("actNewLines"));
    return Listed;
}

// True when the merge made every row it was to make, freed its dialog and told the user
// nothing; otherwise the benchmark ends with what went wrong.
bool Merged(benchmark::State& State, TWindow& W, const TBatch& B, int Listed, int Rows) {
    TOrvClientDataSet* Main = W.Form->cdsMain;
    std::string Wrong;
    if (Listed != B.Rows())
        Wrong = "the dialog listed " + std::to_string(Listed) + " pairs";
    else if (Main->RecordCount() != Rows + B.Rows() || Main->ChangeCount() != B.Rows() ||
             Main->State() != TDataSetState::dsBrowse)
        Wrong = "the window holds " + std::to_string(Main->RecordCount()) + " rows";
    else if (W.Form->FindComponent("CmsRsBatchAppendForm"))
        Wrong = "the dialog was not freed";
    else if (Main->FieldByName("SHOP_NAME")->AsString().empty() || Main->FieldByName("PROD_NAME")->IsNull())
        Wrong = "the last row has no names";
    const std::string Told = TWindow::Told();
    if (!Told.empty()) Wrong += (Wrong.empty() ? "" : "; ") + Told;
    if (Wrong.empty()) return true;
    State.SkipWithError(("batch append: " + Wrong).c_str());
    return false;
}

// The literal way's checks hooked around the window's own: before each row is inserted a
// full copy of the set through the packet text, before each post the overlap rule over
// every row of that copy. The window's own snapshot and check still run, so this is the
// literal way's cost plus a little. Unhooked with the object.
class TLiteralChecks {
public:
    explicit TLiteralChecks(TOrvClientDataSet* Main)
        : FMain(Main), FBeforeInsert(Main->BeforeInsert), FBeforePost(Main->BeforePost) {
        Main->BeforeInsert = [this](TDataSet* D) {
            FBeforeInsert(D);
            FSnapshot.SetXMLData(FMain->GetXMLData());
        };
        Main->BeforePost = [this](TDataSet* D) {
            Walk();
            FBeforePost(D);
        };
    }
    ~TLiteralChecks() {
        FMain->BeforeInsert = FBeforeInsert;
        FMain->BeforePost = FBeforePost;
    }
    TLiteralChecks(const TLiteralChecks&) = delete;
    TLiteralChecks& operator=(const TLiteralChecks&) = delete;

    std::int64_t Walked() const { return FWalked; }
    std::int64_t Conflicts() const { return FConflicts; }

private:
    void Walk() {
        const std::string ShopID = FMain->FieldByName("SHOP_ID")->AsString();
        const std::string ProdClsID = FMain->FieldByName("PROD_CLS_ID")->AsString();
        const TDateTime P1 = FMain->FieldByName("FROM_DATE")->AsDateTime();
        const TDateTime P2 = FMain->FieldByName("TO_DATE")->AsDateTime();
        const int Own = FMain->RecNo();
        TField* SShop = FSnapshot.FieldByName("SHOP_ID");
        TField* SProdCls = FSnapshot.FieldByName("PROD_CLS_ID");
        TField* SFrom = FSnapshot.FieldByName("FROM_DATE");
        TField* STo = FSnapshot.FieldByName("TO_DATE");
        for (FSnapshot.First(); !FSnapshot.Eof(); FSnapshot.Next()) {
            ++FWalked;
            if (SShop->AsString() != ShopID || SProdCls->AsString() != ProdClsID) continue;
            if (FSnapshot.RecNo() == Own) continue;
            const TDateTime S1 = SFrom->AsDateTime(), S2 = STo->AsDateTime();
            if ((S1 > P1 && S2 <= P2) || (S2 >= P2 && S1 <= P2) || (S1 <= P1 && S2 >= P1)) ++FConflicts;
        }
    }

    TOrvClientDataSet* FMain;
    TDataSetNotifyEvent FBeforeInsert, FBeforePost;
    TOrvClientDataSet FSnapshot{nullptr};
    std::int64_t FWalked = 0, FConflicts = 0;
};

// One whole batch append per iteration, from the window's action to its return: the
// dialog with both fills, then the merge. The window goes back to its loaded rows between
// iterations, outside the timing. Arguments: the rows in the window, and the number of
// shops (and of product classes) appended.
void MergeBatch(benchmark::State& State, bool Literal) {
    const int Rows = static_cast<int>(State.range(0));
    bench::TRsDatabase& Db = Host->Use(Rows);
    const TBatch B(Db, static_cast<int>(State.range(1)));
    TWindow W(Rows);
    std::unique_ptr<TLiteralChecks> Checks;
    if (Literal) Checks = std::make_unique<TLiteralChecks>(W.Form->cdsMain);
    double Total = 0, TotalCpu = 0;
    for (auto _ : State) {
        const double StartCpu = ThreadSeconds();
        auto Start = Clock::now();
        const int Listed = RunBatch(W, B);
        const double Took = Seconds(Start);
        State.SetIterationTime(Took);
        Total += Took;
        TotalCpu += ThreadSeconds() - StartCpu;
        if (!Merged(State, W, B, Listed, Rows)) break;
        W.Form->cdsMain->CancelUpdates();
        WS.ClearRecords();
    }
    const double PerRow = 1e6 / static_cast<double>(B.Rows()) /
                          static_cast<double>(std::max<std::int64_t>(State.iterations(), 1));
    State.counters["generated"] = B.Rows();
    State.counters["per_row_us"] = Total * PerRow;
    State.counters["per_row_cpu_us"] = TotalCpu * PerRow;
    if (Checks && Checks->Conflicts() != 0) State.SkipWithError("the literal walk found an overlap");
    if (Checks && Checks->Walked() == 0) State.SkipWithError("the literal walk never ran");
}

void BM_MergeBatch(benchmark::State& State) {
    MergeBatch(State, false);
}

void BM_MergeBatchLiteral(benchmark::State& State) {
    MergeBatch(State, true);
}

// Every benchmark runs at each size; --benchmark_filter=-rows:1000000 leaves out the largest.
void Sizes(benchmark::internal::Benchmark* B) {
    B->ArgName("rows")->Arg(10000)->Arg(100000)->Arg(1000000);
}

BENCHMARK(BM_EditRate)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditRateLiteral)->ArgName("rows")->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeNewRow)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenWindow)->Apply(Sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWindowSteps)->Apply(Sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearLines)->Apply(Sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveClearedLines)->Apply(Sizes)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
// 100 x 100 at each size, and 10 x 10 on the smallest to set against the literal way.
BENCHMARK(BM_MergeBatch)
    ->ArgNames({"rows", "side"})
    ->Args({10000, 100})
    ->Args({100000, 100})
    ->Args({1000000, 100})
    ->Args({10000, 10})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeBatchLiteral)
    ->ArgNames({"rows", "side"})
    ->Args({10000, 10})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The console report, then from the medians (or the only run): the ratio of the literal
// edit to the window's edit at each size both ran at, the cost per generated row of each
// batch append, and the literal batch append's against the window's per generated row.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own console report has them.
    TRatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}
    void ReportRuns(const std::vector<Run>& Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run& R : Runs) {
            if (R.error_occurred) continue;
            const bool Median = R.run_type == Run::RT_Aggregate && R.aggregate_name == "median";
            const bool Single = R.run_type == Run::RT_Iteration && R.repetitions <= 1;
            if (!Median && !Single) continue;
            FTimes[{R.run_name.function_name, R.run_name.args}] = R.GetAdjustedRealTime();
            auto PerRow = R.counters.find("per_row_us");
            if (PerRow != R.counters.end())
                FPerRow[{R.run_name.function_name, R.run_name.args}] = PerRow->second.value;
            auto PerRowCpu = R.counters.find("per_row_cpu_us");
            if (PerRowCpu != R.counters.end())
                FPerRowCpu[{R.run_name.function_name, R.run_name.args}] = PerRowCpu->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [Key, Literal] : FTimes) {
            if (Key.first != "BM_EditRateLiteral") continue;
            auto Fast = FTimes.find({"BM_EditRate", Key.second});
            if (Fast == FTimes.end() || Fast->second <= 0) continue;
            std::printf("edit of a rate at %s: literal %.1f us, window %.1f us, ratio %.0f\n",
                        Key.second.c_str(), Literal, Fast->second, Literal / Fast->second);
        }
        for (const auto& [Key, PerRow] : FPerRow)
            if (Key.first == "BM_MergeBatch")
                std::printf(
                    "batch append %s: %.1f ms, %.1f us per generated row (%.1f us of processor time)\n",
                    Key.second.c_str(), FTimes[Key], PerRow, FPerRowCpu[Key]);
        for (const auto& [Key, Literal] : FPerRow) {
            if (Key.first != "BM_MergeBatchLiteral") continue;
            for (const auto& [FastKey, Fast] : FPerRow) {
                if (FastKey.first != "BM_MergeBatch" || Fast <= 0) continue;
                if (Rows(FastKey.second) != Rows(Key.second)) continue;
                std::printf(
                    "batch append per generated row: literal %s %.1f us, window %s %.1f us, ratio %.0f\n",
                    Key.second.c_str(), Literal, FastKey.second.c_str(), Fast, Literal / Fast);
            }
        }
    }

private:
    // "rows:10000" of "rows:10000/side:100".
    static std::string Rows(const std::string& Args) { return Args.substr(0, Args.find('/')); }

    std::map<std::pair<std::string, std::string>, double> FTimes;
    std::map<std::pair<std::string, std::string>, double> FPerRow, FPerRowCpu;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    WS.Install();
    Host = std::make_unique<bench::TRsHost>();
    TRatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    benchmark::Shutdown();
    Host.reset();
    WS.Uninstall();
    return 0;
}
