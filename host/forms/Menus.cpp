#include "host/forms/Menus.h"

#include "host/forms/Forms.h"

#include <algorithm>

namespace orv {

// ---- TMenuItem -----------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TNativeComponent(AOwner) {}

TMenuItem::~TMenuItem() {
    DestroyHandle();
    SetAction(nullptr);
    for (TMenuItem* I : FItems) {
        I->FParentItem = nullptr;
        I->FMenu = nullptr;
    }
    FItems.clear();
    Detach();
}

void TMenuItem::Detach() {
    if (FParentItem) {
        auto& L = FParentItem->FItems;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    } else if (FMenu) {
        auto& L = FMenu->FItems;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    }
    FParentItem = nullptr;
    FMenu = nullptr;
}

std::string TMenuItem::Caption() const {
    return FAction ? FAction->Caption() : FCaption;
}

void TMenuItem::SetCaption(const std::string& Value) {
    if (FCaption == Value) return;
    FCaption = Value;
    Changed(TPropertyId::Caption);
}

std::string TMenuItem::Hint() const {
    if (!FHint.empty() || !FAction) return FHint;
    return FAction->Hint();
}

void TMenuItem::SetHint(const std::string& Value) {
    if (FHint == Value) return;
    FHint = Value;
    Changed(TPropertyId::Hint);
}

TShortCut TMenuItem::ShortCut() const {
    if (FShortCut != scNone || !FAction) return FShortCut;
    return FAction->ShortCut();
}

void TMenuItem::SetShortCut(TShortCut Value) {
    if (FShortCut == Value) return;
    FShortCut = Value;
    Changed(TPropertyId::ShortCut);
}

bool TMenuItem::Enabled() const {
    return FAction ? FAction->Enabled() : FEnabled;
}

void TMenuItem::SetEnabled(bool Value) {
    if (FEnabled == Value) return;
    FEnabled = Value;
    Changed(TPropertyId::Enabled);
}

bool TMenuItem::Visible() const {
    return FAction ? FAction->Visible() : FVisible;
}

void TMenuItem::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    Changed(TPropertyId::Visible);
}

void TMenuItem::SetAction(TAction* Value) {
    if (RelinkAction(this, FAction, Value, HandleAllocated())) Changed(TPropertyId::Action);
}

void TMenuItem::ActionChanged(TPropertyId Property) {
    Changed(Property);
}

void TMenuItem::ActionFreed() {
    FAction = nullptr;
    Changed(TPropertyId::Action);
}

void TMenuItem::Add(TMenuItem* Item) {
    if (Item == this || Item->FParentItem || Item->FMenu)
        throw EInvalidOperation(Format("菜单项“%s”已经在菜单中。", {Item->Name()}));
    FItems.push_back(Item);
    Item->FParentItem = this;
    if (HandleAllocated()) Item->HandleNeeded();
    Changed(TPropertyId::Items);
}

void TMenuItem::Remove(TMenuItem* Item) {
    if (Item->FParentItem != this) return;
    Item->DestroyHandle();
    Item->Detach();
    Changed(TPropertyId::Items);
}

TPopupMenu* TMenuItem::Menu() const {
    const TMenuItem* I = this;
    while (I->FParentItem)
        I = I->FParentItem;
    return I->FMenu;
}

void TMenuItem::Click() {
    if (!Enabled() || !Visible()) return;
    if (OnClick) {
        CommitPendingEditOf(this);
        OnClick(this);
    } else if (FAction) {
        FAction->Execute();
    }
}

bool TMenuItem::UserClick() {
    bool Done = false;
    Application->HandleEvent([&] {
        if (!Enabled() || !Visible()) return;
        Click();
        Done = true;
    });
    return Done;
}

bool TMenuItem::IsShortCut(TShortCut Key) {
    if (Key == scNone || !Visible()) return false;
    if (ShortCut() == Key) {
        if (!Enabled()) return false;
        Click();
        return true;
    }
    std::vector<TMenuItem*> Items = FItems;
    for (TMenuItem* I : Items)
        if (I->IsShortCut(Key)) return true;
    return false;
}

void TMenuItem::Notification(TComponent* AComponent) {
    TNativeComponent::Notification(AComponent);
    if (AComponent == FAction) ActionFreed();
}

void TMenuItem::CreateDependentHandles() {
    std::vector<TMenuItem*> Items = FItems;
    for (TMenuItem* I : Items)
        I->HandleNeeded();
}

void TMenuItem::DestroyHandle() {
    for (auto It = FItems.rbegin(); It != FItems.rend(); ++It)
        (*It)->DestroyHandle();
    DestroyOwnHandle();
}

// ---- TPopupMenu ----------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* AOwner) : TNativeComponent(AOwner) {}

TPopupMenu::~TPopupMenu() {
    DestroyHandle();
    for (TMenuItem* I : FItems)
        I->FMenu = nullptr;
    FItems.clear();
}

void TPopupMenu::Add(TMenuItem* Item) {
    if (Item->FParentItem || Item->FMenu)
        throw EInvalidOperation(Format("菜单项“%s”已经在菜单中。", {Item->Name()}));
    FItems.push_back(Item);
    Item->FMenu = this;
    if (HandleAllocated()) Item->HandleNeeded();
    Changed(TPropertyId::Items);
}

void TPopupMenu::Remove(TMenuItem* Item) {
    if (Item->FMenu != this || Item->FParentItem) return;
    Item->DestroyHandle();
    Item->Detach();
    Changed(TPropertyId::Items);
}

bool TPopupMenu::IsShortCut(TShortCut Key) {
    std::vector<TMenuItem*> Items = FItems;
    for (TMenuItem* I : Items)
        if (I->IsShortCut(Key)) return true;
    return false;
}

void TPopupMenu::Popup(int X, int Y) {
    if (OnPopup) OnPopup(this);
    HandleNeeded();
    if (HandleAllocated()) WidgetSet()->Popup(this, X, Y);
}

void TPopupMenu::UserPopup() {
    Application->HandleEvent([this] {
        if (OnPopup) OnPopup(this);
    });
}

void TPopupMenu::CreateDependentHandles() {
    std::vector<TMenuItem*> Items = FItems;
    for (TMenuItem* I : Items)
        I->HandleNeeded();
}

void TPopupMenu::DestroyHandle() {
    for (auto It = FItems.rbegin(); It != FItems.rend(); ++It)
        (*It)->DestroyHandle();
    DestroyOwnHandle();
}

} // namespace orv
