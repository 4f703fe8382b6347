// quillon-host: the desktop host of the commission windows.
#include "host/services/Cshare.h"
#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtWidgetSet.h"
#include "shell/HostOptions.h"
#include "shell/HostSession.h"
#include "shell/MainWindow.h"
#include "shell/PickerDialogs.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace orv;
using namespace orv::shell;

namespace {

// The window in front: the last window the plug-in opened that is still showing.
QWidget* FrontWindow(qt::TQtWidgetSet& WS, QWidget* Main) {
    std::vector<TCustomForm*> Forms = Application->Forms();
    for (auto It = Forms.rbegin(); It != Forms.rend(); ++It)
        if ((*It)->Visible())
            if (QWidget* W = WS.WidgetOf(*It)) return W;
    return Main;
}

std::size_t ShownWindows() {
    std::vector<TCustomForm*> Forms = Application->Forms();
    return static_cast<std::size_t>(
        std::count_if(Forms.begin(), Forms.end(), [](TCustomForm* F) { return F->Visible(); }));
}

// Opens a window the command line asked for; false when it did not open. Each failure is
// told once: by the message about the plug-in when it could not be loaded at all, by the
// launcher's own message box (no right, no data) when the window refused to open.
bool OpenRequested(TMainWindow& Main, const std::string& Export, bool PluginReady) {
    if (!PluginReady) return false;
    const std::size_t Before = ShownWindows();
    if (!Main.Open(Export)) {
        Application->MessageBox(Format("插件库没有提供窗口 %s。", {Export}), "Quillon",
                                MB_OK | MB_ICONWARNING);
        return false;
    }
    return ShownWindows() > Before;
}

int RunHost(QApplication& App, const THostOptions& Options) {
    const bool Unattended = !Options.Screenshot.empty();
    qt::TQtWidgetSet WS;
    WS.SetUserName(Options.UserName);
    if (Unattended)
        // Nobody is there to answer: a box is reported and takes its default button.
        WS.SetMessageHook([](const std::string& Text, const std::string& Caption, int Flags) {
            std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
            return MessageBoxDefaultButton(Flags);
        });
    WS.Install();
    Application->SetTitle("Quillon");

    std::unique_ptr<THostSession> Session;
    try {
        Session = std::make_unique<THostSession>(Options.DatabasePath, Options.UserName);
    } catch (const std::exception& E) {
        Application->MessageBox(Format("无法打开数据库或登录：%s", {E.what()}), "Quillon",
                                MB_OK | MB_ICONERROR);
        return 1;
    }
    TQtPickerUi Pickers;
    THostCshareProvider Provider(Session->Server().Lookups(), Session->SysInfo(), &Pickers);
    SetCshareProvider(&Provider);

    TPluginLibrary Plugin;
    std::string Problem;
    try {
        Plugin.Load(Options.PluginPath.empty() ? DefaultPluginPath() : Options.PluginPath);
        auto* Initialize = Plugin.Function<void(TSysInfo*)>("Initialize");
        if (!Initialize) throw EPluginLoad(Format("插件库 %s 没有导出 Initialize。", {Plugin.Path()}));
        Initialize(&Session->SysInfo());
    } catch (const std::exception& E) {
        Problem = E.what();
        Application->MessageBox(Problem, "Quillon", MB_OK | MB_ICONERROR);
    }

    int Status = 0;
    {
        TMainWindow Main(Problem.empty() ? &Plugin : nullptr, Options.UserName,
                         Session->Server().DatabasePath(), Problem);
        Main.show();
        for (const std::string& Export : Options.Open)
            if (!OpenRequested(Main, Export, Problem.empty())) Status = 1;
        if (Unattended) {
            // Once the windows have been laid out and painted, the front one is saved.
            QTimer::singleShot(400, &Main, [&] {
                QWidget* Front = FrontWindow(WS, &Main);
                QPixmap Shot = Front->grab();
                if (Shot.isNull() || !Shot.save(QString::fromStdString(Options.Screenshot), "PNG")) {
                    std::fprintf(stderr, "无法保存截图：%s\n", Options.Screenshot.c_str());
                    Status = 1;
                }
                Main.close();
            });
        }
        App.exec();
        Application->FreeForms();
    }
    SetCshareProvider(nullptr);
    SysInfoObj = nullptr;
    return Status;
}

} // namespace

int main(int argc, char** argv) {
    THostOptions Options;
    try {
        Options = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EHostUsage& E) {
        std::fprintf(stderr, "%s\n\n%s", E.what(), UsageText().c_str());
        return 2;
    }
    if (Options.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    QApplication App(argc, argv);
    App.setOrganizationName(QStringLiteral("Quillon"));
    App.setApplicationName(QStringLiteral("quillon-host"));
    App.setQuitOnLastWindowClosed(false);
    qt::ApplyHostLook(App);
    return RunHost(App, Options);
}
