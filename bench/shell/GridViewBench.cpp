// The consignment grid on screen: 100,000 rows of shop, product class, dates and rate in
// the Qt backend's table view, offscreen. Time to the first paint of a window that shows
// them, and the cost of each page while scrolling from the top to the bottom.
#include "bench/ConsignmentPacket.h"
#include "bench/shell/QtBenchSupport.h"
#include "host/data/ClientDataSet.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Forms.h"
#include "host/widgetset/qt/QtGridView.h"
#include "host/widgetset/qt/QtWidgetSet.h"

#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace orv;
using bench::FreeWindows;
using bench::TPaintCounter;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int RowCount = 100000;

// The rows, loaded once; every window takes a copy that shares their storage.
const TClientData& Rows() {
    static TClientData Data = [] {
        TOrvClientDataSet Loader(nullptr);
        Loader.SetXMLData(bench::MakeConsignmentPacket(RowCount));
        return Loader.GetData();
    }();
    return Data;
}

// The consignment window's grid: its columns, widths and the highlighted titles.
struct TGridWindow {
    TCustomForm* Form;
    TOrvDBGrid* Grid;

    TGridWindow() {
        Form = new TCustomForm(Application);
        Form->SetCaption("代销提成设置");
        Form->SetBounds(0, 0, 694, 456);
        auto* Data = new TOrvClientDataSet(Form);
        Data->SetData(Rows());
        auto* Source = new TDataSource(Form);
        Source->SetDataSet(Data);
        Grid = new TOrvDBGrid(Form);
        Grid->SetParent(Form);
        Grid->SetAlign(TAlign::alClient);
        Grid->SetDataSource(Source);
        TFont Title;
        Title.Height = 13;
        Title.Charset = GB2312_CHARSET;
        Title.Color = clHighlight;
        const struct {
            const char* Field;
            int Width;
            bool Highlighted;
        } Columns[] = {{"SHOP_NUM", 97, true},    {"SHOP_NAME", 141, false}, {"PROD_CLS_NUM", 88, true},
                       {"PROD_NAME", 106, false}, {"FROM_DATE", 79, true},   {"TO_DATE", 72, true},
                       {"CMS_RATE", 0, true}};
        for (const auto& C : Columns) {
            TColumn* Col = Grid->AddColumn(C.Field);
            if (C.Width > 0) Col->SetWidth(C.Width);
            if (C.Highlighted) Col->SetTitleFont(Title);
        }
    }
};


std::unique_ptr<qt::TQtWidgetSet> Backend;

// Show to the first finished paint of the grid's rows.
void BM_FirstPaint(benchmark::State& State) {
    Rows();
    for (auto _ : State) {
        TGridWindow W;
        TPaintCounter Counter;
        auto Start = Clock::now();
        W.Form->Show();
        QWidget* Viewport = Backend->ViewOf(W.Grid)->viewport();
        Viewport->installEventFilter(&Counter);
        // The paint event is handled completely once processEvents returns.
        while (Counter.Paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        State.SetIterationTime(std::chrono::duration<double>(Clock::now() - Start).count());
        Viewport->removeEventFilter(&Counter);
        FreeWindows();
    }
    State.counters["rows"] = RowCount;
}
BENCHMARK(BM_FirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// One page down and its paint; at the bottom the next page starts at the top again.
void BM_ScrollPage(benchmark::State& State) {
    TGridWindow W;
    W.Form->Show();
    qt::TQtGridView* View = Backend->ViewOf(W.Grid);
    QCoreApplication::processEvents();
    QScrollBar* Bar = View->verticalScrollBar();
    long Pages = 0;
    for (auto _ : State) {
        int Next = Bar->value() + Bar->pageStep();
        Bar->setValue(Next > Bar->maximum() ? 0 : Next);
        View->viewport()->repaint();
        ++Pages;
    }
    State.counters["rows_per_page"] = Bar->pageStep();
    State.counters["pages_to_bottom"] =
        Bar->pageStep() > 0 ? (Bar->maximum() + Bar->pageStep()) / Bar->pageStep() : 0;
    FreeWindows();
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The whole way from the first row to the last, a page at a time.
void BM_ScrollTopToBottom(benchmark::State& State) {
    TGridWindow W;
    W.Form->Show();
    qt::TQtGridView* View = Backend->ViewOf(W.Grid);
    QCoreApplication::processEvents();
    QScrollBar* Bar = View->verticalScrollBar();
    int Pages = 0;
    for (auto _ : State) {
        Bar->setValue(0);
        Pages = 0;
        while (Bar->value() < Bar->maximum()) {
            Bar->setValue(std::min(Bar->value() + Bar->pageStep(), Bar->maximum()));
            View->viewport()->repaint();
            ++Pages;
        }
    }
    State.counters["pages"] = Pages;
    State.counters["s_per_page"] = benchmark::Counter(Pages, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    FreeWindows();
}
BENCHMARK(BM_ScrollTopToBottom)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    Backend = std::make_unique<qt::TQtWidgetSet>();
    Backend->Install();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Backend.reset();
    return 0;
}
