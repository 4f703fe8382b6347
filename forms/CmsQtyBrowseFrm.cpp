#include "forms/CmsQtyBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsQtyBrowseForm::TCmsQtyBrowseForm(TComponent* AOwner)
    : TCmsProdSortBrowseForm(AOwner, {.Name = "CmsQtyBrowseForm",
                                      .Caption = "数量提成管理",
                                      .HelpContext = 508060002,
                                      .Width = 490,
                                      .Height = 330,
                                      .LayoutID = "50806000201",
                                      .CategoryColumnWidth = 180,
                                      .ValueComponent = "cdsMainCMS_VAL",
                                      .ValueField = "CMS_VAL",
                                      .ValuePrecision = 12,
                                      .ValueDecimals = 2,
                                      .ValueLabel = "提成金额",
                                      .ValueColumnWidth = 150,
                                      .ValueRequiredLabel = FD_CMS_QTY_CMS_VAL}) {
    CmsBrowse::HideButtons({btnSelect, btnSep1, btnDetail, btnFunctions, btnSep4, btnFilter, btnSep5});
    cdsMainCMS_VAL = FValueField;
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

} // namespace orv
