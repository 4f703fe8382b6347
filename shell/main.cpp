// quillon-host: the desktop host of the commission windows.
#include "host/services/Cshare.h"
#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtWidgetSet.h"
#include "shell/HostOptions.h"
#include "shell/HostSession.h"
#include "shell/LoginDialog.h"
#include "shell/MainWindow.h"
#include "shell/PickerDialogs.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <iostream>
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

// The session the command line asks for: on the database in-process, or through the
// application server after a login. Null when it cannot be had (the reason was told) or
// the clerk cancelled the login (Cancelled).
std::unique_ptr<THostSession> OpenSession(const THostOptions& Options, bool& Cancelled) {
    Cancelled = false;
    try {
        if (Options.ServerUrl.empty()) return std::make_unique<THostSession>(Options.DatabasePath, Options.UserName);
        auto Remote = std::make_shared<client::TRemoteConnection>(
            client::TRemoteOptions{.Url = Options.ServerUrl, .CaFile = Options.CaFile});
        if (Options.PasswordFromStdin) {
            std::string Password;
            std::getline(std::cin, Password);
            Remote->Login(Options.UserName, Password);
        } else if (!RunLoginDialog(*Remote, Options.UserName, false)) {
            Cancelled = true;
            return nullptr;
        }
        auto Session = std::make_unique<THostSession>(Remote);
        if (!Options.PasswordFromStdin) {
            // A session that ends under an open window (idle too long, logged out elsewhere)
            // is taken up again by the same user; the call that found it ended then goes on.
            TSysInfo* Info = &Session->SysInfo();
            client::TRemoteConnection* Connection = Remote.get();
            Remote->SetRelogin([Info, Connection] {
                if (!RunLoginDialog(*Connection, Connection->UserName(), true, QApplication::activeWindow()))
                    return false;
                Info->CodeTable()->SetValue("SESSION_ID", Connection->Token());
                return true;
            });
        }
        return Session;
    } catch (const std::exception& E) {
        Application->MessageBox(Options.ServerUrl.empty() ? Format("无法打开数据库或登录：%s", {E.what()})
                                                          : Format("无法登录服务器：%s", {E.what()}),
                                "Quillon", MB_OK | MB_ICONERROR);
        return nullptr;
    }
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

    bool Cancelled = false;
    std::unique_ptr<THostSession> Session = OpenSession(Options, Cancelled);
    if (!Session) return Cancelled ? 0 : 1;
    TQtPickerUi Pickers;
    THostCshareProvider Provider(Session->Lookups(), Session->SysInfo(), &Pickers);
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
        TMainWindow Main(Problem.empty() ? &Plugin : nullptr, Session->UserName(), Session->Where(), Problem);
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
