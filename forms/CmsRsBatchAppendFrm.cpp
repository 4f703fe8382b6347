#include "forms/CmsRsBatchAppendFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/core/DateUtils.h"
#include "host/core/SysUtils.h"
#include "host/data/ValueRules.h"
#include "host/forms/Cformsres.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/Glibres.h"
#include "module/QuillonRes.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace orv {

namespace {

constexpr const char* DialogCaption = "批量添加";

bool Editing(const TDataSet* D) {
    return D->State() == TDataSetState::dsEdit || D->State() == TDataSetState::dsInsert;
}

// A new row with nothing chosen goes without a word; any other pending row is posted,
// which runs the row check.
void SettlePending(TDataSet* List, const char* KeyField) {
    if (List->State() == TDataSetState::dsInsert) {
        if (List->FieldByName(KeyField)->IsNull())
            List->Cancel();
        else
            List->Post();
    } else if (List->State() == TDataSetState::dsEdit) {
        List->Post();
    }
}

// The rate as the user typed it, read as a floating-point number: blanks around it and a
// leading '+' allowed, '.' as the decimal separator. nullopt for anything that is not a
// number, or one too large or too small for a double. NaN and infinity do read; the
// caller refuses them.
std::optional<double> TextToFloat(std::string_view Text) {
    while (!Text.empty() && Text.front() == ' ')
        Text.remove_prefix(1);
    while (!Text.empty() && Text.back() == ' ')
        Text.remove_suffix(1);
    if (!Text.empty() && Text.front() == '+') {
        Text.remove_prefix(1);
        if (!Text.empty() && Text.front() == '-') return std::nullopt;
    }
    if (Text.empty()) return std::nullopt;
    double Value = 0;
    auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Error != std::errc() || End != Text.data() + Text.size()) return std::nullopt;
    return Value;
}

// Focuses Control, then raises Message titled Title.
[[noreturn]] void Refuse(TWinControl* Control, const std::string& Message, const std::string& Title) {
    Control->SetFocus();
    throw TUserException(Message, Title);
}

TFont SongTi(TColor Color) {
    TFont F;
    F.Name = "宋体";
    F.Charset = GB2312_CHARSET;
    F.Height = 13;
    F.Color = Color;
    return F;
}

template <class T> T* Make(TCustomForm* Form, const char* Name, TWinControl* Parent) {
    auto* C = new T(Form);
    C->SetName(Name);
    C->SetParent(Parent);
    return C;
}

// A grid filling its group box, with the title font of the dialog.
TOrvDBGrid* AddGrid(TCustomForm* Form, const char* Name, TGroupBox* Box, TDataSource* Source,
                    TPopupMenu* Menu) {
    auto* G = Make<TOrvDBGrid>(Form, Name, Box);
    G->SetAlign(TAlign::alClient);
    G->SetDataSource(Source);
    G->SetPopupMenu(Menu);
    G->SetTitleFont(SongTi(clWindowText));
    return G;
}

} // namespace

