#include "forms/CmsQtyBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsQtyBrowseForm::TCmsQtyBrowseForm(TComponent* AOwner) : TBrowseForm(AOwner) {
    CmsBrowse::SetupWindow(*this, "CmsQtyBrowseForm", "数量提成管理", 508060002, 490, 330);
    CmsBrowse::HideButtons({btnSelect, btnSep1, btnDetail, btnFunctions, btnSep4, btnFilter, btnSep5});

    cdsProdSort = new TOrvClientDataSet(this);
    cdsProdSort->SetName("cdsProdSort");

    cdsMain->SetKeyFields("PROD_SORT_ID");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainPROD_SORT_ID =
        CmsBrowse::AddBCDField(*this, "cdsMainPROD_SORT_ID", "PROD_SORT_ID", 8, 0, "商品类别ID");
    cdsMainPROD_SORT_DESC = CmsBrowse::AddLookupField(*this, "cdsMainPROD_SORT_DESC", "PROD_SORT_DESC", 30,
                                                      "商品类别", "PROD_SORT_ID", cdsProdSort, "DESCRIPTION");
    cdsMainPROD_SORT_DESC->SetDisplayWidth(30);
    cdsMainCMS_VAL = CmsBrowse::AddBCDField(*this, "cdsMainCMS_VAL", "CMS_VAL", 12, 2, "提成金额");
    cdsMainCMS_VAL->SetRequired(true);

    grdMain->SetLayoutID("50806000201");
    CmsBrowse::AddColumn(grdMain, "PROD_SORT_DESC", 180);
    CmsBrowse::AddColumn(grdMain, "CMS_VAL", 150);
}

void TCmsQtyBrowseForm::PrepareData() {
    std::string ErrorMsg;
    if (!GetProductSortList(cdsProdSort, ErrorMsg)) throw TUserException(ErrorMsg, Caption());
    GetData();
}

bool TCmsQtyBrowseForm::InitRights() {
    return CmsBrowse::InitRights(*this, Priv_ViewCmsQty, Priv_ModifyCmsQty);
}

void TCmsQtyBrowseForm::GetData() {
    CmsBrowse::LoadPacket<ICmsQty>("TCmsQtyBean", &ICmsQty::LoadList, cdsMain, Caption());
}

bool TCmsQtyBrowseForm::Save(std::string& ErrorMsg) {
    return CmsBrowse::SaveDelta<ICmsQty>(*this, "TCmsQtyBean", ErrorMsg);
}

void TCmsQtyBrowseForm::cdsMainBeforePost(TDataSet* DataSet) {
    CmsBrowse::CheckRequired(DataSet->FieldByName("CMS_VAL"), FD_CMS_QTY_CMS_VAL, Caption());
    CmsBrowse::DefaultKey(DataSet->FieldByName("PROD_SORT_ID"));
}

} // namespace orv
