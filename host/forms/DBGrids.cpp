#include "host/forms/DBGrids.h"

#include "host/forms/Forms.h"
#include "host/forms/Cformsres.h"

#include <algorithm>

namespace orv {

// ---- TColumn -------------------------------------------------------------------------------

int TColumn::Index() const {
    for (int I = 0; I < FGrid->ColumnCount(); ++I)
        if (FGrid->Column(I) == this) return I;
    return -1;
}

void TColumn::Changed() {
    FGrid->ColumnsChanged();
}

void TColumn::SetFieldName(const std::string& Value) {
    if (FFieldName == Value) return;
    FFieldName = Value;
    Changed();
}

TField* TColumn::Field() const {
    TDataSet* D = FGrid->GetActiveDataSet();
    return D && !FFieldName.empty() ? D->FindField(FFieldName) : nullptr;
}

void TColumn::SetWidth(int Value) {
    if (FWidth == Value) return;
    FWidth = Value;
    Changed();
}

void TColumn::SetButtonStyle(TColumnButtonStyle Value) {
    if (FButtonStyle == Value) return;
    FButtonStyle = Value;
    Changed();
}

void TColumn::SetReadOnly(bool Value) {
    if (FReadOnly == Value) return;
    FReadOnly = Value;
    Changed();
}

void TColumn::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    Changed();
}

std::string TColumn::TitleCaption() const {
    if (FTitleCaptionAssigned) return FTitleCaption;
    if (TField* F = Field()) return F->DisplayLabel();
    return FFieldName;
}

void TColumn::SetTitleCaption(const std::string& Value) {
    FTitleCaption = Value;
    FTitleCaptionAssigned = true;
    Changed();
}

const TFont& TColumn::TitleFont() const {
    return FTitleFontAssigned ? FTitleFont : FGrid->TitleFont();
}

void TColumn::SetTitleFont(const TFont& Value) {
    FTitleFont = Value;
    FTitleFontAssigned = true;
    Changed();
}

std::vector<std::string> TColumn::PickList() const {
    std::vector<std::string> Result;
    for (TPickItem& Item : PickItems())
        Result.push_back(std::move(Item.Text));
    return Result;
}

std::vector<TColumn::TPickItem> TColumn::PickItems() const {
    std::vector<TPickItem> Items;
    TField* F = Field();
    if (!F || !F->Lookup()) return Items;
    TDataSet* L = F->LookupDataSet();
    if (!L || !L->Active()) return Items;
    TField* R = L->FindField(F->LookupResultField());
    if (!R) return Items;
    // The codes: the lookup row's text fields other than its keys and the value shown.
    std::vector<TField*> Keys = L->GetFieldList(F->LookupKeyFields());
    std::vector<TField*> Codes;
    for (TField* C : L->FieldList())
        if (C != R && C->DataType() == TFieldType::ftString && std::find(Keys.begin(), Keys.end(), C) == Keys.end())
            Codes.push_back(C);
    const int N = L->DisplayRowCount();
    Items.reserve(static_cast<std::size_t>(N));
    for (int I = 0; I < N; ++I) {
        TPickItem Item{L->DisplayRowValue(I, R).AsString(), {}};
        for (TField* C : Codes) {
            const std::string Code = L->DisplayRowValue(I, C).AsString();
            if (Code.empty()) continue;
            if (!Item.Code.empty()) Item.Code += ' ';
            Item.Code += Code;
        }
        Items.push_back(std::move(Item));
    }
    return Items;
}

// ---- TOrvDBGrid ----------------------------------------------------------------------------

TOrvDBGrid::TOrvDBGrid(TComponent* AOwner) : TWinControl(AOwner) {}

TOrvDBGrid::~TOrvDBGrid() {
    // While the grid is still whole: a backend keeps the user's layout as it lets go.
    DestroyHandle();
    TDataLink::SetDataSource(nullptr);
}

void TOrvDBGrid::SetDataSource(TDataSource* Value) {
    if (Value == DataSource()) return;
    TDataLink::SetDataSource(Value);
    Changed(TPropertyId::DataSource);
}