TCmsRsBatchAppendForm::TCmsRsBatchAppendForm(TComponent* AOwner) : TAncestorForm(AOwner) {
    SetName("CmsRsBatchAppendForm");
    SetCaption(DialogCaption);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poOwnerFormCenter);
    SetClientWidth(669);
    SetClientHeight(408);
    SetBounds(Left(), Top(), 675, 437);

    // ---- data
    cdsShop = new TOrvClientDataSet(this);
    cdsShop->SetName("cdsShop");
    cdsShop->SetKeyFields("SHOP_NUM");
    cdsShop_UC_ = CmsBrowse::AddBCDField(cdsShop, "cdsShop_UC_", "_UC_", 0, 0, "");
    cdsShopSHOP_ID = CmsBrowse::AddBCDField(cdsShop, "cdsShopSHOP_ID", "SHOP_ID", 0, 4, "门店ID");
    cdsShopSHOP_NUM = CmsBrowse::AddStringField(cdsShop, "cdsShopSHOP_NUM", "SHOP_NUM", 20, "门店编号");
    cdsShopSHOP_NUM->OnSetText = [this](TField* F, const std::string& T) { cdsShopSHOP_NUMSetText(F, T); };
    cdsShopSHOP_NUM->OnValidate = [this](TField* F) { cdsShopSHOP_NUMValidate(F); };
    cdsShopSHOP_NAME = CmsBrowse::AddStringField(cdsShop, "cdsShopSHOP_NAME", "SHOP_NAME", 50, "门店名称");
    cdsShop_RC_CNT_ = new TAggregateField(this);
    cdsShop_RC_CNT_->SetName("cdsShop_RC_CNT_");
    cdsShop_RC_CNT_->SetFieldName("_RC_CNT_");
    cdsShop_RC_CNT_->SetExpression("SUM(1)");
    cdsShop_RC_CNT_->SetActive(true);
    cdsShop_RC_CNT_->SetDataSet(cdsShop);
    cdsShop->AfterInsert = [this](TDataSet* D) { cdsShopAfterInsert(D); };
    cdsShop->AfterEdit = [this](TDataSet* D) { cdsShopAfterEdit(D); };
    cdsShop->BeforePost = [this](TDataSet* D) { cdsShopBeforePost(D); };
    cdsShop->AfterDelete = [this](TDataSet* D) { cdsShopAfterDelete(D); };
    cdsShop->AfterScroll = [this](TDataSet* D) { cdsShopAfterScroll(D); };
    dtsShop = new TDataSource(this);
    dtsShop->SetName("dtsShop");
    dtsShop->SetDataSet(cdsShop);

    cdsProdCls = new TOrvClientDataSet(this);
    cdsProdCls->SetName("cdsProdCls");
    cdsProdCls->SetKeyFields("PROD_CLS_NUM");
    cdsProdClsPROD_CLS_ID =
        CmsBrowse::AddBCDField(cdsProdCls, "cdsProdClsPROD_CLS_ID", "PROD_CLS_ID", 8, 0, "商品品种ID");
    cdsProdClsPROD_CLS_NUM =
        CmsBrowse::AddStringField(cdsProdCls, "cdsProdClsPROD_CLS_NUM", "PROD_CLS_NUM", 25, "商品品种编号");
    cdsProdClsPROD_CLS_NUM->OnSetText = [this](TField* F, const std::string& T) {
        cdsProdClsPROD_CLS_NUMSetText(F, T);
    };
    cdsProdClsPROD_CLS_NUM->OnValidate = [this](TField* F) { cdsProdClsPROD_CLS_NUMValidate(F); };
    cdsProdClsPROD_NAME =
        CmsBrowse::AddStringField(cdsProdCls, "cdsProdClsPROD_NAME", "PROD_NAME", 50, "商品名称");
    cdsProdCls->AfterInsert = [this](TDataSet* D) { cdsProdClsAfterInsert(D); };
    cdsProdCls->AfterEdit = [this](TDataSet* D) { cdsProdClsAfterEdit(D); };
    cdsProdCls->BeforePost = [this](TDataSet* D) { cdsProdClsBeforePost(D); };
    cdsProdCls->AfterDelete = [this](TDataSet* D) { cdsProdClsAfterDelete(D); };
    dtsProdCls = new TDataSource(this);
    dtsProdCls->SetName("dtsProdCls");
    dtsProdCls->SetDataSet(cdsProdCls);

    cdsData = new TOrvClientDataSet(this);
    cdsData->SetName("cdsData");

    // ---- commands: the shortcuts belong to the list and act on the product classes
    // wherever the focus is
    atlAtions = new TActionList(this);
    atlAtions->SetName("atlAtions");
    actNewLine = CmsBrowse::AddAction(atlAtions, "actNewLine", "新增明细(&A)", "", ShortCut(VK_INSERT, scCtrl),
                           [this](TComponent* S) { actNewLineExecute(S); });
    actNewLines =
        CmsBrowse::AddAction(atlAtions, "actNewLines", "批量添加明细(&B)", "批量添加明细项目。",
                  ShortCut(VK_INSERT, scCtrl | scShift), [this](TComponent* S) { actNewLinesExecute(S); });
    actDeleteLine =
        CmsBrowse::AddAction(atlAtions, "actDeleteLine", "删除明细(&D)", "删除明细项目。", ShortCut(VK_DELETE, scCtrl),
                  [this](TComponent* S) { actDeleteLineExecute(S); });
    actClearLines =
        CmsBrowse::AddAction(atlAtions, "actClearLines", "清除明细(&C)", "清除明细项目。",
                  ShortCut(VK_DELETE, scCtrl | scShift), [this](TComponent* S) { actClearLinesExecute(S); });
    actShopNewLine = CmsBrowse::AddAction(atlAtions, "actShopNewLine", "新增明细", "", scNone,
                               [this](TComponent* S) { actShopNewLineExecute(S); });
    actShopNewLines = CmsBrowse::AddAction(atlAtions, "actShopNewLines", "批量添加明细", "", scNone,
                                [this](TComponent* S) { actShopNewLinesExecute(S); });
    actShopDeleteLine = CmsBrowse::AddAction(atlAtions, "actShopDeleteLine", "删除明细", "", scNone,
                                  [this](TComponent* S) { actShopDeleteLineExecute(S); });
    actShopClearLines = CmsBrowse::AddAction(atlAtions, "actShopClearLines", "清除明细", "", scNone,
                                  [this](TComponent* S) { actShopClearLinesExecute(S); });

    mnuShop = new TPopupMenu(this);
    mnuShop->SetName("mnuShop");
    mitShowNewLine = CmsBrowse::AddMenuItem(mnuShop, "mitShowNewLine", actShopNewLine);
    mitShopNewLines = CmsBrowse::AddMenuItem(mnuShop, "mitShopNewLines", actShopNewLines);
    mitShopDeleteLine = CmsBrowse::AddMenuItem(mnuShop, "mitShopDeleteLine", actShopDeleteLine);
    mitShopClearLines = CmsBrowse::AddMenuItem(mnuShop, "mitShopClearLines", actShopClearLines);
    mnuProdCls = new TPopupMenu(this);
    mnuProdCls->SetName("mnuProdCls");
    mitNewLine = CmsBrowse::AddMenuItem(mnuProdCls, "mitNewLine", actNewLine);
    mitNewLines = CmsBrowse::AddMenuItem(mnuProdCls, "mitNewLines", actNewLines);
    mitDeleteLine = CmsBrowse::AddMenuItem(mnuProdCls, "mitDeleteLine", actDeleteLine);
    mitClearLines = CmsBrowse::AddMenuItem(mnuProdCls, "mitClearLines", actClearLines);

    // ---- controls: the two lists side by side, one row of entries along the bottom
    grpShop = Make<TGroupBox>(this, "grpShop", this);
    grpShop->SetCaption("门店列表");
    grpShop->SetBounds(6, 4, 326, 362);
    grpShop->SetTabOrder(0);
    grdShop = AddGrid(this, "grdShop", grpShop, dtsShop, mnuShop);
    grdShop->OnEditButtonClick = [this](TComponent* S) { grdShopEditButtonClick(S); };
    grdShop->OnExit = [this](TComponent* S) { grdShopExit(S); };
    CmsBrowse::AddColumn(grdShop, "SHOP_NUM", 88)->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    grdShop->AddColumn("SHOP_NAME")->SetWidth(143);
    grdShop->Column(1)->SetReadOnly(true);

    grpProdCls = Make<TGroupBox>(this, "grpProdCls", this);
    grpProdCls->SetCaption("商品品种列表");
    grpProdCls->SetBounds(338, 4, 325, 362);
    grpProdCls->SetTabOrder(1);
    grdProdCls = AddGrid(this, "grdProdCls", grpProdCls, dtsProdCls, mnuProdCls);
    grdProdCls->OnEditButtonClick = [this](TComponent* S) { grdProdClsEditButtonClick(S); };
    grdProdCls->OnExit = [this](TComponent* S) { grdProdClsExit(S); };
    CmsBrowse::AddColumn(grdProdCls, "PROD_CLS_NUM", 94)->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    grdProdCls->AddColumn("PROD_NAME")->SetWidth(125);
    grdProdCls->Column(1)->SetReadOnly(true);

    lblFromDate = Make<TLabel>(this, "lblFromDate", this);
    lblFromDate->SetCaption("开始日期：");
    lblFromDate->SetBounds(8, 381, 64, 13);
    edtFromDate = Make<TDateTimePicker>(this, "edtFromDate", this);
    edtFromDate->SetBounds(72, 377, 100, 21);
    edtFromDate->SetTabOrder(2);
    lblToDate = Make<TLabel>(this, "lblToDate", this);
    lblToDate->SetCaption("结束日期：");
    lblToDate->SetBounds(180, 381, 64, 13);
    edtToDate = Make<TDateTimePicker>(this, "edtToDate", this);
    edtToDate->SetBounds(244, 377, 100, 21);
    edtToDate->SetTabOrder(3);
    lblCmsRate = Make<TLabel>(this, "lblCmsRate", this);
    lblCmsRate->SetCaption("提成比例:");
    lblCmsRate->SetFont(SongTi(clHighlight));
    lblCmsRate->SetBounds(352, 381, 60, 13);
    edtCmsRate = Make<TOrvMeEdit>(this, "edtCmsRate", this);
    edtCmsRate->SetBounds(414, 377, 76, 21);
    edtCmsRate->SetTabOrder(4);
    btnAppend = Make<TBitBtn>(this, "btnAppend", this);
    btnAppend->SetCaption("添加");
    btnAppend->SetBounds(504, 375, 75, 25);
    btnAppend->SetTabOrder(5);
    btnAppend->OnClick = [this](TComponent* S) { btnAppendClick(S); };
    btnClose = Make<TBitBtn>(this, "btnClose", this);
    btnClose->SetCaption("关闭");
    btnClose->SetBounds(588, 375, 75, 25);
    btnClose->SetTabOrder(6);
    btnClose->SetCancel(true);
    btnClose->SetModalResult(mrCancel);
}

