// Opening the consignment window in the Qt host, offscreen: the launcher of the real
// plug-in (rights, LoadList from the SQLite store, unpacking, SetXMLData, the window and
// its widgets) up to the first finished paint of the grid's rows. The argument is the
// number of rows; --benchmark_filter=-rows:1000000 leaves out the largest.
#include "bench/shell/QtBenchSupport.h"
#include "bench/shell/RsWindowHost.h"
#include "host/forms/DBGrids.h"
#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtGridView.h"
#include "host/widgetset/qt/QtWidgetSet.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

using namespace orv;
using bench::FreeWindows;
using bench::TPaintCounter;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<qt::TQtWidgetSet> Backend;
std::unique_ptr<bench::TRsHost> Host;
std::string Told; // the last message box, answered with its default button


void BM_OpenWindowQt(benchmark::State& State) {
    const int Rows = static_cast<int>(State.range(0));
    Host->Use(Rows);
    FreeWindows();
    for (auto _ : State) {
        TPaintCounter Counter;
        auto Start = Clock::now();
        TBrowseForm* Form = Host->Open();
        QWidget* Viewport = Backend->ViewOf(Form->grdMain)->viewport();
        Viewport->installEventFilter(&Counter);
        // The paint event is handled completely once processEvents returns.
        while (Counter.Paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        State.SetIterationTime(std::chrono::duration<double>(Clock::now() - Start).count());
        Viewport->removeEventFilter(&Counter);
        if (Form->cdsMain->RecordCount() != Rows) State.SkipWithError("the window shows the wrong rows");
        if (!Told.empty()) State.SkipWithError(Told.c_str());
        FreeWindows();
    }
}
BENCHMARK(BM_OpenWindowQt)
    ->ArgName("rows")
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    // The look quillon-host gives itself.
    qt::ApplyHostLook(App);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Backend = std::make_unique<qt::TQtWidgetSet>();
    Backend->SetUserName("admin");
    // Column layouts go to a file of the run's own, not to the user's settings.
    const std::filesystem::path Layouts =
        std::filesystem::temp_directory_path() / ("quillon-rs-qt-bench-" + std::to_string(getpid()) + ".ini");
    Backend->SetLayoutStore(qt::TLayoutStore(QString::fromStdString(Layouts.string())));
    Backend->SetMessageHook([](const std::string& Text, const std::string&, int Flags) {
        Told = Text;
        return MessageBoxDefaultButton(Flags);
    });
    Backend->Install();
    Host = std::make_unique<bench::TRsHost>();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Host.reset();
    FreeWindows();
    Backend.reset();
    std::error_code Ec;
    std::filesystem::remove(Layouts, Ec);
    return 0;
}
