#include "forms/CmsProdSortBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/Cshare.h"

#include <string>

namespace orv {

TCmsProdSortBrowseForm::TCmsProdSortBrowseForm(TComponent* AOwner, const char* Name, const char* Caption,
                                               int HelpContext, const char* LayoutID, const TValueColumn& Value)
    : TBrowseForm(AOwner), FRequiredLabel(Value.RequiredLabel) {
    CmsBrowse::SetupWindow(*this, Name, Caption, HelpContext, 490, 330);

    cdsProdSort = new TOrvClientDataSet(this);
    cdsProdSort->SetName("cdsProdSort");

    cdsMain->SetKeyFields("PROD_SORT_ID");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainPROD_SORT_ID =
        CmsBrowse::AddBCDField(*this, "cdsMainPROD_SORT_ID", "PROD_SORT_ID", 8, 0, "商品类别ID");
    cdsMainPROD_SORT_DESC = CmsBrowse::AddLookupField(*this, "cdsMainPROD_SORT_DESC", "PROD_SORT_DESC", 30,
                                                      "商品类别", "PROD_SORT_ID", cdsProdSort, "DESCRIPTION");
    cdsMainPROD_SORT_DESC->SetDisplayWidth(30);
    FValueField = CmsBrowse::AddBCDField(*this, Value.ComponentName, Value.FieldName, Value.Precision,
                                         Value.Decimals, Value.Label);
    FValueField->SetRequired(true);

    grdMain->SetLayoutID(LayoutID);
    CmsBrowse::AddColumn(grdMain, "PROD_SORT_DESC", 180);
    CmsBrowse::AddColumn(grdMain, Value.FieldName, 150);
}

void TCmsProdSortBrowseForm::PrepareData() {
    std::string ErrorMsg;
    if (!GetProductSortList(cdsProdSort, ErrorMsg)) throw TUserException(ErrorMsg, Caption());
    GetData();
}

void TCmsProdSortBrowseForm::cdsMainBeforePost(TDataSet* DataSet) {
    CmsBrowse::CheckRequired(DataSet->FieldByName(FValueField->FieldName()), FRequiredLabel, Caption());
    CmsBrowse::DefaultKey(DataSet->FieldByName("PROD_SORT_ID"));
}

} // namespace orv
