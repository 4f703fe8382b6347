#include "host/forms/BrowseFrm.h"

#include "host/forms/GridExport.h"
#include "host/forms/Cformsres.h"

namespace orv {

void TOrvConditionTree::Add(const std::string& FieldName, const std::string& Operator, const Variant& Value) {
    FConditions.push_back({FieldName, Operator, Value});
}

// Keeps Status in step with cdsMain, whoever changes it (grid, commands, window code).
class TBrowseForm::TStatusLink : public TDataLink {
public:
    explicit TStatusLink(TBrowseForm& Form) : FForm(Form) {}

protected:
    void ActiveChanged() override { FForm.UpdateStatus(); }
    void DataSetChanged() override { FForm.UpdateStatus(); }
    void RecordChanged(TField*) override { FForm.UpdateStatus(); }
    void EditingChanged() override { FForm.UpdateStatus(); }
    void RowsInserted(int, int) override { FForm.UpdateStatus(); }
    void RowsRemoved(int, int) override { FForm.UpdateStatus(); }

private:
    TBrowseForm& FForm;
};

namespace {

TToolButton* MakeButton(TBrowseForm* Form, TToolBar* Bar, const char* Name, std::string_view Caption,
                        TAction* Action = nullptr) {
    auto* B = new TToolButton(Form);
    B->SetName(Name);
    B->SetCaption(std::string(Caption));
    B->SetAction(Action);
    B->SetParent(Bar);
    return B;
}

TToolButton* MakeSeparator(TBrowseForm* Form, TToolBar* Bar, const char* Name) {
    auto* B = new TToolButton(Form);
    B->SetName(Name);
    B->SetStyle(TToolButtonStyle::tbsSeparator);
    B->SetParent(Bar);
    return B;
}

TAction* MakeAction(TBrowseForm* Form, TActionList* List, const char* Name, std::string_view Caption,
                    TShortCut Key, std::function<void()> Run) {
    auto* A = new TAction(Form);
    A->SetName(Name);
    A->SetCaption(std::string(Caption));
    A->SetHint(std::string(Caption));
    A->SetShortCut(Key);
    A->SetActionList(List);
    A->OnExecute = [Run = std::move(Run)](TComponent*) { Run(); };
    return A;
}

bool Editing(const TDataSet* D) {
    return D->State() == TDataSetState::dsEdit || D->State() == TDataSetState::dsInsert;
}

} // namespace

TBrowseForm::TBrowseForm(TComponent* AOwner) : TFuncForm(AOwner) {
    SetDefaultCloseAction(TCloseAction::caFree);
    SetBounds(0, 0, 640, 480);

    cdsMain = new TOrvClientDataSet(this);
    cdsMain->SetName("cdsMain");
    dtsMain = new TDataSource(this);
    dtsMain->SetName("dtsMain");
    dtsMain->SetDataSet(cdsMain);
    FUpdateDataSet = new TOrvUpdateDataSet(this);
    FUpdateDataSet->SetName("updMain");

    atlAtions = new TActionList(this);
    atlAtions->SetName("atlAtions");
    // The keys of a data grid: Insert adds a row, Ctrl+Delete deletes one (after asking).
    actNew = MakeAction(this, atlAtions, "actNew", CAP_NEW, ShortCut(VK_INSERT, 0), [this] { NewRecord(); });
    actDelete = MakeAction(this, atlAtions, "actDelete", CAP_DELETE, ShortCut(VK_DELETE, scCtrl),
                           [this] { DeleteRecord(); });
    actSave = MakeAction(this, atlAtions, "actSave", CAP_SAVE, ShortCut('S', scCtrl), [this] { SaveData(); });
    actRefresh = MakeAction(this, atlAtions, "actRefresh", CAP_REFRESH, ShortCut(VK_F5, 0),
                            [this] { RefreshData(); });
    actClose = MakeAction(this, atlAtions, "actClose", CAP_CLOSE, scNone, [this] { Close(); });
    actExport = MakeAction(this, atlAtions, "actExport", CAP_EXPORT, scNone, [this] { ExportData(); });

    tlbStandard = new TToolBar(this);
    tlbStandard->SetName("tlbStandard");
    tlbStandard->SetParent(this);
    btnSelect = MakeButton(this, tlbStandard, "btnSelect", CAP_SELECT);
    btnSelect->OnClick = [this](TComponent*) {
        if (FSelecting) SetModalResult(mrOk);
    };
    btnSep1 = MakeSeparator(this, tlbStandard, "btnSep1");
    btnNew = MakeButton(this, tlbStandard, "btnNew", CAP_NEW, actNew);
    btnDelete = MakeButton(this, tlbStandard, "btnDelete", CAP_DELETE, actDelete);
    btnSave = MakeButton(this, tlbStandard, "btnSave", CAP_SAVE, actSave);
    btnSep2 = MakeSeparator(this, tlbStandard, "btnSep2");
    btnRefresh = MakeButton(this, tlbStandard, "btnRefresh", CAP_REFRESH, actRefresh);
    btnExport = MakeButton(this, tlbStandard, "btnExport", CAP_EXPORT, actExport);
    btnDetail = MakeButton(this, tlbStandard, "btnDetail", CAP_DETAIL);
    btnDetail->OnClick = [this](TComponent*) { ShowDetail(); };
    btnSep3 = MakeSeparator(this, tlbStandard, "btnSep3");
    btnFunctions = MakeButton(this, tlbStandard, "btnFunctions", CAP_FUNCTIONS);
    btnFunctions->OnClick = [this](TComponent*) {
        if (btnFunctions->PopupMenu())
            btnFunctions->PopupMenu()->Popup(btnFunctions->Left(), btnFunctions->Top());
    };
    btnSep4 = MakeSeparator(this, tlbStandard, "btnSep4");
    btnFilter = MakeButton(this, tlbStandard, "btnFilter", CAP_FILTER);
    btnFilter->OnClick = [this](TComponent*) { ShowFilter(); };
    btnSep5 = MakeSeparator(this, tlbStandard, "btnSep5");
    btnClose = MakeButton(this, tlbStandard, "btnClose", CAP_CLOSE, actClose);

    // The count sits in a strip under the grid, at its right end.
    pnlStatus = new TPanel(this);
    pnlStatus->SetName("pnlStatus");
    pnlStatus->SetParent(this);
    pnlStatus->SetAlign(TAlign::alBottom);
    pnlStatus->SetHeight(22);
    lblCount = new TLabel(this);
    lblCount->SetName("lblCount");
    lblCount->SetParent(pnlStatus);
    lblCount->SetCaption(std::string(CAP_RECORD_COUNT));
    lblCount->SetBounds(500, 4, 60, 14);
    lblCount->SetAnchors({TAnchorKind::akTop, TAnchorKind::akRight});
    txtCount = new TLabel(this);
    txtCount->SetName("txtCount");
    txtCount->SetParent(pnlStatus);
    txtCount->SetCaption("0");
    txtCount->SetBounds(564, 4, 60, 14);
    txtCount->SetAnchors({TAnchorKind::akTop, TAnchorKind::akRight});

    lblHint = new TLabel(this);
    lblHint->SetName("lblHint");
    lblHint->SetParent(pnlStatus);
    lblHint->SetCaption("");
    lblHint->SetBounds(8, 4, 300, 14);

    grdMain = new TOrvDBGrid(this);
    grdMain->SetName("grdMain");
    grdMain->SetParent(this);
    grdMain->SetAlign(TAlign::alClient);
    grdMain->SetDataSource(dtsMain);
    // Placed in the grid's popup menu once the window has set the grid up (PlaceExportItem).
    mitExportSep = new TMenuItem(this);
    mitExportSep->SetName("mitExportSep");
    mitExportSep->SetCaption("-");
    mitExport = new TMenuItem(this);
    mitExport->SetName("mitExport");
    mitExport->SetAction(actExport);

    cdsMain->BeforeEdit = [this](TDataSet* D) {
        if (!Destroying()) cdsMainBeforeEdit(D);
    };
    cdsMain->BeforeInsert = [this](TDataSet* D) {
        if (!Destroying()) cdsMainBeforeInsert(D);
    };

    FStatusLink = std::make_unique<TStatusLink>(*this);
    FStatusLink->SetDataSource(dtsMain);
}

TBrowseForm::~TBrowseForm() {
    // Components die below while this form is only partly left; nothing of theirs may
    // call back into it.
    FStatusLink.reset();
    cdsMain->BeforeOpen = cdsMain->AfterOpen = cdsMain->BeforeClose = cdsMain->AfterClose = nullptr;
    cdsMain->BeforeInsert = cdsMain->AfterInsert = cdsMain->BeforeEdit = cdsMain->AfterEdit = nullptr;
    cdsMain->BeforePost = cdsMain->AfterPost = cdsMain->BeforeCancel = cdsMain->AfterCancel = nullptr;
    cdsMain->BeforeDelete = cdsMain->AfterDelete = cdsMain->BeforeScroll = cdsMain->AfterScroll = nullptr;
    cdsMain->OnNewRecord = nullptr;
    DestroyFormComponents();
}

// ---- the overridable operations ------------------------------------------------------------

void TBrowseForm::PrepareData() {
    GetData();
}

bool TBrowseForm::InitRights() {
    return Permission1;
}

void TBrowseForm::ShowStatus() {
    bool Active = cdsMain->Active();
    TBrowseStatus S = BrowseStatus();
    actNew->SetEnabled(Permission2 && Active);
    // An untouched new row on an empty set leaves the status at Empty, yet delete drops it.
    actDelete->SetEnabled(Permission3 && Active &&
                          (S != TBrowseStatus::Empty || cdsMain->State() == TDataSetState::dsInsert));
    actSave->SetEnabled(Permission4 && S == TBrowseStatus::Unsaved);
    actRefresh->SetEnabled(Permission1);
    actExport->SetEnabled(Permission5 && Active);
    btnSelect->SetEnabled(FSelecting && S != TBrowseStatus::Empty);
    ShowNavigator();
}

bool TBrowseForm::GetRecordCanModify() {
    return true;
}

bool TBrowseForm::GetRecordCanDelete() {
    return true;
}

void TBrowseForm::ShowNavigator() {
    txtCount->SetCaption(std::to_string(cdsMain->Active() ? cdsMain->RecordCount() : 0));
}

void TBrowseForm::ShowDetail() {
    throw TUserException(Format(MSG_NOT_AVAILABLE, {CAP_DETAIL}), Caption());
}

void TBrowseForm::ShowFilter() {
    throw TUserException(Format(MSG_NOT_AVAILABLE, {CAP_FILTER}), Caption());
}

void TBrowseForm::GetData() {}

void TBrowseForm::PostGetData() {}

bool TBrowseForm::Save(std::string& ErrorMsg) {
    if (!cdsMain->Active() || cdsMain->ChangeCount() == 0) return true;
    // A window that cannot save must not have its changes merged as if it had.
    ErrorMsg = Format(MSG_NOT_AVAILABLE, {CAP_SAVE});
    return false;
}

void TBrowseForm::PostSave() {}

void TBrowseForm::Show() {
    if (Visible()) {
        TFuncForm::Show();
        return;
    }
    AfterConstruction();
    PlaceExportItem();
    try {
        if (!InitRights()) {
            Application->MessageBox(Format(MSG_NO_RIGHT_TO_VIEW, {Caption()}), Caption(),
                                    MB_OK | MB_ICONWARNING);
            Release();
            return;
        }
        ApplyPermissions();
        PrepareData();
        PostGetData();
    } catch (...) {
        // A window that could not be opened is never shown; it goes once the event is over.
        Release();
        throw;
    }
    TFuncForm::Show();
    PostOpen();
    UpdateStatus();
}

void TBrowseForm::Show(TOrvConditionTree* ACondition, bool AutoRefresh) {
    FCondition = ACondition;
    if (Visible() && AutoRefresh) RefreshData();
    Show();
}

bool TBrowseForm::Select(TOrvConditionTree* ACondition, bool MultiSelect, TOrvClientDataSet* Result) {
    FCondition = ACondition;
    AfterConstruction();
    PlaceExportItem();
    if (!InitRights()) {
        Application->MessageBox(Format(MSG_NO_RIGHT_TO_VIEW, {Caption()}), Caption(), MB_OK | MB_ICONWARNING);
        return false;
    }
    // A picker only shows rows.
    Permission2 = Permission3 = Permission4 = false;
    ApplyPermissions();
    FSelecting = true;
    struct TSelectEnd {
        bool& Flag;
        ~TSelectEnd() { Flag = false; }
    } End{FSelecting};
    PrepareData();
    PostGetData();
    UpdateStatus();
    if (ShowModal() != mrOk || !cdsMain->Active() || cdsMain->RecordCount() == 0) return false;
    int Chosen = cdsMain->RecNo();
    Result->SetData(cdsMain->GetData());
    if (!MultiSelect) {
        for (int R = Result->RecordCount(); R >= 1; --R) {
            if (R == Chosen) continue;
            Result->SetRecNo(R);
            Result->Delete();
        }
        Result->MergeChangeLog();
    }
    Result->First();
    return true;
}

void TBrowseForm::cdsMainBeforeEdit(TDataSet*) {
    if (!GetRecordCanModify()) throw TUserException(std::string(MSG_RECORD_CANNOT_MODIFY), Caption());
}

void TBrowseForm::cdsMainBeforeInsert(TDataSet*) {
    // Rights are the data set's own check; a new row needs nothing else from the frame.
}

TOrvUpdateDataSet* TBrowseForm::GetUpdateDataSet() {
    return FUpdateDataSet;
}

// ---- commands ------------------------------------------------------------------------------

void TBrowseForm::NewRecord() {
    CommitPendingEdit();
    cdsMain->Append();
    if (grdMain->CanFocus()) grdMain->SetFocus();
}

void TBrowseForm::DeleteRecord() {
    CommitPendingEdit();
    if (!cdsMain->Active()) return;
    if (cdsMain->State() == TDataSetState::dsInsert) {
        cdsMain->Cancel();
        return;
    }
    if (cdsMain->RecordCount() == 0) return;
    if (!GetRecordCanDelete()) throw TUserException(std::string(MSG_RECORD_CANNOT_DELETE), Caption());
    if (Application->MessageBox(std::string(MSG_DELETE_RECORD_PROMPT), Caption(),
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    cdsMain->Delete();
}

bool TBrowseForm::SaveData() {
    CommitPendingEdit();
    if (!cdsMain->Active()) return true;
    cdsMain->CheckBrowseMode();
    if (cdsMain->ChangeCount() > 0 && !Permission4)
        throw TUserException(Format(MSG_NO_RIGHT_TO_MODIFY, {Caption()}), Caption());
    std::string ErrorMsg;
    if (!Save(ErrorMsg)) {
        Application->MessageBox(ErrorMsg.empty() ? std::string(MSG_SAVE_FAILED) : ErrorMsg, Caption(),
                                MB_OK | MB_ICONERROR);
        UpdateStatus();
        return false;
    }
    cdsMain->MergeChangeLog();
    PostSave();
    UpdateStatus();
    return true;
}

void TBrowseForm::RefreshData() {
    CommitPendingEdit();
    if (!AskToSaveChanges()) return;
    GetData();
    PostGetData();
    UpdateStatus();
}

void TBrowseForm::ExportData() {
    CommitPendingEdit();
    if (!Permission5) throw TUserException(Format(MSG_NO_RIGHT_TO_EXPORT, {Caption()}), Caption());
    TWidgetSet* WS = Application->WidgetSet();
    if (!cdsMain->Active() || !WS) return;
    // The window's caption names the file, less what a file name cannot hold.
    std::string Name = Caption();
    for (char& C : Name)
        if (std::string_view("/\\:*?\"<>|").find(C) != std::string_view::npos) C = '_';
    if (Name.empty()) Name = std::string(CAP_EXPORT);
    const std::optional<std::string> Path =
        WS->ChooseSaveFile(this, std::string(CAP_EXPORT), Name + ".xlsx",
                           {{std::string(CAP_EXPORT_XLSX), "xlsx"}, {std::string(CAP_EXPORT_CSV), "csv"}});
    if (!Path) return;
    try {
        TBusyScope Busy(this, std::string(MSG_EXPORTING), grdMain->RowCount());
        ExportGrid(*grdMain, *Path, ExportFormatOf(*Path), Caption(), [&Busy] { Busy.Step(); });
    } catch (const std::exception& E) {
        Application->MessageBox(Format(MSG_EXPORT_FAILED, {E.what()}), Caption(), MB_OK | MB_ICONERROR);
    }
}

bool TBrowseForm::CloseQuery() {
    return TFuncForm::CloseQuery() && AskToSaveChanges();
}

bool TBrowseForm::HasUnsavedChanges() const {
    // The cheap tests first: this runs on every change of a field.
    if (cdsMain->Active() && (cdsMain->ChangeCount() > 0 || (Editing(cdsMain) && cdsMain->Modified())))
        return true;
    return HasPendingEdit();
}

void TBrowseForm::PendingEditChanged() {
    UpdateStatus();
}

bool TBrowseForm::AskToSaveChanges() {
    if (!HasUnsavedChanges()) {
        if (cdsMain->Active() && Editing(cdsMain)) cdsMain->Cancel();
        return true;
    }
    switch (Application->MessageBox(std::string(MSG_SAVE_CHANGES_PROMPT), Caption(),
                                    MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return SaveData();
    case IDNO:
        if (Editing(cdsMain)) cdsMain->Cancel();
        cdsMain->CancelUpdates();
        return true;
    default:
        return false;
    }
}

void TBrowseForm::PlaceExportItem() {
    TPopupMenu* Menu = grdMain->PopupMenu();
    if (Menu && mitExport->Menu() == Menu) return;
    for (TMenuItem* I : {mitExportSep, mitExport})
        if (TPopupMenu* Old = I->Menu()) Old->Remove(I);
    if (!Menu) {
        Menu = new TPopupMenu(this);
        Menu->SetName("pmnGrid");
        grdMain->SetPopupMenu(Menu);
    }
    if (!Menu->Items().empty()) Menu->Add(mitExportSep);
    Menu->Add(mitExport);
}

void TBrowseForm::ShowStatusHint(const std::string& Text) {
    lblHint->SetCaption(Text);
}

void TBrowseForm::ApplyPermissions() {
    cdsMain->SetPermissions(Permission2, Permission4, Permission3);
    lblHint->SetCaption(Permission2 || Permission4 ? std::string() : std::string(CAP_READ_ONLY));
}

TBrowseStatus TBrowseForm::ComputeStatus() const {
    if (HasUnsavedChanges()) return TBrowseStatus::Unsaved;
    if (!cdsMain->Active() || cdsMain->RecordCount() == 0) return TBrowseStatus::Empty;
    return TBrowseStatus::Browsing;
}

TBrowseStatus TBrowseForm::BrowseStatus() const { return static_cast<TBrowseStatus>(Status()); }

void TBrowseForm::SetStatus(TBrowseStatus Value) { TFuncForm::SetStatus(static_cast<int>(Value)); }

void TBrowseForm::UpdateStatus() {
    // Until the whole window exists, and once its destruction has begun, a subclass's
    // ShowStatus would meet missing parts: a subclass destructor runs before ours, and the
    // components it frees still notify the status link.
    if (!Created() || Destroying()) return;
    SetStatus(ComputeStatus());
}

} // namespace orv
