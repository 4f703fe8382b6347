// The Qt counterparts of the form model's components. Internal to the Qt backend.
#pragma once

#include "host/forms/ComCtrls.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Forms.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <memory>

class QKeyEvent;

namespace orv::qt {

class TQtWidgetSet;
class TQtGridView;

// Invariant: Component() is the live component from construction until Detach(); after
// it, null. Connections made with Guard() as context end with Detach(), so no Qt signal
// reaches a component that is gone.
class TPeer {
public:
    TPeer(TQtWidgetSet& WS, TNativeComponent* Component);
    virtual ~TPeer();
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    TNativeComponent* Component() const { return FComponent; }
    virtual QWidget* Widget() const { return nullptr; }
    // Where child controls go (the widget itself for most containers).
    virtual QWidget* Container() const { return Widget(); }
    virtual QAction* Action() const { return nullptr; }
    virtual QMenu* Menu() const { return nullptr; }

    // Runs once the widget set knows the peer: work that looks up other peers.
    virtual void Created() {}
    virtual void Update(TPropertyId Property);
    // The component is going: only Qt objects may be touched from here on.
    virtual void Detach();

    // Events of the peer's widget, as the widget set's event filter sees them. Returns
    // whether the event was taken.
    virtual bool WidgetEvent(QEvent* Event);

protected:
    QObject* Guard() const { return FGuard.get(); }
    // Hides a widget at once and deletes a Qt object from the event loop.
    static void Retire(QObject* Object);

    TQtWidgetSet& FWS;

private:
    TNativeComponent* FComponent;
    std::unique_ptr<QObject> FGuard;
};

class TActionPeer : public TPeer {
public:
    TActionPeer(TQtWidgetSet& WS, TAction* Action);
    QAction* Action() const override { return FAction; }
    void Update(TPropertyId Property) override;
    void Detach() override;

private:
    TAction* ActionComponent() const { return static_cast<TAction*>(Component()); }
    // The toolkit finds a key held by two actions of a window ambiguous and runs neither;
    // only the action the window would run for the key holds it.
    void ApplyShortcut();
    QPointer<QAction> FAction;
    TCustomForm* FForm = nullptr;
};

// A menu item or popup menu; both hold a list of items shown in a QMenu.
class TMenuPeer : public TPeer {
public:
    // A popup menu has its QMenu at once; a menu item gets one with its first sub-item.
    TMenuPeer(TQtWidgetSet& WS, TNativeComponent* Component, bool WithMenu);
    QMenu* Menu() const override { return FMenu; }
    void Created() override;
    // Puts the items' QActions into the QMenu in the model's order.
    void RebuildItems();
    void Update(TPropertyId Property) override;
    void Detach() override;

protected:
    const std::vector<TMenuItem*>* Items() const;
    QPointer<QMenu> FMenu;
};

class TMenuItemPeer : public TMenuPeer {
public:
    TMenuItemPeer(TQtWidgetSet& WS, TMenuItem* Item);
    QAction* Action() const override { return FAction; }
    void Created() override;
    void Update(TPropertyId Property) override;
    void Detach() override;

private:
    TMenuItem* Item() const { return static_cast<TMenuItem*>(Component()); }
    void Refresh();
    TMenuPeer* ContainerPeer() const;
    QPointer<QAction> FAction;
};

class TControlPeer : public TPeer {
public:
    TControlPeer(TQtWidgetSet& WS, TControl* Control);
    TControl* Control() const { return static_cast<TControl*>(Component()); }
    QWidget* Widget() const override { return FWidget; }
    void Created() override;
    void Update(TPropertyId Property) override;
    void Detach() override;
    bool WidgetEvent(QEvent* Event) override;

    // The border inside the widget that the model's aligned controls keep clear of.
    virtual TInsets ClientInsets() const;
    // The size the control takes when the model gives none.
    virtual QSize NaturalSize() const;

protected:
    // Takes the widget made for the control: names it and shows the model's state.
    void Adopt(QWidget* Widget);
    // The Qt container of the parent control's children, if it has one yet.
    QWidget* ParentContainer() const;
    virtual void ApplyFont();
    virtual void ApplyCaption() {}
    TControlPeer* ParentPeer() const;

    QPointer<QWidget> FWidget;

private:
    void Place(const TBounds& Area);
};

class TFormPeer : public TControlPeer {
public:
    TFormPeer(TQtWidgetSet& WS, TCustomForm* Form);
    TCustomForm* Form() const { return static_cast<TCustomForm*>(Component()); }
    void Update(TPropertyId Property) override;
    void Detach() override;
    bool WidgetEvent(QEvent* Event) override;

    void Show();
    void Hide();
    // Saves the layouts of the window's grids.
    void SaveGridLayouts();
    // The window's place: restored from the user's last one on the first show (or chosen
    // beside the window in front), kept as the window hides.
    void PlaceOnFirstShow();
    void SavePlace();

protected:
    void ApplyCaption() override;

private:
    void ApplySize();
    void ApplyBorder();
    void UpdateTabOrder();
    bool HandleKey(QKeyEvent* Event);
    bool FShownOnce = false;
    // The window's name, taken when it first shows; its place is kept under it.
    std::string FPlaceKey;
};

class TToolButtonPeer : public TControlPeer {
public:
    TToolButtonPeer(TQtWidgetSet& WS, TToolButton* Button);
    QAction* Action() const override { return FAction; }
    void Created() override;
    void Update(TPropertyId Property) override;
    void Detach() override;

private:
    TToolButton* Button() const { return static_cast<TToolButton*>(Component()); }
    void Refresh();
    QPointer<QAction> FAction;
};

class TGridPeer : public TControlPeer {
public:
    TGridPeer(TQtWidgetSet& WS, TOrvDBGrid* Grid);
    TQtGridView* View() const;
    void Update(TPropertyId Property) override;
    void Detach() override;
    void SaveLayout();

private:
    TOrvDBGrid* Grid() const { return static_cast<TOrvDBGrid*>(Component()); }
    void LoadLayout();
    std::string FLayoutID; // kept for saving while the grid is being destroyed
};

// Labels, buttons, edits, date pickers, group boxes and plain containers.
class TSimplePeer : public TControlPeer {
public:
    TSimplePeer(TQtWidgetSet& WS, TControl* Control);
    void Update(TPropertyId Property) override;

protected:
    void ApplyCaption() override;
    TInsets ClientInsets() const override;
    QSize NaturalSize() const override;

private:
    void ApplyValue();
    bool FSetting = false;
};

// Makes the peer for a component; null for a component the backend does not draw.
std::unique_ptr<TPeer> MakePeer(TQtWidgetSet& WS, TNativeComponent* Component);

} // namespace orv::qt