TColumn* TOrvDBGrid::AddColumn(const std::string& FieldName) {
    FColumns.push_back(std::make_unique<TColumn>(this));
    TColumn* C = FColumns.back().get();
    C->SetFieldName(FieldName);
    if (FSelectedIndex < 0) FSelectedIndex = 0;
    ColumnsChanged();
    return C;
}

void TOrvDBGrid::MoveColumn(int From, int To) {
    if (From < 0 || From >= ColumnCount() || To < 0 || To >= ColumnCount())
        throw EInvalidOperation(Format("表格“%s”没有这一列。", {Name()}));
    if (From == To) return;
    TColumn* Selected = SelectedColumn();
    PlaceColumn(From, To);
    FSelectedIndex = Selected ? Selected->Index() : -1;
    ColumnsChanged();
}

void TOrvDBGrid::PlaceColumn(int From, int To) {
    auto Moved = std::move(FColumns[static_cast<std::size_t>(From)]);
    FColumns.erase(FColumns.begin() + From);
    FColumns.insert(FColumns.begin() + To, std::move(Moved));
}

TColumn* TOrvDBGrid::FindColumn(const TField* Field) const {
    if (!Field) return nullptr;
    for (const auto& C : FColumns)
        if (C->Field() == Field) return C.get();
    return nullptr;
}

void TOrvDBGrid::SetSelectedIndex(int Value) {
    if (FColumns.empty())
        Value = -1;
    else
        Value = std::clamp(Value, 0, ColumnCount() - 1);
    if (Value == FSelectedIndex) return;
    FSelectedIndex = Value;
    Changed(TPropertyId::SelectedField);
}

TColumn* TOrvDBGrid::SelectedColumn() const {
    return FSelectedIndex >= 0 ? Column(FSelectedIndex) : nullptr;
}

TField* TOrvDBGrid::SelectedField() const {
    TColumn* C = SelectedColumn();
    return C ? C->Field() : nullptr;
}

void TOrvDBGrid::SetLayoutID(const std::string& Value) {
    if (FLayoutID == Value) return;
    FLayoutID = Value;
    Changed(TPropertyId::LayoutID);
}

void TOrvDBGrid::ApplyLayout(const TGridLayout& Layout) {
    FLayoutTouched = true;
    TColumn* Selected = SelectedColumn();
    for (const auto& C : FColumns)
        if (auto W = Layout.Widths.find(C->FieldName()); W != Layout.Widths.end() && W->second > 0)
            C->FWidth = W->second;
    int Place = 0;
    for (const std::string& Field : Layout.Order) {
        int Found = -1;
        for (int I = Place; I < ColumnCount() && Found < 0; ++I)
            if (Column(I)->FieldName() == Field) Found = I;
        if (Found < 0) continue;
        PlaceColumn(Found, Place++);
    }
    // One notification for the whole layout; the selected column stays selected.
    if (Selected) FSelectedIndex = Selected->Index();
    ColumnsChanged();
}

TGridLayout TOrvDBGrid::CurrentLayout() const {
    TGridLayout Layout;
    for (const auto& C : FColumns) {
        Layout.Order.push_back(C->FieldName());
        if (C->Visible() && C->Width() > 0) Layout.Widths[C->FieldName()] = C->Width();
    }
    return Layout;
}

void TOrvDBGrid::SetTitleFont(const TFont& Value) {
    if (FTitleFont == Value) return;
    FTitleFont = Value;
    Changed(TPropertyId::Font);
}

void TOrvDBGrid::SetReadOnly(bool Value) {
    if (FReadOnly == Value) return;
    FReadOnly = Value;
    Changed(TPropertyId::ReadOnly);
}

int TOrvDBGrid::RowCount() const {
    TDataSet* D = GetActiveDataSet();
    return D && D->Active() ? D->DisplayRowCount() : 0;
}

int TOrvDBGrid::CurrentRow() const {
    TDataSet* D = GetActiveDataSet();
    return D && D->Active() ? D->CurrentDisplayRow() : -1;
}

