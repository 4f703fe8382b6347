// The host's main window: the plug-in's windows, one menu entry and one button each.
#pragma once

#include "shell/PluginLibrary.h"

#include <QMainWindow>

#include <map>
#include <string>

class QAction;

namespace orv::shell {

// Invariant: an entry is enabled exactly when the loaded library exports its launcher.
// Closing the main window asks every open window whether it may close (a window with
// unsaved changes asks the user) and frees them all before the host quits.
class TMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Plugin is null when the library could not be loaded or initialised; its entries are
    // then disabled and Problem says why. Where says where the rows live ("数据库：…" or
    // "服务器：…").
    TMainWindow(const TPluginLibrary* Plugin, const std::string& UserName, const std::string& Where,
                const std::string& Problem, QWidget* Parent = nullptr);

    // Runs the launcher as the user's click does; false when it is not available.
    bool Open(const std::string& Export);
    QAction* LauncherAction(const std::string& Export) const;

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    const TPluginLibrary* FPlugin;
    std::map<std::string, QAction*> FActions;
};

} // namespace orv::shell
