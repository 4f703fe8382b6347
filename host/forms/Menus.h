// Popup menus.
#pragma once

#include "host/forms/ActnList.h"

#include <string>
#include <vector>

namespace orv {

class TPopupMenu;

// A menu entry. With an action it shows the action's caption, enabled and visible state;
// its own hint and shortcut, where set, win over the action's.
class TMenuItem : public TNativeComponent, private TActionClient {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    std::string Caption() const;
    void SetCaption(const std::string& Value);
    std::string Hint() const;
    void SetHint(const std::string& Value);
    TShortCut ShortCut() const;
    void SetShortCut(TShortCut Value);
    bool Enabled() const;
    void SetEnabled(bool Value);
    bool Visible() const;
    void SetVisible(bool Value);

    TAction* Action() const { return FAction; }
    void SetAction(TAction* Value);

    // Sub-items, in order. Add takes an item not yet in a menu.
    const std::vector<TMenuItem*>& Items() const { return FItems; }
    void Add(TMenuItem* Item);
    void Remove(TMenuItem* Item);
    // The item this one is a sub-item of; null for a top-level item.
    TMenuItem* ParentItem() const { return FParentItem; }
    // The menu this item is in, at any depth.
    TPopupMenu* Menu() const;

    TNotifyEvent OnClick;
    // Runs the action (or OnClick); a disabled or hidden item does nothing.
    void Click();
    // The user chose the item (the backend's entry point). Returns whether it ran.
    bool UserClick();
    // Clicks the first enabled item at or below this one with that shortcut.
    bool IsShortCut(TShortCut Key);

    void Notification(TComponent* AComponent) override;
    void DestroyHandle() override;

protected:
    void CreateDependentHandles() override;

private:
    friend class TPopupMenu;
    void Detach();
    void ActionChanged(TPropertyId Property) override;
    void ActionFreed() override;

    std::string FCaption;
    std::string FHint;
    TShortCut FShortCut = scNone;
    bool FEnabled = true;
    bool FVisible = true;
    TAction* FAction = nullptr;
    std::vector<TMenuItem*> FItems;
    TMenuItem* FParentItem = nullptr;
    TPopupMenu* FMenu = nullptr;
};

class TPopupMenu : public TNativeComponent {
public:
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;

    // The top-level items, in order. Add takes an item not yet in a menu.
    const std::vector<TMenuItem*>& Items() const { return FItems; }
    void Add(TMenuItem* Item);
    void Remove(TMenuItem* Item);
    // Clicks the first enabled item with that shortcut; returns whether one ran.
    bool IsShortCut(TShortCut Key);

    TNotifyEvent OnPopup;
    // Opens the menu at screen position X, Y.
    void Popup(int X, int Y);
    // The user opened the menu (the backend's entry point): OnPopup, so that commands can
    // bring their state up to date.
    void UserPopup();

    void DestroyHandle() override;

protected:
    void CreateDependentHandles() override;

private:
    friend class TMenuItem;
    std::vector<TMenuItem*> FItems;
};

} // namespace orv
