#include "host/forms/Forms.h"

#include "host/forms/ActnList.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"
#include "host/forms/Cformsres.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace orv {

namespace {

TApplication& TheApplication() {
    static TApplication App;
    return App;
}

// Visits the controls under Parent, depth first, in order.
template <class F> void ForEachControl(TWinControl* Parent, F&& Fn) {
    std::vector<TControl*> Children = Parent->Controls();
    for (TControl* C : Children) {
        Fn(C);
        if (auto* W = dynamic_cast<TWinControl*>(C)) ForEachControl(W, Fn);
    }
}

// The showing, enabled button of the form that Escape presses.
TBitBtn* FindCancelButton(TCustomForm* Form) {
    TBitBtn* Found = nullptr;
    ForEachControl(Form, [&](TControl* C) {
        auto* B = dynamic_cast<TBitBtn*>(C);
        if (!Found && B && B->Cancel() && B->Showing() && B->Enabled()) Found = B;
    });
    return Found;
}

} // namespace

TApplication* Application = &TheApplication();

std::vector<int> MessageBoxButtons(int Flags) {
    switch (Flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

int MessageBoxDefaultButton(int Flags) {
    std::vector<int> Buttons = MessageBoxButtons(Flags);
    std::size_t Index = static_cast<std::size_t>((Flags & MB_DEFMASK) >> 8);
    return Buttons[std::min(Index, Buttons.size() - 1)];
}

// ---- TCustomForm ---------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
    FIsForm = true;
    FVisible = false;
}

TCustomForm::~TCustomForm() {
    // A form deleted directly rather than through Free is known to be going from here on;
    // only Free can say so before the subclass destructors run.
    FDestroying = true;
    Application->FormDestroyed(this);
    DestroyHandle();
    DestroyFormComponents();
}

void TCustomForm::AfterConstruction() {
    if (FCreated) return;
    FCreated = true;
    DoCreate();
}

void TCustomForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TCustomForm::DoDestroy() {
    if (FCreated && OnDestroy) OnDestroy(this);
}

void TCustomForm::Free() {
    if (FDestroying) return;
    FDestroying = true;
    // OnDestroy releases what OnCreate took; the form goes even if the handler fails.
    std::exception_ptr Failure;
    try {
        DoDestroy();
    } catch (...) {
        Failure = std::current_exception();
    }
    delete this;
    if (Failure) std::rethrow_exception(Failure);
}

void TCustomForm::Release() {
    if (FReleasing || FDestroying) return;
    FReleasing = true;
    Application->QueueRelease(this);
}

void TCustomForm::DestroyFormComponents() {
    // Owned forms run their own OnDestroy while they are whole.
    for (;;) {
        TCustomForm* Child = nullptr;
        for (auto It = Components().rbegin(); It != Components().rend() && !Child; ++It)
            if (auto* F = dynamic_cast<TCustomForm*>(*It); F && !F->FDestroying) Child = F;
        if (!Child) break;
        Child->Free();
    }
    DestroyComponents();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
    if (FBorderStyle == Value) return;
    FBorderStyle = Value;
    Changed(TPropertyId::BorderStyle);
}

void TCustomForm::SetClientWidth(int Value) {
    if (FClientWidth == Value) return;
    FClientWidth = Value;
    Changed(TPropertyId::Bounds);
    Realign();
}

void TCustomForm::SetClientHeight(int Value) {
    if (FClientHeight == Value) return;
    FClientHeight = Value;
    Changed(TPropertyId::Bounds);
    Realign();
}

void TCustomForm::UserResize(int Width, int Height) {
    if (Placed() && Placement() == TBounds{0, 0, Width, Height}) return;
    SetPlacement({0, 0, Width, Height});
    Realign();
}

TSize TCustomForm::OpeningSize() const {
    const TSize Design = DesignSize();
    return {Design.Width > 0 ? Design.Width : 640, Design.Height > 0 ? Design.Height : 480};
}

TSize TCustomForm::DesignSize() const {
    return {FClientWidth > 0 ? FClientWidth : Width(), FClientHeight > 0 ? FClientHeight : Height()};
}

void TCustomForm::SetHelpContext(int Value) {
    if (FHelpContext == Value) return;
    FHelpContext = Value;
    Changed(TPropertyId::HelpContext);
}

void TCustomForm::Show() {
    SetVisible(true);
}

void TCustomForm::SetVisible(bool Value) {
    if (Value == FVisible) {
        // Showing a shown window brings it to the front.
        if (Value && HandleAllocated()) WidgetSet()->ShowForm(this);
        return;
    }
    if (Value) {
        AfterConstruction();
        FVisible = true;
        HandleNeeded();
        if (HandleAllocated()) WidgetSet()->ShowForm(this);
        if (OnShow) OnShow(this);
    } else {
        FVisible = false;
        if (HandleAllocated()) WidgetSet()->HideForm(this);
        if (OnHide) OnHide(this);
    }
}

int TCustomForm::ShowModal() {
    AfterConstruction();
    if (FVisible || FModal)
        throw EInvalidOperation(Format("窗口“%s”已经显示，不能再以模态方式显示。", {Caption()}));
    TWidgetSet* WS = Application->WidgetSet();
    if (!WS) throw EInvalidOperation(Format("没有可用的用户界面，不能显示窗口“%s”。", {Caption()}));
    FModalResult = mrNone;
    FModal = true;
    struct TModalEnd {
        TCustomForm* Form;
        ~TModalEnd() {
            Form->FModal = false;
            if (Form->FVisible) {
                Form->FVisible = false;
                if (Form->HandleAllocated()) Form->WidgetSet()->HideForm(Form);
            }
        }
    } End{this};
    SetVisible(true);
    if (!HandleAllocated()) throw EInvalidOperation(Format("用户界面不能显示窗口“%s”。", {Caption()}));
    WS->RunModal(this);
    return FModalResult;
}

void TCustomForm::SetModalResult(int Value) {
    FModalResult = Value;
    Changed(TPropertyId::ModalResult);
}

bool TCustomForm::HasPendingEdit() const {
    bool Found = false;
    ForEachControl(const_cast<TCustomForm*>(this), [&](TControl* C) {
        if (auto* W = dynamic_cast<TWinControl*>(C); W && !Found) Found = W->HasPendingEdit();
    });
    return Found;
}

void TCustomForm::CommitPendingEdit() {
    ForEachControl(this, [](TControl* C) {
        if (auto* W = dynamic_cast<TWinControl*>(C)) W->CommitPendingEdit();
    });
}

void CommitPendingEditOf(TComponent* Component) {
    TCustomForm* Form = nullptr;
    if (auto* C = dynamic_cast<TControl*>(Component)) Form = C->GetParentForm();
    for (TComponent* O = Component; O && !Form; O = O->Owner())
        Form = dynamic_cast<TCustomForm*>(O);
    if (Form) Form->CommitPendingEdit();
}

bool TCustomForm::CloseQuery() {
    // What the user typed last is part of what closing must not lose.
    CommitPendingEdit();
    bool CanClose = true;
    if (OnCloseQuery) OnCloseQuery(this, CanClose);
    return CanClose;
}

void TCustomForm::Close() {
    if (!CloseQuery()) return;
    TCloseAction Action = FModal ? TCloseAction::caHide : FCloseAction;
    if (OnClose) OnClose(this, Action);
    if (Action == TCloseAction::caNone) return;
    if (FModal) {
        if (FModalResult == mrNone) SetModalResult(mrCancel);
        return;
    }
    Hide();
    if (Action == TCloseAction::caFree) Release();
}

void TCustomForm::SetFocus() {
    if (HandleAllocated() && FVisible) WidgetSet()->SetFocus(this);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
    if (Control)
        Control->SetFocus();
    else
        FocusChanged(nullptr);
}

void TCustomForm::FocusChanged(TWinControl* Control) {
    if (Control == FActiveControl) return;
    // A control may refuse to lose the focus by raising from OnExit; it then keeps it.
    if (FActiveControl) FActiveControl->DoExit();
    FActiveControl = Control;
    if (Control) Control->DoEnter();
}

void TCustomForm::ControlDestroyed(TWinControl* Control) {
    if (FActiveControl == Control) FActiveControl = nullptr;
}

void TCustomForm::UserClose() {
    Application->HandleEvent([this] { Close(); });
}

void TCustomForm::UserDeactivate() {
    Application->HandleEvent([this] { CommitPendingEdit(); });
}

bool TCustomForm::UserShortCut(TShortCut Key) {
    bool Taken = false;
    Application->HandleEvent([&] {
        if (Key == VK_ESCAPE) {
            if (TBitBtn* B = FindCancelButton(this)) {
                Taken = true;
                B->Click();
                return;
            }
        }
        Taken = IsShortCut(Key);
    });
    return Taken;
}

bool TCustomForm::IsShortCut(TShortCut Key) {
    if (Key == scNone) return false;
    for (TControl* C = FActiveControl; C; C = C->Parent())
        if (TPopupMenu* M = C->PopupMenu(); M && M->IsShortCut(Key)) return true;
    if (TAction* A = ActionForShortCut(Key)) return A->Visible() && A->Execute();
    return false;
}

TAction* TCustomForm::ActionForShortCut(TShortCut Key) const {
    for (TActionList* L : FActionLists)
        if (TAction* A = L->FindShortCut(Key)) return A;
    return nullptr;
}

void TCustomForm::Notification(TComponent* AComponent) {
    TWinControl::Notification(AComponent);
    // Components of a form refer to one another (grid to data source, item to action):
    // each hears of the others' end.
    std::vector<TComponent*> Others = Components();
    for (TComponent* C : Others)
        if (C != AComponent) C->Notification(AComponent);
}

void TCustomForm::CreateDependentHandles() {
    // Actions, then menus, then controls: a control may show both.
    std::vector<TComponent*> Owned = Components();
    for (TComponent* C : Owned)
        if (auto* L = dynamic_cast<TActionList*>(C)) L->HandleNeeded();
    for (TComponent* C : Owned)
        if (auto* A = dynamic_cast<TBasicAction*>(C)) A->HandleNeeded();
    for (TComponent* C : Owned)
        if (auto* M = dynamic_cast<TPopupMenu*>(C)) M->HandleNeeded();
    TWinControl::CreateDependentHandles();
}

void TCustomForm::DestroyHandle() {
    std::vector<TComponent*> Owned = Components();
    for (auto It = Owned.rbegin(); It != Owned.rend(); ++It)
        if (auto* F = dynamic_cast<TCustomForm*>(*It)) F->DestroyHandle();
    for (auto It = Controls().rbegin(); It != Controls().rend(); ++It)
        (*It)->DestroyHandle();
    for (auto It = Owned.rbegin(); It != Owned.rend(); ++It)
        if (auto* M = dynamic_cast<TPopupMenu*>(*It)) M->DestroyHandle();
    for (auto It = Owned.rbegin(); It != Owned.rend(); ++It)
        if (dynamic_cast<TBasicAction*>(*It) || dynamic_cast<TActionList*>(*It))
            static_cast<TNativeComponent*>(*It)->DestroyHandle();
    DestroyOwnHandle();
}

// ---- TApplication --------------------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    FreeForms();
    FWidgetSet = nullptr;
}

