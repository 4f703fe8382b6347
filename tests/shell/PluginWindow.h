// A window of the real plug-in through the Qt backend: the library as the host loads it,
// a session on a database of its own, the host's lookups and pickers on that database.
#pragma once

#include "QtFixture.h"

#include "host/data/ClientDataSet.h"
#include "host/forms/BrowseFrm.h"
#include "shell/HostCshare.h"
#include "shell/HostSession.h"
#include "shell/PluginLibrary.h"

#include <QAction>
#include <QTableView>

#include <memory>
#include <string>

namespace qt_test {

// Loaded once for the whole run: the windows its code made may live until a test ends.
orv::shell::TPluginLibrary& Plugin();

class PluginWindowTest : public QtTest {
protected:
    // Opens the window of Launcher; Ui answers the pickers (null: every picker cancels).
    void OpenWindow(const char* Launcher, orv::shell::IPickerUi* Ui = nullptr);
    void TearDown() override;

    int ColumnTitled(const QString& Title) const;
    QAction* ToolButton(const QString& Text) const;
    // The rows Bean (a business-object class name) lists for the whole chain, read with a
    // connection and session of their own.
    std::unique_ptr<orv::TOrvClientDataSet> StoredRows(const char* Bean);

    std::string DbPath;
    std::unique_ptr<orv::shell::THostSession> Session;
    std::unique_ptr<orv::shell::THostCshareProvider> Provider;
    orv::TBrowseForm* Form = nullptr;
    QWidget* Window = nullptr;
    QTableView* View = nullptr;
    QAction* SaveButton = nullptr;
};

} // namespace qt_test
