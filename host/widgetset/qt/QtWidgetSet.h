// The Qt6 Widgets backend of the form framework.
//
// Every component of the form model gets a peer that owns its Qt counterpart: a form a
// top-level window, a grid a TQtGridView, a tool button a QAction in its tool bar, an
// action a QAction with its shortcut on the form's window, a popup menu a QMenu. The
// user's input goes back through the components' User* entry points inside
// Application->HandleEvent, so nothing a user does escapes into Qt's event loop.
//
// Qt objects of a peer that goes away are hidden at once and deleted from the event loop
// (deleteLater): a window may be freed from inside its own close or key event. The widget
// set must be destroyed before QApplication; its destructor deletes what is still waiting.
#pragma once

#include "host/forms/Forms.h"
#include "host/widgetset/WidgetSet.h"
#include "host/widgetset/qt/QtLayoutStore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QAction;
class QEventLoop;
class QMenu;
class QTableView;
class QWidget;

namespace orv::qt {

class TPeer;
class TFormPeer;
class TQtGridModel;
class TQtGridView;

class TQtWidgetSet : public QObject, public TWidgetSet {
    Q_OBJECT

public:
    TQtWidgetSet();
    ~TQtWidgetSet() override;

    // Makes this the application's backend until Uninstall or destruction.
    void Install();
    void Uninstall();

    // The user whose grid layouts are kept (the logged-in user).
    void SetUserName(const std::string& Value) { FUserName = Value; }
    const std::string& UserName() const { return FUserName; }
    // Where grid layouts are kept; the user's own settings unless changed.
    void SetLayoutStore(TLayoutStore Store) { FLayoutStore = std::move(Store); }
    TLayoutStore& LayoutStore() { return FLayoutStore; }

    // Answers message boxes instead of showing them (unattended runs, tests): receives
    // text, caption and flags, returns the button.
    using TMessageHook = std::function<int(const std::string& Text, const std::string& Caption, int Flags)>;
    void SetMessageHook(TMessageHook Hook) { FMessageHook = std::move(Hook); }

    // What the backend made for a component (null when it has no handle from here).
    QWidget* WidgetOf(const TNativeComponent* Component) const;
    // The QAction of an action, menu item or tool button.
    QAction* ActionOf(const TNativeComponent* Component) const;
    QMenu* MenuOf(const TNativeComponent* Component) const;
    TQtGridView* ViewOf(const TOrvDBGrid* Grid) const;
    TQtGridModel* ModelOf(const TOrvDBGrid* Grid) const;
    // The form whose window is Window (or holds it), if any.
    TCustomForm* FormOfWidget(const QWidget* Window) const;

    // ---- TWidgetSet
    THandle CreateHandle(TNativeComponent* Component) override;
    void DestroyHandle(TNativeComponent* Component, THandle Handle) override;
    void PropertyChanged(TNativeComponent* Component, TPropertyId Property) override;
    void ShowForm(TCustomForm* Form) override;
    void HideForm(TCustomForm* Form) override;
    void RunModal(TCustomForm* Form) override;
    int MessageBox(const std::string& Text, const std::string& Caption, int Flags) override;
    std::optional<std::string> ChooseSaveFile(TCustomForm* Form, const std::string& Title,
                                              const std::string& SuggestedName,
                                              const std::vector<TFileFilter>& Filters) override;
    void SetFocus(TWinControl* Control) override;
    void Popup(TPopupMenu* Menu, int X, int Y) override;
    TSize PreferredSize(const TControl* Control) override;
    TInsets ClientInsets(const TWinControl* Container) override;
    void GridChanged(TOrvDBGrid* Grid, TGridChange Change, int First, int Last) override;
    void ProcessMessages() override;
    void BeginBusy(TCustomForm* Form, const std::string& Caption, int Total) override;
    void BusyProgress(int Done) override;
    void EndBusy() override;
    // The progress window of the busy period under way, once it shows (null otherwise).
    QProgressDialog* BusyDialog() const { return FBusyDialog; }

    // ---- for the peers
    TPeer* PeerOf(const TNativeComponent* Component) const;
    // The nearest peer whose widget is Widget or holds it.
    TPeer* PeerOfWidget(const QWidget* Widget) const;
    void RegisterWidget(QWidget* Widget, TPeer* Peer);
    void UnregisterWidget(QWidget* Widget);
    // Shows Menu (a popup menu component) at a global position, as the user opened it.
    void UserPopup(TPopupMenu* Menu, const QPoint& Global);

protected:
    // Resizes of containers, close boxes, keys that reach a window, context menus.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FocusChanged(QWidget* Old, QWidget* Now);
    void FlushDeferredDeletes();

    std::unordered_map<THandle, std::unique_ptr<TPeer>> FPeers;
    std::unordered_map<const QWidget*, TPeer*> FWidgetPeers;
    // Nested loops of the windows shown modally, by handle; a loop ends when its window
    // gets a modal result or goes.
    std::unordered_map<THandle, QEventLoop*> FModalLoops;
    std::string FUserName;
    TLayoutStore FLayoutStore;
    TMessageHook FMessageHook;
    // Where the last save dialog ended; the next one starts there.
    QString FSaveDir;
    bool FInstalled = false;
    bool FInFocusChange = false;
    // The busy period: its window, progress and clock.
    QPointer<QWidget> FBusyWindow;
    QPointer<QProgressDialog> FBusyDialog;
    std::string FBusyCaption;
    int FBusyTotal = 0;
    QElapsedTimer FBusyClock;
    qint64 FBusyRepainted = 0;
};

} // namespace orv::qt
