#include "forms/CmsRsBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "forms/CmsRsBatchAppendFrm.h"
#include "host/core/SysUtils.h"
#include "host/services/BusinessIntf.h"
#include "host/forms/Cformsres.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/Glibres.h"
#include "host/services/OrvDate.h"
#include "module/QuillonRes.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace orv {

namespace {

// A column the user does not enter: read-only, with the grid's own title font.
TColumn* AddPlainColumn(TOrvDBGrid* Grid, const char* FieldName, int Width) {
    TColumn* C = Grid->AddColumn(FieldName);
    C->SetWidth(Width);
    C->SetReadOnly(true);
    return C;
}

// The typed text read as a floating-point number, locale-free; nullopt when it is not
// one. A number too large for a double reads as infinity.
std::optional<double> ReadFloat(std::string_view Text) {
    while (!Text.empty() && Text.front() == ' ')
        Text.remove_prefix(1);
    while (!Text.empty() && Text.back() == ' ')
        Text.remove_suffix(1);
    if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
    if (Text.empty()) return std::nullopt;
    double Value = 0;
    auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (End != Text.data() + Text.size()) return std::nullopt;
    if (Error == std::errc::result_out_of_range) {
        // Too small for a double is as good as 0; too large is infinite.
        bool Underflow =
            Text.find("e-") != std::string_view::npos || Text.find("E-") != std::string_view::npos;
        return Underflow ? 0.0 : HUGE_VAL;
    }
    if (Error != std::errc()) return std::nullopt;
    return Value;
}

bool RateInRange(double Rate) {
    // A NaN compares false both ways, so a plain "below 0 or above 1" test would let it in.
    return std::isfinite(Rate) && Rate >= 0.0 && Rate <= 1.0;
}

// Restores Updating to what it was when the scope began, on every path out.
class TUpdatingScope {
public:
    explicit TUpdatingScope(bool& Flag) : FFlag(Flag), FSaved(Flag) { FFlag = true; }
    ~TUpdatingScope() { FFlag = FSaved; }
    TUpdatingScope(const TUpdatingScope&) = delete;
    TUpdatingScope& operator=(const TUpdatingScope&) = delete;

private:
    bool& FFlag;
    bool FSaved;
};

} // namespace

