#include "forms/CmsProdSortBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/Cshare.h"

#include <string>

namespace orv {

TCmsProdSortBrowseForm::TCmsProdSortBrowseForm(TComponent* AOwner, const TWindowFacts& Facts)
    : TBrowseForm(AOwner), FRequiredLabel(Facts.ValueRequiredLabel) {
    CmsBrowse::SetupWindow(*this, Facts.Name, Facts.Caption, Facts.HelpContext, Facts.Width, Facts.Height);

    cdsProdSort = new TOrvClientDataSet(this);
    cdsProdSort->SetName("cdsProdSort");

    cdsMain->SetKeyFields("PROD_SORT_ID");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainPROD_SORT_ID =
        CmsBrowse::AddBCDField(cdsMain, "cdsMainPROD_SORT_ID", "PROD_SORT_ID", 8, 0, "商品类别ID");
    cdsMainPROD_SORT_DESC = CmsBrowse::AddLookupField(*this, "cdsMainPROD_SORT_DESC", "PROD_SORT_DESC", 30,
                                                      "商品类别", "PROD_SORT_ID", cdsProdSort, "DESCRIPTION");
    cdsMainPROD_SORT_DESC->SetDisplayWidth(30);
    FValueField = CmsBrowse::AddBCDField(cdsMain, Facts.ValueComponent, Facts.ValueField, Facts.ValuePrecision,
                                         Facts.ValueDecimals, Facts.ValueLabel);
    FValueField->SetRequired(true);

    grdMain->SetLayoutID(Facts.LayoutID);
    CmsBrowse::AddColumn(grdMain, "PROD_SORT_DESC", Facts.CategoryColumnWidth);
    CmsBrowse::AddColumn(grdMain, Facts.ValueField, Facts.ValueColumnWidth);
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
