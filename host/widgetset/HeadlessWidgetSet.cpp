#include "host/widgetset/HeadlessWidgetSet.h"

#include "host/forms/ComCtrls.h"
#include "host/forms/DBGrids.h"
#include "host/forms/Menus.h"
#include "host/forms/StdCtrls.h"

namespace orv {

THeadlessWidgetSet::~THeadlessWidgetSet() {
    Uninstall();
}

void THeadlessWidgetSet::Install() {
    Application->SetWidgetSet(this);
    FInstalled = true;
}

void THeadlessWidgetSet::Uninstall() {
    if (FInstalled && Application->WidgetSet() == this) Application->SetWidgetSet(nullptr);
    FInstalled = false;
}

void THeadlessWidgetSet::QueueAnswer(int Button) {
    FAnswers.push_back(Button);
}

void THeadlessWidgetSet::QueueModal(TModalScript Script) {
    FModals.push_back(std::move(Script));
}

void THeadlessWidgetSet::QueueSaveFile(std::optional<std::string> Path) {
    FSaveFiles.push_back(std::move(Path));
}

void THeadlessWidgetSet::ClearRecords() {
    FMessages.clear();
    FSaveFileRequests.clear();
    FFailures.clear();
    FFocus.clear();
    FShown.clear();
    FGridChanges.clear();
    FBusy.clear();
    FChanges.clear();
}

bool THeadlessWidgetSet::HasHandle(const TNativeComponent* C) const {
    return C->HandleAllocated() && C->WidgetSet() == this && FHandles.count(C->Handle()) != 0;
}

int THeadlessWidgetSet::ChangeCount(const TNativeComponent* C, TPropertyId Property) const {
    auto It = FChanges.find({C, Property});
    return It == FChanges.end() ? 0 : It->second;
}

// ---- the user ------------------------------------------------------------------------------

bool THeadlessWidgetSet::UserClick(TControl* Control) {
    return Control->UserClick();
}

bool THeadlessWidgetSet::UserExecute(TAction* Action) {
    return Action->UserExecute();
}

bool THeadlessWidgetSet::UserChooseMenuItem(TMenuItem* Item) {
    // The menu opens first, so that its commands bring their state up to date.
    if (TPopupMenu* M = Item->Menu()) M->UserPopup();
    return Item->UserClick();
}

bool THeadlessWidgetSet::UserShortCut(TCustomForm* Form, TShortCut Key) {
    return Form->UserShortCut(Key);
}

void THeadlessWidgetSet::UserFocus(TWinControl* Control) {
    Control->UserFocus();
}

void THeadlessWidgetSet::UserLeave(TWinControl* Control) {
    Application->HandleEvent([&] {
        TCustomForm* F = Control->GetParentForm();
        if (F && F->ActiveControl() == Control) F->SetActiveControl(nullptr);
    });
}

bool THeadlessWidgetSet::FocusGrid(TOrvDBGrid* Grid) {
    // A click into a grid focuses it first; the control that had the focus may refuse.
    if (!Grid->Focused()) Grid->UserFocus();
    return Grid->Focused();
}

void THeadlessWidgetSet::UserSelectCell(TOrvDBGrid* Grid, int Row, int Col) {
    if (FocusGrid(Grid)) Grid->UserSelectCell(Row, Col);
}

void THeadlessWidgetSet::UserSelectColumn(TOrvDBGrid* Grid, const std::string& FieldName) {
    for (int I = 0; I < Grid->ColumnCount(); ++I)
        if (Grid->Column(I)->FieldName() == FieldName) {
            if (FocusGrid(Grid)) Grid->UserSelectCell(Grid->CurrentRow(), I);
            return;
        }
    Application->HandleEvent(
        [&] { throw EInvalidOperation("表格“" + Grid->Name() + "”没有“" + FieldName + "”列。"); });
}

void THeadlessWidgetSet::UserTypeIntoCell(TOrvDBGrid* Grid, const std::string& Text) {
    Grid->UserEditCell(Grid->CurrentRow(), Grid->SelectedIndex(), Text);
}

void THeadlessWidgetSet::UserTypeWithoutEnter(TOrvDBGrid* Grid, const std::string& Text) {
    // The grid opens the editor on the selected cell when none is open.
    Grid->UserEditorText(Text);
}

void THeadlessWidgetSet::UserPressEnterInEditor(TOrvDBGrid* Grid) {
    Grid->UserCommitEditor();
}

void THeadlessWidgetSet::UserPressEscapeInEditor(TOrvDBGrid* Grid) {
    Grid->UserCancelEditor();
}

void THeadlessWidgetSet::UserSwitchAway(TCustomForm* Form) {
    Form->UserDeactivate();
}

void THeadlessWidgetSet::UserClickEllipsis(TOrvDBGrid* Grid) {
    Grid->UserClickEllipsis(Grid->CurrentRow(), Grid->SelectedIndex());
}

void THeadlessWidgetSet::UserTypeText(TOrvMeEdit* Edit, const std::string& Text) {
    Edit->UserSetText(Text);
}

void THeadlessWidgetSet::UserPickDate(TDateTimePicker* Picker, TDateTime Date) {
    Picker->UserSetDate(Date);
}

void THeadlessWidgetSet::UserResizeWindow(TCustomForm* Form, int ClientWidth, int ClientHeight) {
    Form->UserResize(ClientWidth, ClientHeight);
}

void THeadlessWidgetSet::UserCloseWindow(TCustomForm* Form) {
    Form->UserClose();
}

// ---- TWidgetSet ----------------------------------------------------------------------------

THandle THeadlessWidgetSet::CreateHandle(TNativeComponent* Component) {
    THandle H = ++FNextHandle;
    FHandles[H] = Component;
    return H;
}

void THeadlessWidgetSet::DestroyHandle(TNativeComponent* Component, THandle Handle) {
    auto It = FHandles.find(Handle);
    if (It == FHandles.end() || It->second != Component) {
        FFailures.push_back("destroyed an unknown handle");
        return;
    }
    FHandles.erase(It);
    for (auto C = FChanges.begin(); C != FChanges.end();)
        C = C->first.first == Component ? FChanges.erase(C) : std::next(C);
}

void THeadlessWidgetSet::PropertyChanged(TNativeComponent* Component, TPropertyId Property) {
    if (!HasHandle(Component))
        FFailures.push_back("property change of a component without a handle: " + Component->Name());
    ++FChanges[{Component, Property}];
}

void THeadlessWidgetSet::ShowForm(TCustomForm* Form) {
    FShown.push_back(Form->Name());
    // A window opens at its own size, and keeps the one the user gave it.
    if (!Form->Placed()) {
        const TSize S = Form->OpeningSize();
        Form->UserResize(S.Width, S.Height);
    }
}

void THeadlessWidgetSet::HideForm(TCustomForm*) {}

void THeadlessWidgetSet::RunModal(TCustomForm* Form) {
    if (FModals.empty()) {
        FFailures.push_back("unexpected modal window: " + Form->Caption());
        Form->SetModalResult(mrCancel);
        return;
    }
    TModalScript Script = std::move(FModals.front());
    FModals.pop_front();
    Script(*Form);
    if (Form->ModalResult() == mrNone) {
        FFailures.push_back("modal window left open by its script: " + Form->Caption());
        Form->SetModalResult(mrCancel);
    }
}

int THeadlessWidgetSet::MessageBox(const std::string& Text, const std::string& Caption, int Flags) {
    TMessageRecord R{Text, Caption, Flags, IDOK};
    if (MessageBoxButtons(Flags).size() > 1) {
        if (FAnswers.empty()) {
            FFailures.push_back("unexpected question: " + Text);
            R.Answer = MessageBoxDefaultButton(Flags);
        } else {
            R.Answer = FAnswers.front();
            FAnswers.pop_front();
        }
    }
    FMessages.push_back(R);
    return R.Answer;
}

std::optional<std::string> THeadlessWidgetSet::ChooseSaveFile(TCustomForm* Form, const std::string& Title,
                                                              const std::string& SuggestedName,
                                                              const std::vector<TFileFilter>& Filters) {
    TSaveFileRecord R{Form ? Form->Name() : std::string(), Title, SuggestedName, Filters, std::nullopt};
    if (FSaveFiles.empty()) {
        FFailures.push_back("unexpected save dialog: " + Title);
    } else {
        R.Answer = std::move(FSaveFiles.front());
        FSaveFiles.pop_front();
    }
    FSaveFileRequests.push_back(R);
    return R.Answer;
}

void THeadlessWidgetSet::SetFocus(TWinControl* Control) {
    FFocus.push_back({Control, Control->Name()});
}

void THeadlessWidgetSet::Popup(TPopupMenu*, int, int) {}

void THeadlessWidgetSet::GridChanged(TOrvDBGrid*, TGridChange Change, int, int) {
    FGridChanges.push_back(Change);
}

void THeadlessWidgetSet::BeginBusy(TCustomForm* Form, const std::string& Caption, int Total) {
    if (!FBusy.empty() && !FBusy.back().Ended) FFailures.push_back("a busy period began inside another");
    FBusy.push_back({Form ? Form->Name() : std::string(), Caption, Total, 0, false});
}

void THeadlessWidgetSet::BusyProgress(int Done) {
    if (FBusy.empty() || FBusy.back().Ended) {
        FFailures.push_back("progress outside a busy period");
        return;
    }
    FBusy.back().LastDone = Done;
}

void THeadlessWidgetSet::EndBusy() {
    if (FBusy.empty() || FBusy.back().Ended)
        FFailures.push_back("a busy period ended twice");
    else
        FBusy.back().Ended = true;
}

} // namespace orv
