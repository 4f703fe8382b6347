#include "forms/CmsValBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsValBrowseForm::TCmsValBrowseForm(TComponent* AOwner)
    // No range on the rate: 0 and rates above 1 are both valid here.
    : TCmsProdSortBrowseForm(AOwner, {.Name = "CmsValBrowseForm",
                                      .Caption = "金额提成管理",
                                      .HelpContext = 508060003,
                                      .Width = 490,
                                      .Height = 330,
                                      .LayoutID = "50806000301",
                                      .CategoryColumnWidth = 180,
                                      .ValueComponent = "cdsMainCMS_RATE",
                                      .ValueField = "CMS_RATE",
                                      .ValuePrecision = 5,
                                      .ValueDecimals = 4,
                                      .ValueLabel = "提成比例",
                                      .ValueColumnWidth = 150,
                                      .ValueRequiredLabel = FD_CMS_VAL_CMS_RATE}) {
    CmsBrowse::HideButtons({btnSelect, btnSep1, btnDetail, btnSep3, btnFunctions, btnSep4, btnFilter});
    cdsMainCMS_RATE = FValueField;
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

} // namespace orv