void TApplication::SetWidgetSet(TWidgetSet* Value) {
    if (Value == FWidgetSet) return;
    std::vector<TCustomForm*> Windows = Forms();
    for (auto It = Windows.rbegin(); It != Windows.rend(); ++It)
        (*It)->DestroyHandle();
    FWidgetSet = Value;
    if (!Value) return;
    for (TCustomForm* F : Windows)
        if (F->Visible()) {
            F->HandleNeeded();
            if (F->HandleAllocated()) Value->ShowForm(F);
        }
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, int Flags) {
    if (FWidgetSet) return FWidgetSet->MessageBox(Text, Caption, Flags);
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    return MessageBoxDefaultButton(Flags);
}

void TApplication::HandleEvent(const std::function<void()>& Handler) {
    struct TDepth {
        int& Depth;
        explicit TDepth(int& D) : Depth(D) { ++Depth; }
        ~TDepth() { --Depth; }
    };
    {
        TDepth Guard(FEventDepth);
        try {
            Handler();
        } catch (const EAbort&) {
        } catch (const TUserException& E) {
            try {
                MessageBox(E.Message(), E.Title().empty() ? FTitle : E.Title(), MB_OK | MB_ICONWARNING);
            } catch (...) {
                std::fprintf(stderr, "%s\n", E.what());
            }
        } catch (const std::exception& E) {
            ShowException(E);
        } catch (...) {
            try {
                MessageBox("发生未知错误。", std::string(MSG_ERROR_TITLE), MB_OK | MB_ICONERROR);
            } catch (...) {
            }
        }
    }
    if (FEventDepth == 0) FreeReleasedForms();
}

