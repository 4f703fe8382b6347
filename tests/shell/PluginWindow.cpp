#include "PluginWindow.h"

#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/OrvPack.h"

#include <QToolBar>

#include <filesystem>
#include <random>

using namespace orv;
using namespace orv::shell;

namespace qt_test {

TPluginLibrary& Plugin() {
    static TPluginLibrary Library;
    if (!Library.Loaded()) Library.Load(QUILLON_PLUGIN_PATH);
    return Library;
}

void PluginWindowTest::OpenWindow(const char* Launcher, IPickerUi* Ui) {
    std::random_device R;
    DbPath =
        (std::filesystem::temp_directory_path() / ("quillon-window-" + std::to_string(R()) + ".db")).string();
    Session = std::make_unique<THostSession>(DbPath, "admin");
    Provider = std::make_unique<THostCshareProvider>(Session->Lookups(), Session->SysInfo(), Ui);
    SetCshareProvider(Provider.get());
    Plugin().Function<void(TSysInfo*)>("Initialize")(&Session->SysInfo());
    Plugin().Function<void()>(Launcher)();
    ASSERT_FALSE(Application->Forms().empty());
    Form = dynamic_cast<TBrowseForm*>(Application->Forms().back());
    ASSERT_NE(Form, nullptr);
    Window = WS->WidgetOf(Form);
    ASSERT_NE(Window, nullptr);
    View = Window->findChild<QTableView*>();
    ASSERT_NE(View, nullptr);
    SaveButton = ToolButton(QStringLiteral("保存"));
    ASSERT_NE(SaveButton, nullptr);
}

void PluginWindowTest::TearDown() {
    Application->FreeForms();
    SetCshareProvider(nullptr);
    SysInfoObj = nullptr;
    Provider.reset();
    Session.reset();
    QtTest::TearDown();
    std::error_code Ec;
    for (const char* Suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(DbPath + Suffix, Ec);
}

int PluginWindowTest::ColumnTitled(const QString& Title) const {
    for (int C = 0; C < View->model()->columnCount(); ++C)
        if (View->model()->headerData(C, Qt::Horizontal).toString() == Title) return C;
    return -1;
}

QAction* PluginWindowTest::ToolButton(const QString& Text) const {
    for (QAction* A : Window->findChild<QToolBar*>()->actions())
        if (A->text() == Text) return A;
    return nullptr;
}

std::unique_ptr<TOrvClientDataSet> PluginWindowTest::StoredRows(const char* Bean) {
    server::TServerOptions Options;
    Options.Path = DbPath;
    server::TQuillonServer Server(Options);
    std::string Id = Server.Login("admin");
    TInterfacePtr<IInterface> Object = Server.CreateObject(Bean);
    std::string Data, Error;
    bool Loaded = false;
    if (auto Shf = Supports<ICmsShf>(Object))
        Loaded = Shf->LoadList(Id, Sys_GlobalUnitID, Data, Error);
    else if (auto Rs = Supports<ICmsRs>(Object))
        Loaded = Rs->LoadList(Id, Sys_GlobalUnitID, Data, Error);
    EXPECT_TRUE(Loaded) << Bean << ": " << Error;
    auto Rows = std::make_unique<TOrvClientDataSet>(nullptr);
    if (Loaded) Rows->SetXMLData(OrvUnpack(Data));
    return Rows;
}

} // namespace qt_test
