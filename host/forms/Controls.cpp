#include "host/forms/Controls.h"

#include "host/forms/Forms.h"
#include "host/forms/Menus.h"

#include <algorithm>
#include <utility>

namespace orv {

// ---- TNativeComponent ----------------------------------------------------------------------

TNativeComponent::TNativeComponent(TComponent* AOwner) : TComponent(AOwner) {}

TNativeComponent::~TNativeComponent() {
    DestroyOwnHandle();
}

void TNativeComponent::HandleNeeded() {
    if (FHandle) return;
    TWidgetSet* WS = Application ? Application->WidgetSet() : nullptr;
    if (!WS) return;
    THandle H = WS->CreateHandle(this);
    if (!H) return; // the backend draws nothing for this kind of component
    FHandle = H;
    FWidgetSet = WS;
    CreateDependentHandles();
}

void TNativeComponent::DestroyHandle() {
    DestroyOwnHandle();
}

void TNativeComponent::DestroyOwnHandle() {
    if (!FHandle) return;
    THandle H = std::exchange(FHandle, 0);
    TWidgetSet* WS = std::exchange(FWidgetSet, nullptr);
    WS->DestroyHandle(this, H);
}

void TNativeComponent::Changed(TPropertyId Property) {
    if (FHandle) FWidgetSet->PropertyChanged(this, Property);
}

// ---- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TNativeComponent(AOwner) {}

TControl::~TControl() {
    if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* Value) {
    if (Value == FParent) return;
    for (TWinControl* P = Value; P; P = P->FParent)
        if (P == this) throw EInvalidOperation(Format("控件“%s”不能成为自己的子控件。", {Name()}));
    // A backend builds a native child under its native parent, so a move rebuilds it.
    DestroyHandle();
    if (FParent) FParent->RemoveControl(this);
    if (Value) {
        Value->InsertControl(this);
        if (Value->HandleAllocated()) HandleNeeded();
    }
}

TCustomForm* TControl::GetParentForm() const {
    const TControl* C = this;
    while (C->FParent)
        C = C->FParent;
    // Only forms set FIsForm, so the downcast names the object's real class.
    return C->FIsForm ? static_cast<TCustomForm*>(const_cast<TControl*>(C)) : nullptr;
}

void TControl::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    Changed(TPropertyId::Visible);
}

void TControl::SetEnabled(bool Value) {
    if (FEnabled == Value) return;
    FEnabled = Value;
    Changed(TPropertyId::Enabled);
}

bool TControl::Showing() const {
    const TControl* C = this;
    for (; C; C = C->FParent) {
        if (!C->Visible()) return false;
        if (!C->FParent) break;
    }
    return C && C->FIsForm;
}

void TControl::SetCaption(const std::string& Value) {
    if (FCaption == Value) return;
    FCaption = Value;
    Changed(TPropertyId::Caption);
}

void TControl::SetHint(const std::string& Value) {
    if (FHint == Value) return;
    FHint = Value;
    Changed(TPropertyId::Hint);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    Changed(TPropertyId::Bounds);
}

void TControl::SetAlign(TAlign Value) {
    if (FAlign == Value) return;
    FAlign = Value;
    Changed(TPropertyId::Align);
}

void TControl::SetAnchors(const TAnchors& Value) {
    if (FAnchors == Value) return;
    FAnchors = Value;
    Changed(TPropertyId::Align);
}

void TControl::SetFont(const TFont& Value) {
    if (FFont == Value) return;
    FFont = Value;
    Changed(TPropertyId::Font);
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
    if (FPopupMenu == Value) return;
    FPopupMenu = Value;
    if (Value && HandleAllocated()) Value->HandleNeeded();
    Changed(TPropertyId::PopupMenu);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

bool TControl::UserClick() {
    return UserInput([this] {
        CommitPendingEditOf(this);
        Click();
    });
}

bool TControl::TakesUserInput() const {
    if (!Showing()) return false;
    for (const TControl* C = this; C; C = C->FParent)
        if (!C->Enabled()) return false;
    return true;
}

bool TControl::UserInput(const std::function<void()>& Handler) {
    bool Done = false;
    // The control may be gone once Handler returns (its window closed): only locals after.
    Application->HandleEvent([&] {
        if (!TakesUserInput()) return;
        Handler();
        Done = true;
    });
    return Done;
}

void TControl::Notification(TComponent* AComponent) {
    TNativeComponent::Notification(AComponent);
    if (AComponent == FPopupMenu) FPopupMenu = nullptr;
}

// ---- TWinControl ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
    DestroyHandle();
    if (!FIsForm)
        if (TCustomForm* F = GetParentForm()) F->ControlDestroyed(this);
    for (TControl* C : FControls)
        C->FParent = nullptr;
    FControls.clear();
}

void TWinControl::SetTabOrder(int Value) {
    if (FTabOrder == Value) return;
    FTabOrder = Value;
    Changed(TPropertyId::TabOrder);
}

bool TWinControl::CanFocus() const {
    TCustomForm* F = GetParentForm();
    if (!F || !F->Visible() || !F->Enabled()) return false;
    for (const TControl* C = this; C && C != F; C = C->Parent())
        if (!C->Visible() || !C->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const {
    TCustomForm* F = GetParentForm();
    return F && F->ActiveControl() == this;
}

void TWinControl::SetFocus() {
    TCustomForm* F = GetParentForm();
    if (!F) throw EInvalidOperation(Format("控件“%s”不在窗口上，不能获得焦点。", {Name()}));
    for (const TControl* C = this; C && C != F; C = C->Parent())
        if (!C->Visible() || !C->Enabled())
            throw EInvalidOperation(Format("不能把焦点移到隐藏或已禁用的控件“%s”。", {Name()}));
    F->FocusChanged(this);
    if (HandleAllocated() && F->Visible()) WidgetSet()->SetFocus(this);
}

void TWinControl::UserFocus() {
    Application->HandleEvent([this] { SetFocus(); });
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::CreateDependentHandles() {
    std::vector<TControl*> Children = FControls;
    for (TControl* C : Children)
        C->HandleNeeded();
}

void TWinControl::DestroyHandle() {
    for (auto It = FControls.rbegin(); It != FControls.rend(); ++It)
        (*It)->DestroyHandle();
    DestroyOwnHandle();
}

void TWinControl::InsertControl(TControl* C) {
    FControls.push_back(C);
    C->FParent = this;
}

void TWinControl::RemoveControl(TControl* C) {
    FControls.erase(std::remove(FControls.begin(), FControls.end(), C), FControls.end());
    C->FParent = nullptr;
}

} // namespace orv