std::string TOrvDBGrid::CellText(int Row, int Col) const {
    TDataSet* D = GetActiveDataSet();
    TField* F = Column(Col)->Field();
    if (!D || !D->Active() || !F) return {};
    return D->DisplayRowText(Row, F);
}

std::string TOrvDBGrid::CellEditText(int Row, int Col) const {
    TDataSet* D = GetActiveDataSet();
    TField* F = Col >= 0 && Col < ColumnCount() ? Column(Col)->Field() : nullptr;
    if (!D || !D->Active() || !F || Row < 0 || Row >= D->DisplayRowCount()) return {};
    return F->TextOf(D->DisplayRowValue(Row, F), false);
}

bool TOrvDBGrid::CanEditColumn(int Col) const {
    if (FReadOnly || Col < 0 || Col >= ColumnCount()) return false;
    TColumn* C = Column(Col);
    TField* F = C->Field();
    TDataSet* D = GetActiveDataSet();
    if (!C->Visible() || C->ReadOnly() || !F || !D || !D->Active()) return false;
    if (F->Lookup()) {
        for (TField* K : D->GetFieldList(F->KeyFields()))
            if (K->ReadOnly()) return false;
    } else if (F->ReadOnly() || F->FieldKind() != TFieldKind::fkData) {
        return false;
    }
    switch (D->State()) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
        return true;
    default:
        return D->IsEmpty() ? D->CanInsert() : D->CanEdit();
    }
}

bool TOrvDBGrid::UserKey(TShortCut Key) {
    bool Taken = false;
    UserInput([&] { Taken = GridKey(Key); });
    return Taken;
}

bool TOrvDBGrid::GridKey(TShortCut Key) {
    TDataSet* D = GetActiveDataSet();
    if (!D || !D->Active()) return false;
    const bool Editing = D->State() == TDataSetState::dsEdit || D->State() == TDataSetState::dsInsert;
    if (Key == VK_DOWN) {
        if (D->CurrentDisplayRow() != D->DisplayRowCount() - 1 && !D->IsEmpty()) return false;
        if (D->State() == TDataSetState::dsInsert && !D->Modified()) return true;
        if (FReadOnly || !D->CanInsert()) return false;
        CommitPendingEdit();
        D->Append();
        return true;
    }
    if (Key == VK_ESCAPE && !FEditor.Open && Editing) {
        D->Cancel();
        return true;
    }
    return false;
}

std::string TOrvDBGrid::CannotEditReason(int Col) const {
    if (CanEditColumn(Col)) return {};
    TDataSet* D = GetActiveDataSet();
    const bool RowRight = D && D->Active() && (D->IsEmpty() ? D->CanInsert() : D->CanEdit());
    if (FReadOnly || (D && D->ReadOnly()) || (D && D->Active() && !RowRight))
        return std::string(MSG_GRID_READ_ONLY);
    TColumn* C = Col >= 0 && Col < ColumnCount() ? Column(Col) : nullptr;
    return Format(std::string(MSG_COLUMN_READ_ONLY), {C ? C->TitleCaption() : std::string()});
}

void TOrvDBGrid::UserTypedIntoReadOnlyCell(int Col) {
    UserInput([&] {
        const std::string Reason = CannotEditReason(Col);
        if (TCustomForm* F = GetParentForm(); F && !Reason.empty()) F->ShowStatusHint(Reason);
    });
}

bool TOrvDBGrid::UserSelectCell(int Row, int Col) {
    bool Current = false;
    // Read within the event: a window closed meanwhile is freed once the event ends.
    UserInput([&] {
        Current = SelectCell(Row, Col);
    });
    return Current;
}

bool TOrvDBGrid::UserEditCell(int Row, int Col, const std::string& Text) {
    bool Taken = false;
    UserInput([&] {
        // Settling the row that was current may have moved this one (a new row that went
        // away); the text was meant for the row the user saw, so it is not applied.
        if (!SelectCell(Row, Col)) return;
        EditSelectedCell(Text);
        Taken = true;
    });
    return Taken;
}