TCmsRsBrowseForm::TCmsRsBrowseForm(TComponent* AOwner) : TBrowseForm(AOwner) {
    CmsBrowse::SetupWindow(*this, "CmsRsBrowseForm", "代销提成设置", 507010003, 694, 456);
    CmsBrowse::HideButtons({btnSelect, btnDetail, btnFunctions, btnFilter, btnSep1, btnSep3, btnSep4});
    OnCreate = [this](TComponent* Sender) { FormCreate(Sender); };
    OnDestroy = [this](TComponent* Sender) { FormDestroy(Sender); };

    cdsMain->SetKeyFields("SHOP_ID; PROD_CLS_ID; FROM_DATE; TO_DATE");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainSHOP_ID = CmsBrowse::AddBCDField(cdsMain, "cdsMainSHOP_ID", "SHOP_ID", 0, 4, "门店ID");
    cdsMainSHOP_NUM = CmsBrowse::AddStringField(cdsMain, "cdsMainSHOP_NUM", "SHOP_NUM", 20, "门店编号");
    cdsMainSHOP_NUM->OnSetText = [this](TField* F, const std::string& T) { cdsMainSHOP_NUMSetText(F, T); };
    cdsMainSHOP_NUM->OnValidate = [this](TField* F) { cdsMainSHOP_NUMValidate(F); };
    cdsMainSHOP_NAME = CmsBrowse::AddStringField(cdsMain, "cdsMainSHOP_NAME", "SHOP_NAME", 50, "门店名称");
    cdsDetailPROD_CLS_ID =
        CmsBrowse::AddBCDField(cdsMain, "cdsDetailPROD_CLS_ID", "PROD_CLS_ID", 8, 0, "商品品种ID");
    cdsMainPROD_CLS_NUM = CmsBrowse::AddStringField(cdsMain, "cdsMainPROD_CLS_NUM", "PROD_CLS_NUM", 25, "商品品种编号");
    cdsMainPROD_CLS_NUM->OnSetText = [this](TField* F, const std::string& T) {
        cdsMainPROD_CLS_NUMSetText(F, T);
    };
    cdsMainPROD_CLS_NUM->OnValidate = [this](TField* F) { cdsMainPROD_CLS_NUMValidate(F); };
    cdsMainPROD_NAME = CmsBrowse::AddStringField(cdsMain, "cdsMainPROD_NAME", "PROD_NAME", 50, "商品名称");
    cdsMainFROM_DATE = CmsBrowse::AddDateField(cdsMain, "cdsMainFROM_DATE", "FROM_DATE", "开始日期");
    cdsMainField = CmsBrowse::AddDateField(cdsMain, "cdsMainField", "TO_DATE", "结束日期");
    cdsMainCMS_RATE = CmsBrowse::AddBCDField(cdsMain, "cdsMainCMS_RATE", "CMS_RATE", 5, 4, "提成比例");
    cdsMainCMS_RATE->OnValidate = [this](TField* F) { cdsMainCMS_RATEValidate(F); };
    // The field's own conversion would refuse a typed NaN, infinity or a number too wide
    // for it with a conversion error before OnValidate runs; the user is to be told the
    // rate's range instead.
    cdsMainCMS_RATE->OnSetText = [this](TField* F, const std::string& Text) {
        cdsMainCMS_RATESetText(F, Text);
    };

    cdsData = new TOrvClientDataSet(this);
    cdsData->SetName("cdsData");

    actNewLine = CmsBrowse::AddAction(atlAtions, "actNewLine", "新增明细(&A)", "新增明细", ShortCut(VK_INSERT, scCtrl),
                           [this](TComponent* S) { actNewLineExecute(S); });
    actNewLines = CmsBrowse::AddAction(atlAtions, "actNewLines", "批量添加明细(&B)", "", scNone,
                            [this](TComponent* S) { actNewLinesExecute(S); });
    actClearLines =
        CmsBrowse::AddAction(atlAtions, "actClearLines", "清除明细(&C)", "", ShortCut(VK_DELETE, scCtrl | scShift),
                  [this](TComponent* S) { actClearLinesExecute(S); });
    actDeleteLine = CmsBrowse::AddAction(atlAtions, "actDeleteLine", "删除明细(&Z)", "", ShortCut(VK_DELETE, scCtrl),
                              [this](TComponent* S) { actDeleteLineExecute(S); });

    mnuMain = new TPopupMenu(this);
    mnuMain->SetName("mnuMain");
    mitNewLine = CmsBrowse::AddMenuItem(mnuMain, "mitNewLine", actNewLine);
    mitNewLines = CmsBrowse::AddMenuItem(mnuMain, "mitNewLines", actNewLines);
    mitNewLines->SetHint("批量添加明细");
    mitNewLines->SetShortCut(ShortCut(VK_INSERT, scCtrl | scShift));
    mitDeletLine = CmsBrowse::AddMenuItem(mnuMain, "mitDeletLine", actDeleteLine);
    mitClearLines = CmsBrowse::AddMenuItem(mnuMain, "mitClearLines", actClearLines);
    mitClearLines->SetHint("清除明细");

    grdMain->SetLayoutID("050701000301");
    grdMain->SetPopupMenu(mnuMain);
    grdMain->OnEditButtonClick = [this](TComponent* S) { grdMainEditButtonClick(S); };
    CmsBrowse::AddColumn(grdMain, "SHOP_NUM", 97)->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    AddPlainColumn(grdMain, "SHOP_NAME", 141);
    CmsBrowse::AddColumn(grdMain, "PROD_CLS_NUM", 88)->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    AddPlainColumn(grdMain, "PROD_NAME", 106);
    CmsBrowse::AddColumn(grdMain, "FROM_DATE", 79);
    CmsBrowse::AddColumn(grdMain, "TO_DATE", 72);
    CmsBrowse::AddColumn(grdMain, "CMS_RATE");
}

// ---- lifecycle -----------------------------------------------------------------------------

bool TCmsRsBrowseForm::InitRights() {
    return CmsBrowse::InitRights(*this, Priv_ViewCmsRs, Priv_ModifyCmsRs);
}

void TCmsRsBrowseForm::PrepareData() {
    GetData();
}

void TCmsRsBrowseForm::GetData() {
    CmsBrowse::LoadPacket<ICmsRs>("TCmsRsBean", &ICmsRs::LoadList, cdsMain, Caption());
}

bool TCmsRsBrowseForm::Save(std::string& ErrorMsg) {
    return CmsBrowse::SaveDelta<ICmsRs>(*this, "TCmsRsBean", ErrorMsg);
}