TCmsRsBatchAppendForm::~TCmsRsBatchAppendForm() {
    // The components go while the whole dialog is still there for their handlers.
    DestroyFormComponents();
}

// ---- opening and status --------------------------------------------------------------------

bool TCmsRsBatchAppendForm::Execute() {
    if (!cdsProdCls->Active()) cdsProdCls->CreateDataSet();
    if (!cdsShop->Active()) cdsShop->CreateDataSet();
    edtFromDate->SetDate(Date());
    edtToDate->SetDate(Date());
    SetDialogStatus(DialogEditing);
    if (ShowModal() != mrOk) return false;
    if (cdsProdCls->State() != TDataSetState::dsBrowse) cdsProdCls->Post();
    if (cdsShop->State() != TDataSetState::dsBrowse) cdsShop->Post();
    return true;
}

void TCmsRsBatchAppendForm::SetDialogStatus(int Status) {
    FDialogStatus = Status;
    ShowDialogStatus();
}

void TCmsRsBatchAppendForm::ShowDialogStatus() {
    if (FUpdating) return;
    // While browsing a list has a row to delete when it has rows at all; while editing,
    // when its grid stands on a stored row or on the row being inserted.
    auto ShowList = [this](TOrvClientDataSet* List, TOrvDBGrid* Grid, TAction* NewLine, TAction* DeleteLine) {
        NewLine->SetEnabled(NewLine->Visible() && !List->ReadOnly());
        bool HasRow = false;
        if (FDialogStatus == DialogBrowsing) {
            HasRow = List->RecordCount() > 0;
        } else {
            TDataSet* D = Grid->GetActiveDataSet();
            HasRow = D->RecNo() > 0 || D->State() == TDataSetState::dsInsert;
        }
        DeleteLine->SetEnabled(DeleteLine->Visible() && !List->ReadOnly() && HasRow);
    };
    if (FDialogStatus == DialogBrowsing || FDialogStatus == DialogEditing) {
        btnAppend->SetEnabled(true);
        ShowList(cdsProdCls, grdProdCls, actNewLine, actDeleteLine);
        ShowList(cdsShop, grdShop, actShopNewLine, actShopDeleteLine);
    }
    actClearLines->SetEnabled(actDeleteLine->Enabled());
    actShopClearLines->SetEnabled(actShopDeleteLine->Enabled());
    cdsShop->SetReadOnly(false);
    cdsProdCls->SetReadOnly(false);
}