void TOrvDBGrid::UserClickEllipsis(int Row, int Col) {
    UserInput([&] {
        if (!SelectCell(Row, Col)) return;
        if (OnEditButtonClick) OnEditButtonClick(this);
    });
}

void TOrvDBGrid::UserMoveColumn(int From, int To) {
    UserInput([&] {
        MoveColumn(From, To);
        FLayoutTouched = true;
    });
}

void TOrvDBGrid::UserResizeColumn(int Col, int Width) {
    UserInput([&] {
        if (Col < 0 || Col >= ColumnCount() || Width <= 0) return;
        Column(Col)->SetWidth(Width);
        FLayoutTouched = true;
    });
}

bool TOrvDBGrid::SelectCell(int Row, int Col) {
    if (FEditor.Open && (Row != FEditor.Row || Col != FEditor.Col)) CommitPendingEdit();
    MoveToCell(Row, Col);
    return CurrentRow() == Row && SelectedIndex() == Col;
}

void TOrvDBGrid::MoveToCell(int Row, int Col) {
    TDataSet* D = GetActiveDataSet();
    if (D && D->Active() && Row != D->CurrentDisplayRow()) {
        int Count = D->DisplayRowCount();
        if (Row < 0 || Row >= Count)
            throw EInvalidOperation(Format("表格“%s”没有第%s行。", {Name(), std::to_string(Row + 1)}));
        int Inserting = D->State() == TDataSetState::dsInsert ? D->CurrentDisplayRow() : -1;
        // Leaving a row settles it: a modified row is posted (its checks may refuse), an
        // untouched new row disappears and the rows after it move up.
        D->CheckBrowseMode();
        if (Inserting >= 0 && D->DisplayRowCount() < Count && Row > Inserting) --Row;
        if (D->RecordCount() > 0) D->SetRecNo(std::min(Row, D->RecordCount() - 1) + 1);
    }
    SetSelectedIndex(Col);
}

void TOrvDBGrid::EditSelectedCell(const std::string& Text) {
    try {
        EditCell(Text);
    } catch (const std::exception& E) {
        RethrowAsWindowMessage(E);
    }
}

void TOrvDBGrid::RethrowAsWindowMessage(const std::exception& E) const {
    // A refused value is the window's message, like every other one it shows; EAbort stays
    // silent and a TUserException keeps its own title.
    if (dynamic_cast<const TUserException*>(&E) || dynamic_cast<const EAbort*>(&E)) throw;
    TCustomForm* F = GetParentForm();
    throw TUserException(E.what(), F ? F->Caption() : std::string());
}

void TOrvDBGrid::EditCell(const std::string& Text) {
    TColumn* C = SelectedColumn();
    if (!C) throw EInvalidOperation(Format("表格“%s”没有可编辑的列。", {Name()}));
    TField* F = C->Field();
    if (!F) throw EDatabaseError(Format("找不到字段“%s”。", {C->FieldName()}));
    if (FReadOnly || C->ReadOnly() || (!F->Lookup() && F->ReadOnly()))
        throw EDatabaseError(Format("“%s”是只读的。", {C->TitleCaption()}));
    F->DataSet()->Edit();
    // A lookup field turns a shown value into its key fields' values itself.
    F->SetText(Text);
}

void TOrvDBGrid::UserOpenEditor(int Row, int Col) {
    Application->HandleEvent([&] { OpenEditor(Row, Col); });
}

void TOrvDBGrid::OpenEditor(int Row, int Col) {
    if (FEditor.Open && (Row != FEditor.Row || Col != FEditor.Col)) CommitPendingEdit();
    const bool WasModified = FEditor.Modified();
    FEditor.Open = true;
    FEditor.Row = Row;
    FEditor.Col = Col;
    FEditor.Original = FEditor.Text = CellEditText(Row, Col);
    EditorChanged(WasModified);
}

void TOrvDBGrid::UserEditorText(const std::string& Text) {
    Application->HandleEvent([&] {
        if (!FEditor.Open) OpenEditor(CurrentRow(), SelectedIndex());
        const bool WasModified = FEditor.Modified();
        FEditor.Text = Text;
        EditorChanged(WasModified);
    });
}