void TCmsRsBrowseForm::ShowStatus() {
    TBrowseForm::ShowStatus();
    switch (BrowseStatus()) {
    case TBrowseStatus::Empty:
        actNewLine->SetEnabled(true);
        actDeleteLine->SetEnabled(false);
        break;
    case TBrowseStatus::Browsing:
    case TBrowseStatus::Unsaved:
        actNewLine->SetEnabled(btnNew->Enabled());
        actDeleteLine->SetEnabled(btnDelete->Enabled());
        break;
    default:
        break;
    }
    actNewLines->SetEnabled(actNewLine->Enabled());
    actClearLines->SetEnabled(actDeleteLine->Enabled());
}

void TCmsRsBrowseForm::FormCreate(TComponent*) {
    FSnapshot = new TOrvClientDataSet(nullptr);
}

void TCmsRsBrowseForm::FormDestroy(TComponent*) {
    delete FSnapshot;
    FSnapshot = nullptr;
}

// The whole-set copy shares row storage with cdsMain, so taking it before every edit costs
// nothing that grows with the rows, and it keeps their order and record numbers.
void TCmsRsBrowseForm::TakeSnapshot() {
    TClientData Copy = cdsMain->GetData();
    if (Copy.Empty())
        FSnapshot->Close(); // a set never loaded has no rows to compare with
    else
        FSnapshot->SetData(Copy);
}

void TCmsRsBrowseForm::cdsMainBeforeEdit(TDataSet* DataSet) {
    TBrowseForm::cdsMainBeforeEdit(DataSet);
    TakeSnapshot();
}

void TCmsRsBrowseForm::cdsMainBeforeInsert(TDataSet* DataSet) {
    TBrowseForm::cdsMainBeforeInsert(DataSet);
    TakeSnapshot();
}

// ---- line actions --------------------------------------------------------------------------

void TCmsRsBrowseForm::actNewLineExecute(TComponent*) {
    grdMain->GetActiveDataSet()->Append();
}

void TCmsRsBrowseForm::actNewLinesExecute(TComponent*) {
    TDataSet* D = dtsMain->DataSet();
    if (D->State() == TDataSetState::dsEdit || D->State() == TDataSetState::dsInsert) D->Post();
    auto* Dialog = new TCmsRsBatchAppendForm(this);
    try {
        MergeBatch(*Dialog);
    } catch (...) {
        Dialog->Free();
        throw;
    }
    Dialog->Free();
}

// Every generated row goes through the window's own field handlers and checks, exactly as
// a typed row: the lookups fill the keys, the dialog's names are put back over the ones
// looked up, the rate is range-checked and the post runs the row rules. The first refusal
// ends the merge; the rows before it stay as pending changes and the refused row stays in
// insert state for the user to mend or drop.
void TCmsRsBrowseForm::MergeBatch(TCmsRsBatchAppendForm& Dialog) {
    if (!Dialog.Execute()) return;
    // Through the eight-character day text, so only the calendar day is kept.
    const std::string FromText = OrvDateToStr8(Dialog.edtFromDate->Date());
    const std::string ToText = OrvDateToStr8(Dialog.edtToDate->Date());
    const Variant FromDate = Variant::DateTime(OrvStr8ToDate(FromText));
    const Variant ToDate = Variant::DateTime(OrvStr8ToDate(ToText));
    const std::string Rate = Dialog.edtCmsRate->Text();

    TDataSet* Shops = Dialog.cdsShop;
    TDataSet* Classes = Dialog.cdsProdCls;
    TBusyScope Busy(this, LoadStr(MSG_APPENDING_LINES), Classes->RecordCount() * Shops->RecordCount());
    for (Classes->First(); !Classes->Eof(); Classes->Next()) {
        for (Shops->First(); !Shops->Eof(); Shops->Next(), Busy.Step()) {
            const Variant ShopID = Shops->FieldByName("SHOP_ID")->Value();
            const Variant ProdClsID = Classes->FieldByName("PROD_CLS_ID")->Value();
            // A row with exactly these keys keeps its rate; a shop or class listed twice
            // finds the row made for its first listing.
            if (cdsMain->Locate("SHOP_ID;PROD_CLS_ID;FROM_DATE;TO_DATE",
                                {ShopID, ProdClsID, FromDate, ToDate}))
                continue;
            cdsMain->Append();
            cdsMainSHOP_ID->SetValue(ShopID);
            cdsMainSHOP_NUM->SetValue(Shops->FieldByName("SHOP_NUM")->Value());
            cdsMainSHOP_NAME->SetValue(Shops->FieldByName("SHOP_NAME")->Value());
            cdsDetailPROD_CLS_ID->SetValue(ProdClsID);
            cdsMainPROD_CLS_NUM->SetValue(Classes->FieldByName("PROD_CLS_NUM")->Value());
            cdsMainPROD_NAME->SetValue(Classes->FieldByName("PROD_NAME")->Value());
            cdsMainFROM_DATE->SetValue(FromDate);
            cdsMainField->SetValue(ToDate);
            cdsMainCMS_RATE->SetAsString(Rate);
            cdsMain->Post();
        }
    }
    SetStatus(TBrowseStatus::Unsaved);
}

