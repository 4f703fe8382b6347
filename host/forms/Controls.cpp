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
    if (TWinControl* Old = FParent) {
        Old->RemoveControl(this);
        Old->Realign();
    }
    if (Value) {
        Value->InsertControl(this);
        if (Value->HandleAllocated()) HandleNeeded();
        Value->Realign();
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
    ParentRealign();
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
    ParentRealign();
}

void TControl::SetAlign(TAlign Value) {
    if (FAlign == Value) return;
    FAlign = Value;
    Changed(TPropertyId::Align);
    ParentRealign();
}

void TControl::SetAnchors(const TAnchors& Value) {
    if (FAnchors == Value) return;
    FAnchors = Value;
    Changed(TPropertyId::Align);
    ParentRealign();
}

void TControl::SetPlacement(const TBounds& Value) {
    if (FPlaced && FPlacement == Value) return;
    FPlacement = Value;
    FPlaced = true;
    Changed(TPropertyId::Placement);
}

void TControl::ParentRealign() {
    if (FParent)
        FParent->Realign();
    else if (FIsForm)
        static_cast<TWinControl*>(this)->Realign(); // its designed size is what anchors keep to
}

void TControl::CreateDependentHandles() {
    // Only now can the backend measure the control.
    ParentRealign();
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
    // A window closed meanwhile is freed once the event ends: only locals after it.
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
    TControl::CreateDependentHandles();
}

void TWinControl::Realign() {
    if (!Placed()) return;
    AlignControls();
    for (TControl* C : FControls)
        if (auto* W = dynamic_cast<TWinControl*>(C); W && W->Visible()) W->Realign();
}

void TWinControl::AlignControls() {
    struct TChild {
        TControl* Control;
        TSize Preferred;
    };
    std::vector<TChild> Children;
    for (TControl* C : FControls)
        if (C->Visible())
            Children.push_back({C, C->HandleAllocated() ? C->WidgetSet()->PreferredSize(C) : TSize{}});
    if (Children.empty()) return;

    const TInsets In = HandleAllocated() ? WidgetSet()->ClientInsets(this) : TInsets{};
    int FreeLeft = In.Left, FreeTop = In.Top;
    int FreeWidth = std::max(0, Placement().Width - In.Left - In.Right);
    int FreeHeight = std::max(0, Placement().Height - In.Top - In.Bottom);
    for (TAlign Kind : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight}) {
        for (const TChild& Ch : Children) {
            TControl* C = Ch.Control;
            if (C->Align() != Kind) continue;
            const int W = std::min(C->Width() > 0 ? C->Width() : Ch.Preferred.Width, FreeWidth);
            const int H = std::min(C->Height() > 0 ? C->Height() : Ch.Preferred.Height, FreeHeight);
            switch (Kind) {
            case TAlign::alTop:
                C->SetPlacement({FreeLeft, FreeTop, FreeWidth, H});
                FreeTop += H;
                FreeHeight -= H;
                break;
            case TAlign::alBottom:
                C->SetPlacement({FreeLeft, FreeTop + FreeHeight - H, FreeWidth, H});
                FreeHeight -= H;
                break;
            case TAlign::alLeft:
                C->SetPlacement({FreeLeft, FreeTop, W, FreeHeight});
                FreeLeft += W;
                FreeWidth -= W;
                break;
            default:
                C->SetPlacement({FreeLeft + FreeWidth - W, FreeTop, W, FreeHeight});
                FreeWidth -= W;
                break;
            }
        }
    }
    for (const TChild& Ch : Children)
        if (Ch.Control->Align() == TAlign::alClient) Ch.Control->SetPlacement({FreeLeft, FreeTop, FreeWidth, FreeHeight});

    // A control anchored to the right (or bottom) edge only keeps its designed distance to
    // that edge. Where the designed size of this container is unknown (or too small for
    // its controls), the anchored controls keep their places relative to one another, 8
    // pixels in from the edge.
    auto SizeOf = [](const TChild& Ch) {
        TSize S{Ch.Control->Width() > 0 ? Ch.Control->Width() : Ch.Preferred.Width,
                Ch.Control->Height() > 0 ? Ch.Control->Height() : Ch.Preferred.Height};
        if (Ch.Control->AutoSize()) {
            S.Width = std::max(S.Width, Ch.Preferred.Width);
            S.Height = std::max(S.Height, Ch.Preferred.Height);
        }
        return S;
    };
    const TSize Design = DesignSize();
    // The designed distance from Reach to the container's DesignEdge, or 8 pixels when the
    // designed size is unknown or does not reach that far.
    auto GapTo = [](int DesignEdge, int Reach) {
        return DesignEdge > 0 && DesignEdge >= Reach ? DesignEdge - Reach : 8;
    };
    int MaxRight = 0, MaxBottom = 0;
    for (const TChild& Ch : Children) {
        if (Ch.Control->Align() != TAlign::alNone) continue;
        const TAnchors& A = Ch.Control->Anchors();
        const TSize S = SizeOf(Ch);
        if (A.Contains(TAnchorKind::akRight) && !A.Contains(TAnchorKind::akLeft))
            MaxRight = std::max(MaxRight, Ch.Control->Left() + S.Width);
        if (A.Contains(TAnchorKind::akBottom) && !A.Contains(TAnchorKind::akTop))
            MaxBottom = std::max(MaxBottom, Ch.Control->Top() + S.Height);
    }
    const int BaseRight = GapTo(Design.Width, MaxRight);
    const int BaseBottom = GapTo(Design.Height, MaxBottom);
    // Anchors measure from the container's outer edges, its inner border included.
    const int Width = Placement().Width, Height = Placement().Height;
    for (const TChild& Ch : Children) {
        TControl* C = Ch.Control;
        if (C->Align() != TAlign::alNone) continue;
        const TAnchors& A = C->Anchors();
        const TSize S = SizeOf(Ch);
        int X = C->Left(), Y = C->Top(), W = S.Width, H = S.Height;
        const bool L = A.Contains(TAnchorKind::akLeft), R = A.Contains(TAnchorKind::akRight);
        const bool T = A.Contains(TAnchorKind::akTop), B = A.Contains(TAnchorKind::akBottom);
        if (R && !L) X = Width - BaseRight - (MaxRight - (X + W)) - W;
        if (L && R) W = std::max(0, Width - X - GapTo(Design.Width, X + W));
        if (B && !T) Y = Height - BaseBottom - (MaxBottom - (Y + H)) - H;
        if (T && B) H = std::max(0, Height - Y - GapTo(Design.Height, Y + H));
        C->SetPlacement({X, Y, W, H});
    }
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