void TOrvDBGrid::UserCancelEditor() {
    Application->HandleEvent([&] {
        const bool WasModified = FEditor.Modified();
        FEditor = TEditor();
        EditorChanged(WasModified);
    });
}

bool TOrvDBGrid::UserCommitEditor() {
    bool Taken = false;
    // A window closed meanwhile is freed once the event ends: nothing of the grid after.
    Application->HandleEvent([&] {
        CommitPendingEdit();
        Taken = true;
    });
    return Taken;
}

bool TOrvDBGrid::HasPendingEdit() const {
    return FEditor.Modified();
}

void TOrvDBGrid::CommitPendingEdit() {
    if (!FEditor.Modified()) return;
    const TEditor Pending = FEditor;
    try {
        // The text belongs to the cell the user typed it into.
        if (CurrentRow() != Pending.Row || SelectedIndex() != Pending.Col)
            MoveToCell(Pending.Row, Pending.Col);
        // Settling the row that was current took the edited one away (an untouched new
        // row); there is no cell left for the text.
        if (CurrentRow() == Pending.Row && SelectedIndex() == Pending.Col) EditSelectedCell(Pending.Text);
    } catch (const std::exception& E) {
        FEditor = Pending;
        Notify(TGridChange::EditorRefused, Pending.Row, Pending.Row);
        RethrowAsWindowMessage(E);
    }
    FEditor = TEditor();
    Notify(TGridChange::EditorClosed, Pending.Row, Pending.Row);
    EditorChanged(true);
}

void TOrvDBGrid::EditorChanged(bool WasModified) {
    if (WasModified == FEditor.Modified()) return;
    if (TCustomForm* F = GetParentForm()) F->PendingEditChanged();
}

void TOrvDBGrid::DoExit() {
    CommitPendingEdit();
    TWinControl::DoExit();
}

void TOrvDBGrid::Notification(TComponent* AComponent) {
    TWinControl::Notification(AComponent);
    if (DataSource() && AComponent == DataSource()) TDataLink::SetDataSource(nullptr);
}

void TOrvDBGrid::ColumnsChanged() {
    Changed(TPropertyId::Columns);
}

void TOrvDBGrid::Notify(TGridChange Change, int First, int Last) {
    if (HandleAllocated()) WidgetSet()->GridChanged(this, Change, First, Last);
}

void TOrvDBGrid::ActiveChanged() {
    Notify(TGridChange::Reset);
}
void TOrvDBGrid::LayoutChanged() {
    Notify(TGridChange::Reset);
}
void TOrvDBGrid::DataSetChanged() {
    Notify(TGridChange::Reset);
}
void TOrvDBGrid::DataSetScrolled() {
    Notify(TGridChange::CurrentChanged, CurrentRow(), CurrentRow());
}
void TOrvDBGrid::EditingChanged() {
    Notify(TGridChange::EditingChanged, CurrentRow(), CurrentRow());
}
void TOrvDBGrid::RowsAboutToBeInserted(int First, int Last) {
    Notify(TGridChange::RowsAboutToBeInserted, First, Last);
}
void TOrvDBGrid::RowsInserted(int First, int Last) {
    Notify(TGridChange::RowsInserted, First, Last);
}
void TOrvDBGrid::RowsAboutToBeRemoved(int First, int Last) {
    Notify(TGridChange::RowsAboutToBeRemoved, First, Last);
}
void TOrvDBGrid::RowsRemoved(int First, int Last) {
    Notify(TGridChange::RowsRemoved, First, Last);
}
void TOrvDBGrid::RowChanged(int Row) {
    Notify(TGridChange::RowChanged, Row, Row);
}

void TOrvDBGrid::FocusControl(TField* Field, bool& Handled) {
    TColumn* C = FindColumn(Field);
    if (!C) return;
    SetSelectedIndex(C->Index());
    if (CanFocus()) SetFocus();
    Handled = true;
}

} // namespace orv