void TApplication::ShowException(const std::exception& E) {
    try {
        MessageBox(E.what(), std::string(MSG_ERROR_TITLE), MB_OK | MB_ICONERROR);
    } catch (...) {
        std::fprintf(stderr, "%s\n", E.what());
    }
}

void TApplication::ProcessMessages() {
    if (FWidgetSet) FWidgetSet->ProcessMessages();
    if (FEventDepth == 0) FreeReleasedForms();
}

namespace {
int BusyDepth = 0;
}

TBusyScope::TBusyScope(TCustomForm* Form, const std::string& Caption, int Total) {
    if (BusyDepth++ == 0 && Application && Application->WidgetSet()) {
        FWidgetSet = Application->WidgetSet();
        FWidgetSet->BeginBusy(Form, Caption, Total);
    }
}

TBusyScope::~TBusyScope() {
    --BusyDepth;
    if (FWidgetSet) FWidgetSet->EndBusy();
}

void TBusyScope::Step() {
    ++FDone;
    if (FWidgetSet) FWidgetSet->BusyProgress(FDone);
}

std::vector<TCustomForm*> TApplication::Forms() const {
    std::vector<TCustomForm*> Result;
    for (TComponent* C : Components())
        if (auto* F = dynamic_cast<TCustomForm*>(C)) Result.push_back(F);
    return Result;
}

void TApplication::FreeForms() {
    for (;;) {
        std::vector<TCustomForm*> Windows = Forms();
        if (Windows.empty()) break;
        try {
            Windows.back()->Free();
        } catch (const std::exception& E) {
            ShowException(E);
        }
    }
    FReleased.clear();
}

void TApplication::QueueRelease(TCustomForm* Form) {
    FReleased.push_back(Form);
}

void TApplication::FormDestroyed(TCustomForm* Form) {
    FReleased.erase(std::remove(FReleased.begin(), FReleased.end(), Form), FReleased.end());
}

void TApplication::FreeReleasedForms() {
    while (!FReleased.empty()) {
        TCustomForm* F = FReleased.front();
        FReleased.erase(FReleased.begin());
        try {
            F->Free();
        } catch (const std::exception& E) {
            ShowException(E);
        }
    }
}

} // namespace orv
