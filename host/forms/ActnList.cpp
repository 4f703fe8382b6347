#include "host/forms/ActnList.h"

#include "host/forms/Forms.h"

#include <algorithm>

namespace orv {

std::string CommandTip(const std::string& Caption, const std::string& Hint, TShortCut Key) {
    std::string Tip = Hint;
    if (Tip.empty()) {
        // "新增明细(&A)": the bracketed accelerator goes whole, any other mark alone.
        for (std::size_t I = 0; I < Caption.size(); ++I) {
            if (Caption[I] != '&') {
                Tip += Caption[I];
            } else if (I + 1 < Caption.size() && Caption[I + 1] == '&') {
                Tip += '&';
                ++I;
            } else if (!Tip.empty() && Tip.back() == '(' && I + 2 < Caption.size() && Caption[I + 2] == ')') {
                Tip.pop_back();
                I += 2;
            }
        }
    }
    if (const std::string Key_ = ShortCutToText(Key); !Key_.empty()) Tip += " (" + Key_ + ")";
    return Tip;
}

std::string ShortCutToText(TShortCut Key) {
    std::uint16_t Code = Key & 0xFF;
    if (Code == 0) return {};
    std::string Name;
    switch (Code) {
    case VK_BACK:
        Name = "BkSp";
        break;
    case VK_TAB:
        Name = "Tab";
        break;
    case VK_RETURN:
        Name = "Enter";
        break;
    case VK_ESCAPE:
        Name = "Esc";
        break;
    case VK_SPACE:
        Name = "Space";
        break;
    case VK_PRIOR:
        Name = "PgUp";
        break;
    case VK_NEXT:
        Name = "PgDn";
        break;
    case VK_END:
        Name = "End";
        break;
    case VK_HOME:
        Name = "Home";
        break;
    case VK_LEFT:
        Name = "Left";
        break;
    case VK_UP:
        Name = "Up";
        break;
    case VK_RIGHT:
        Name = "Right";
        break;
    case VK_DOWN:
        Name = "Down";
        break;
    case VK_INSERT:
        Name = "Ins";
        break;
    case VK_DELETE:
        Name = "Del";
        break;
    default:
        if (Code >= VK_F1 && Code <= VK_F1 + 11)
            Name = "F" + std::to_string(Code - VK_F1 + 1);
        else if ((Code >= '0' && Code <= '9') || (Code >= 'A' && Code <= 'Z'))
            Name = std::string(1, static_cast<char>(Code));
        else
            Name = "#" + std::to_string(Code);
    }
    std::string Text;
    if (Key & scShift) Text += "Shift+";
    if (Key & scCtrl) Text += "Ctrl+";
    if (Key & scAlt) Text += "Alt+";
    return Text + Name;
}

// ---- TBasicAction --------------------------------------------------------------------------

TBasicAction::TBasicAction(TComponent* AOwner) : TNativeComponent(AOwner) {}

TBasicAction::~TBasicAction() {
    std::vector<TActionClient*> Clients = std::move(FClients);
    for (TActionClient* C : Clients)
        C->ActionFreed();
}

bool TBasicAction::Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

void TBasicAction::RegisterClient(TActionClient* Client) {
    if (std::find(FClients.begin(), FClients.end(), Client) == FClients.end()) FClients.push_back(Client);
}

void TBasicAction::UnregisterClient(TActionClient* Client) {
    FClients.erase(std::remove(FClients.begin(), FClients.end(), Client), FClients.end());
}

bool RelinkAction(TActionClient* Client, TAction*& Slot, TAction* Value, bool ClientHasHandle) {
    if (Slot == Value) return false;
    if (Slot) Slot->UnregisterClient(Client);
    Slot = Value;
    if (Slot) {
        Slot->RegisterClient(Client);
        if (ClientHasHandle) Slot->HandleNeeded();
    }
    return true;
}

void TBasicAction::NotifyClients(TPropertyId Property) {
    std::vector<TActionClient*> Clients = FClients;
    for (TActionClient* C : Clients)
        C->ActionChanged(Property);
}

// ---- TAction -------------------------------------------------------------------------------

TAction::TAction(TComponent* AOwner) : TBasicAction(AOwner) {}

TAction::~TAction() {
    SetActionList(nullptr);
}

void TAction::Set(TPropertyId Property) {
    Changed(Property);
    NotifyClients(Property);
}

void TAction::SetCaption(const std::string& Value) {
    if (FCaption == Value) return;
    FCaption = Value;
    Set(TPropertyId::Caption);
}

void TAction::SetHint(const std::string& Value) {
    if (FHint == Value) return;
    FHint = Value;
    Set(TPropertyId::Hint);
}

void TAction::SetShortCut(TShortCut Value) {
    if (FShortCut == Value) return;
    FShortCut = Value;
    Set(TPropertyId::ShortCut);
}

void TAction::SetEnabled(bool Value) {
    if (FEnabled == Value) return;
    FEnabled = Value;
    Set(TPropertyId::Enabled);
}

void TAction::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    Set(TPropertyId::Visible);
}

void TAction::SetActionList(TActionList* Value) {
    if (FActionList == Value) return;
    if (FActionList) {
        auto& L = FActionList->FActions;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    }
    FActionList = Value;
    if (Value) {
        Value->FActions.push_back(this);
        if (Value->HandleAllocated()) HandleNeeded();
    }
}

bool TAction::Execute() {
    if (!FEnabled) return false;
    CommitPendingEditOf(FActionList ? static_cast<TComponent*>(FActionList) : this);
    return TBasicAction::Execute();
}

bool TAction::UserExecute() {
    bool Done = false;
    Application->HandleEvent([&] { Done = FVisible && Execute(); });
    return Done;
}

// ---- TActionList ---------------------------------------------------------------------------

TActionList::TActionList(TComponent* AOwner) : TNativeComponent(AOwner) {
    // The form's shortcuts reach the lists it owns.
    FForm = dynamic_cast<TCustomForm*>(AOwner);
    if (FForm) FForm->FActionLists.push_back(this);
}

TActionList::~TActionList() {
    for (TAction* A : FActions)
        A->FActionList = nullptr;
    FActions.clear();
    if (FForm) {
        auto& L = FForm->FActionLists;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    }
}

TAction* TActionList::FindShortCut(TShortCut Key) const {
    if (Key == scNone) return nullptr;
    // The action added last takes a key first: a window's own action over the one its
    // framework gave every window.
    for (auto It = FActions.rbegin(); It != FActions.rend(); ++It)
        if ((*It)->ShortCut() == Key) return *It;
    return nullptr;
}

bool TActionList::IsShortCut(TShortCut Key) {
    TAction* A = FindShortCut(Key);
    return A && A->Visible() && A->Execute();
}

void TActionList::CreateDependentHandles() {
    std::vector<TAction*> Actions = FActions;
    for (TAction* A : Actions)
        A->HandleNeeded();
}

} // namespace orv