void TCmsRsBrowseForm::actDeleteLineExecute(TComponent*) {
    TDataSet* D = grdMain->GetActiveDataSet();
    if (D->RecordCount() > 0)
        D->Delete();
    else
        D->Cancel();
}

void TCmsRsBrowseForm::actClearLinesExecute(TComponent*) {
    if (Application->MessageBox(std::string(MSG_CLEAR_LINES_PROMPT), Caption(),
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    // A deletion that fails ends the loop; the rows gone so far are pending changes all
    // the same, so the status says so on that path too.
    try {
        TUpdatingScope Scope(Updating);
        if (cdsMain->State() == TDataSetState::dsEdit || cdsMain->State() == TDataSetState::dsInsert)
            cdsMain->Cancel();
        TBusyScope Busy(this, LoadStr(MSG_CLEARING_LINES), cdsMain->RecordCount());
        cdsMain->First();
        while (!cdsMain->Eof()) {
            cdsMain->Delete();
            Busy.Step();
        }
    } catch (...) {
        SetStatus(TBrowseStatus::Unsaved);
        throw;
    }
    SetStatus(TBrowseStatus::Unsaved);
}

// ---- row rules -----------------------------------------------------------------------------

void TCmsRsBrowseForm::cdsMainSHOP_NUMSetText(TField* Sender, const std::string& Text) {
    if (Updating) return;
    Sender->SetAsString(AnsiUpperAscii(Text));
}

void TCmsRsBrowseForm::cdsMainPROD_CLS_NUMSetText(TField* Sender, const std::string& Text) {
    if (Updating) return;
    Sender->SetAsString(AnsiUpperAscii(Text));
}

void TCmsRsBrowseForm::cdsMainSHOP_NUMValidate(TField* Sender) {
    if (!Updating) CmsBrowse::LookUpShopNumber(Sender, cdsData, Caption());
}

void TCmsRsBrowseForm::cdsMainPROD_CLS_NUMValidate(TField* Sender) {
    if (!Updating) CmsBrowse::LookUpProdClsNumber(Sender, cdsData, Caption());
}

void TCmsRsBrowseForm::cdsMainCMS_RATESetText(TField* Sender, const std::string& Text) {
    std::optional<double> Rate = ReadFloat(Text);
    if (Rate && !RateInRange(*Rate)) throw TUserException(LoadStr(MSG_CMS_RATE_OUT_OF_RANGE), Caption());
    Sender->SetValue(Sender->ParseText(Text));
}

void TCmsRsBrowseForm::cdsMainCMS_RATEValidate(TField* Sender) {
    // An empty rate reads as 0 and passes here; the check before posting reports it.
    double Rate = Sender->IsNull() ? 0.0 : Sender->AsFloat();
    if (!RateInRange(Rate)) throw TUserException(LoadStr(MSG_CMS_RATE_OUT_OF_RANGE), Caption());
}

void TCmsRsBrowseForm::CopyPicked(TField* NumField, const char* KeyField, const char* NumFieldName,
                                  const char* NameField, const char* DataKey, const char* DataNum,
                                  const char* DataName) {
    TDataSet* D = NumField->DataSet();
    if (D->State() == TDataSetState::dsBrowse) D->Edit();
    // The picked number is the unit's or class's own: neither upper-cased nor looked up
    // again. A write that fails leaves the flag as the caller had it.
    TUpdatingScope Scope(Updating);
    D->FieldByName(KeyField)->SetValue(cdsData->FieldByName(DataKey)->Value());
    D->FieldByName(NumFieldName)->SetValue(cdsData->FieldByName(DataNum)->Value());
    D->FieldByName(NameField)->SetValue(cdsData->FieldByName(DataName)->Value());
}

void TCmsRsBrowseForm::grdMainEditButtonClick(TComponent*) {
    TField* Field = grdMain->SelectedField();
    if (!Field) return;
    if (Field->FieldName() == "SHOP_NUM") {
        int UnitID = CmsBrowse::ReadSessionParams().UnitID;
        try {
            if (SelectUnitInTree(UnitID, UnitType_Shop, UnitType_Agent, Priv_ViewCmsRs, cdsData))
                CopyPicked(Field, "SHOP_ID", "SHOP_NUM", "SHOP_NAME", "UNIT_ID", "UNIT_NUM", "UNIT_NAME");
        } catch (...) {
            SetFocus();
            throw;
        }
        SetFocus();
    } else if (Field->FieldName() == "PROD_CLS_NUM") {
        try {
            if (SelectProdCls("", false, cdsData))
                CopyPicked(Field, "PROD_CLS_ID", "PROD_CLS_NUM", "PROD_NAME", "PROD_CLS_ID", "PROD_CLS_NUM",
                           "PROD_NAME");
        } catch (...) {
            SetFocus();
            throw;
        }
        SetFocus();
    }
}

void TCmsRsBrowseForm::cdsMainBeforePost(TDataSet* DataSet) {
    auto Require = [&](const char* KeyField, const char* FocusField, std::string_view Label) {
        if (!DataSet->FieldByName(KeyField)->IsNull()) return;
        DataSet->FieldByName(FocusField)->FocusControl();
        throw TUserException(Format(MSG_FIELD_VALUE_IS_REQUIRED, {Label}), Caption());
    };
    Require("SHOP_ID", "SHOP_NUM", FD_SHOP_SHOP_NUM);
    Require("PROD_CLS_ID", "PROD_CLS_NUM", FD_PROD_CLS_PROD_CLS_NUM);
    Require("FROM_DATE", "FROM_DATE", FD_CMS_RS_FROM_DATE);
    Require("TO_DATE", "TO_DATE", FD_CMS_RS_TO_DATE);
    Require("CMS_RATE", "CMS_RATE", FD_CMS_RS_CMS_RATE);
    TField* ToDate = DataSet->FieldByName("TO_DATE");
    if (DataSet->FieldByName("FROM_DATE")->AsDateTime() > ToDate->AsDateTime()) {
        ToDate->FocusControl();
        throw TUserException(LoadStr(MSG_TO_DATE_BEFORE_FROM_DATE), Caption());
    }
    CheckDateOverlap(DataSet);
}

void TCmsRsBrowseForm::CheckDateOverlap(TDataSet* DataSet) {
    if (!FSnapshot->Active()) return;
    const std::string ShopID = DataSet->FieldByName("SHOP_ID")->AsString();
    const std::string ProdClsID = DataSet->FieldByName("PROD_CLS_ID")->AsString();
    const TDateTime P1 = DataSet->FieldByName("FROM_DATE")->AsDateTime();
    const TDateTime P2 = DataSet->FieldByName("TO_DATE")->AsDateTime();
    // A row being inserted has record number 0, which names no snapshot row, so it is
    // compared with every row of its shop and product class.
    const int Own = cdsMain->RecNo();

    TField* SShop = FSnapshot->FieldByName("SHOP_ID");
    TField* SProdCls = FSnapshot->FieldByName("PROD_CLS_ID");
    TField* SFrom = FSnapshot->FieldByName("FROM_DATE");
    TField* STo = FSnapshot->FieldByName("TO_DATE");
    auto Conflicts = [&] {
        if (SShop->AsString() != ShopID || SProdCls->AsString() != ProdClsID) return false;
        if (FSnapshot->RecNo() == Own) return false;
        const TDateTime S1 = SFrom->AsDateTime();
        const TDateTime S2 = STo->AsDateTime();
        return (S1 > P1 && S2 <= P2) || (S2 >= P2 && S1 <= P2) || (S1 <= P1 && S2 >= P1);
    };
    // While the row is being edited cdsMain's stored rows are still the ones the snapshot
    // took, so cdsMain's key index (kept current across edits and appends) names the
    // snapshot rows of this shop and product class, in record order. Should the two ever
    // part, every row is walked.
    if (cdsMain->SharesRowsWith(*FSnapshot)) {
        const std::vector<int> Candidates = cdsMain->FindRecNos(
            {cdsMain->FieldByName("SHOP_ID"), cdsMain->FieldByName("PROD_CLS_ID")},
            {DataSet->FieldByName("SHOP_ID")->Value(), DataSet->FieldByName("PROD_CLS_ID")->Value()});
        for (int R : Candidates) {
            FSnapshot->SetRecNo(R);
            if (Conflicts()) throw TUserException(LoadStr(MSG_DATE_OVERLAP), Caption());
        }
        return;
    }
    for (FSnapshot->First(); !FSnapshot->Eof(); FSnapshot->Next())
        if (Conflicts()) throw TUserException(LoadStr(MSG_DATE_OVERLAP), Caption());
}

} // namespace orv
