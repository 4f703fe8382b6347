#include "forms/CmsValBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsValBrowseForm::TCmsValBrowseForm(TComponent* AOwner) : TBrowseForm(AOwner) {
    CmsBrowse::SetupWindow(*this, "CmsValBrowseForm", "金额提成管理", 508060003, 490, 330);
    CmsBrowse::HideButtons({btnSelect, btnSep1, btnDetail, btnSep3, btnFunctions, btnSep4, btnFilter});

    cdsProdSort = new TOrvClientDataSet(this);
    cdsProdSort->SetName("cdsProdSort");

    cdsMain->SetKeyFields("PROD_SORT_ID");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainPROD_SORT_ID =
        CmsBrowse::AddBCDField(*this, "cdsMainPROD_SORT_ID", "PROD_SORT_ID", 8, 0, "商品类别ID");
    cdsMainPROD_SORT_DESC = CmsBrowse::AddLookupField(*this, "cdsMainPROD_SORT_DESC", "PROD_SORT_DESC", 30,
                                                      "商品类别", "PROD_SORT_ID", cdsProdSort, "DESCRIPTION");
    cdsMainPROD_SORT_DESC->SetDisplayWidth(30);
    // No range here: 0 and rates above 1 are both valid in this window.
    cdsMainCMS_RATE = CmsBrowse::AddBCDField(*this, "cdsMainCMS_RATE", "CMS_RATE", 5, 4, "提成比例");
    cdsMainCMS_RATE->SetRequired(true);

    grdMain->SetLayoutID("50806000301");
    CmsBrowse::AddColumn(grdMain, "PROD_SORT_DESC", 180);
    CmsBrowse::AddColumn(grdMain, "CMS_RATE", 150);
}

void TCmsValBrowseForm::PrepareData() {
    std::string ErrorMsg;
    if (!GetProductSortList(cdsProdSort, ErrorMsg)) throw TUserException(ErrorMsg, Caption());
    GetData();
}

bool TCmsValBrowseForm::InitRights() {
    return CmsBrowse::InitRights(*this, Priv_ViewCmsVal, Priv_ModifyCmsVal);
}

void TCmsValBrowseForm::GetData() {
    CmsBrowse::LoadPacket<ICmsVal>("TCmsValBean", &ICmsVal::LoadList, cdsMain, Caption());
}

bool TCmsValBrowseForm::Save(std::string& ErrorMsg) {
    return CmsBrowse::SaveDelta<ICmsVal>(*this, "TCmsValBean", ErrorMsg);
}

void TCmsValBrowseForm::cdsMainBeforePost(TDataSet* DataSet) {
    CmsBrowse::CheckRequired(DataSet->FieldByName("CMS_RATE"), FD_CMS_VAL_CMS_RATE, Caption());
    CmsBrowse::DefaultKey(DataSet->FieldByName("PROD_SORT_ID"));
}

} // namespace orv