void TCmsRsBatchAppendForm::cdsShopAfterInsert(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogEditing);
}

void TCmsRsBatchAppendForm::cdsProdClsAfterInsert(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogEditing);
}

void TCmsRsBatchAppendForm::cdsShopAfterEdit(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogEditing);
}

void TCmsRsBatchAppendForm::cdsProdClsAfterEdit(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogEditing);
}

void TCmsRsBatchAppendForm::cdsShopAfterDelete(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::cdsProdClsAfterDelete(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::cdsShopAfterScroll(TDataSet*) {
    if (!FUpdating) SetDialogStatus(DialogBrowsing);
}

// ---- filling the lists ---------------------------------------------------------------------

void TCmsRsBatchAppendForm::FillList(TOrvClientDataSet* List, const char* KeyField, const char* NumField,
                                     const char* NameField, const char* DataKey, const char* DataNum,
                                     const char* DataName) {
    // The picked rows come with their numbers and names: no lookup per row, and the action
    // states are brought up to date once, at the end, also when a copy fails.
    FUpdating = true;
    try {
        TField* Key = cdsData->FieldByName(DataKey);
        TField* Num = cdsData->FieldByName(DataNum);
        TField* Name = cdsData->FieldByName(DataName);
        for (cdsData->First(); !cdsData->Eof(); cdsData->Next()) {
            if (List->Locate(KeyField, Key->Value())) continue;
            List->Append();
            List->FieldByName(KeyField)->SetValue(Key->Value());
            List->FieldByName(NumField)->SetValue(Num->Value());
            List->FieldByName(NameField)->SetValue(Name->Value());
            List->Post();
        }
    } catch (...) {
        FUpdating = false;
        SetDialogStatus(DialogBrowsing);
        throw;
    }
    FUpdating = false;
    SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::actNewLinesExecute(TComponent*) {
    if (cdsProdCls->ReadOnly()) return;
    SettlePending(cdsProdCls, "PROD_CLS_ID");
    if (!SelectProdCls("", true, cdsData)) return;
    FillList(cdsProdCls, "PROD_CLS_ID", "PROD_CLS_NUM", "PROD_NAME", "PROD_CLS_ID", "PROD_CLS_NUM",
             "PROD_NAME");
}

void TCmsRsBatchAppendForm::actShopNewLinesExecute(TComponent*) {
    if (cdsShop->ReadOnly()) return;
    SettlePending(cdsShop, "SHOP_ID");
    const int UnitID = CmsBrowse::ReadSessionParams().UnitID;
    bool AllSelected = false;
    if (!SelectUnitsInTree(UnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs, cdsData, AllSelected))
        return;
    FillList(cdsShop, "SHOP_ID", "SHOP_NUM", "SHOP_NAME", "UNIT_ID", "UNIT_NUM", "UNIT_NAME");
}

void TCmsRsBatchAppendForm::CopyPicked(TField* NumField, const char* KeyField, const char* NameField,
                                       const char* DataKey, const char* DataNum, const char* DataName) {
    TDataSet* D = NumField->DataSet();
    if (D->State() == TDataSetState::dsBrowse) D->Edit();
    // The picked number is the unit's or class's own: neither upper-cased nor looked up.
    FUpdating = true;
    try {
        D->FieldByName(KeyField)->SetValue(cdsData->FieldByName(DataKey)->Value());
        NumField->SetValue(cdsData->FieldByName(DataNum)->Value());
        D->FieldByName(NameField)->SetValue(cdsData->FieldByName(DataName)->Value());
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
}

void TCmsRsBatchAppendForm::grdShopEditButtonClick(TComponent*) {
    if (cdsShop->ReadOnly()) return;
    TField* Field = grdShop->SelectedField();
    if (!Field || Field->FieldName() != "SHOP_NUM") return;
    // Chosen or not, and also when the copy fails, the focus comes back to the dialog and
    // the status says a row is being edited.
    try {
        const int UnitID = CmsBrowse::ReadSessionParams().UnitID;
        if (SelectUnitInTree(UnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs, cdsData))
            CopyPicked(Field, "SHOP_ID", "SHOP_NAME", "UNIT_ID", "UNIT_NUM", "UNIT_NAME");
    } catch (...) {
        SetFocus();
        SetDialogStatus(DialogEditing);
        throw;
    }
    SetFocus();
    SetDialogStatus(DialogEditing);
}

void TCmsRsBatchAppendForm::grdProdClsEditButtonClick(TComponent*) {
    if (cdsProdCls->ReadOnly()) return;
    TField* Field = grdProdCls->SelectedField();
    if (!Field || Field->FieldName() != "PROD_CLS_NUM") return;
    try {
        if (SelectProdCls("", false, cdsData))
            CopyPicked(Field, "PROD_CLS_ID", "PROD_NAME", "PROD_CLS_ID", "PROD_CLS_NUM", "PROD_NAME");
    } catch (...) {
        SetFocus();
        SetDialogStatus(DialogEditing);
        throw;
    }
    SetFocus();
    SetDialogStatus(DialogEditing);
}

// ---- typed numbers and the row checks ------------------------------------------------------

void TCmsRsBatchAppendForm::cdsShopSHOP_NUMSetText(TField* Sender, const std::string& Text) {
    if (FUpdating) return;
    Sender->SetAsString(AnsiUpperAscii(Text));
}

void TCmsRsBatchAppendForm::cdsProdClsPROD_CLS_NUMSetText(TField* Sender, const std::string& Text) {
    if (FUpdating) return;
    Sender->SetAsString(AnsiUpperAscii(Text));
}

void TCmsRsBatchAppendForm::cdsShopSHOP_NUMValidate(TField* Sender) {
    if (!FUpdating) CmsBrowse::LookUpShopNumber(Sender, cdsData, Caption());
}

void TCmsRsBatchAppendForm::cdsProdClsPROD_CLS_NUMValidate(TField* Sender) {
    if (FUpdating) return;
    if (CmsBrowse::LookUpProdClsNumber(Sender, cdsData, Caption())) SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::cdsShopBeforePost(TDataSet* DataSet) {
    if (!DataSet->FieldByName("SHOP_ID")->IsNull()) return;
    DataSet->FieldByName("SHOP_NUM")->FocusControl();
    throw TUserException(Format(MSG_FIELD_VALUE_IS_REQUIRED, {FD_SHOP_SHOP_NUM}), Caption());
}

void TCmsRsBatchAppendForm::cdsProdClsBeforePost(TDataSet* DataSet) {
    if (!DataSet->FieldByName("PROD_CLS_ID")->IsNull()) return;
    DataSet->FieldByName("PROD_CLS_NUM")->FocusControl();
    throw TUserException(Format(MSG_FIELD_VALUE_IS_REQUIRED, {FD_PROD_CLS_PROD_CLS_NUM}), Caption());
}

// ---- line actions --------------------------------------------------------------------------

void TCmsRsBatchAppendForm::actNewLineExecute(TComponent*) {
    grdProdCls->GetActiveDataSet()->Append();
}

void TCmsRsBatchAppendForm::actShopNewLineExecute(TComponent*) {
    grdShop->GetActiveDataSet()->Append();
}

void TCmsRsBatchAppendForm::actDeleteLineExecute(TComponent*) {
    TDataSet* D = grdProdCls->GetActiveDataSet();
    if (!D->IsEmpty()) D->Delete();
    SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::actShopDeleteLineExecute(TComponent*) {
    TDataSet* D = grdShop->GetActiveDataSet();
    if (!D->IsEmpty()) D->Delete();
    SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::ClearList(TDataSet* List) {
    // The flag goes back to what it was, not simply off: a clear may run inside another
    // bulk change.
    const bool Saved = FUpdating;
    FUpdating = true;
    try {
        if (Editing(List)) List->Cancel();
        List->First();
        while (List->RecordCount() > 0)
            List->Delete();
    } catch (...) {
        FUpdating = Saved;
        SetDialogStatus(DialogBrowsing);
        throw;
    }
    FUpdating = Saved;
    SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::actClearLinesExecute(TComponent*) {
    if (Application->MessageBox(std::string(MSG_CLEAR_LINES_PROMPT), Caption(),
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    ClearList(grdProdCls->GetActiveDataSet());
}

void TCmsRsBatchAppendForm::actShopClearLinesExecute(TComponent*) {
    if (Application->MessageBox(LoadStr(MSG_CLEAR_SHOPS_PROMPT), Caption(),
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    ClearList(grdShop->GetActiveDataSet());
}

// ---- leaving a grid and Append -------------------------------------------------------------

// A row still pending when the focus leaves its grid is posted, so the row check runs
// (and may keep the focus there); a new row with nothing chosen is refused, not dropped.
void TCmsRsBatchAppendForm::LeaveGrid(TOrvDBGrid* Grid) {
    TDataSet* D = Grid->GetActiveDataSet();
    if (!D || !Editing(D)) return;
    D->Post();
    SetDialogStatus(DialogBrowsing);
}

void TCmsRsBatchAppendForm::grdShopExit(TComponent*) {
    LeaveGrid(grdShop);
}

void TCmsRsBatchAppendForm::grdProdClsExit(TComponent*) {
    LeaveGrid(grdProdCls);
}

void TCmsRsBatchAppendForm::btnAppendClick(TComponent*) {
    SettlePending(cdsShop, "SHOP_ID");
    SettlePending(cdsProdCls, "PROD_CLS_ID");

    // Each rate message is a format taking the rate's label, like the required-value one.
    auto RateMessage = [](std::string_view Pattern) { return Format(Pattern, {FD_CMS_RS_CMS_RATE}); };
    const std::string& Text = edtCmsRate->Text();
    if (Text.empty()) Refuse(edtCmsRate, RateMessage(MSG_FIELD_VALUE_IS_REQUIRED), Caption());
    // NaN compares false with both bounds and infinity is no rate: neither passes as a
    // number.
    // Full-width digits from an input method read as the rate field reads them.
    const std::optional<double> Rate = TextToFloat(NumberTextFromInput(Text));
    if (!Rate || !std::isfinite(*Rate))
        Refuse(edtCmsRate, RateMessage(LoadStr(MSG_INVALID_VALUE)), Caption());
    if (*Rate < 0.0 || *Rate > 1.0)
        Refuse(edtCmsRate, RateMessage(LoadStr(MSG_CMS_RATE_OUT_OF_RANGE)), Caption());

    if (cdsShop->RecordCount() == 0) Refuse(grdShop, LoadStr(MSG_SHOP_LIST_EMPTY), Caption());
    if (cdsProdCls->RecordCount() == 0) Refuse(grdProdCls, LoadStr(MSG_PROD_CLS_LIST_EMPTY), Caption());
    SetModalResult(mrOk);
}

} // namespace orv
