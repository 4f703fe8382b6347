#include "forms/CmsValBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsValBrowseForm::TCmsValBrowseForm(TComponent* AOwner)
    : TCmsProdSortBrowseForm(AOwner, "CmsValBrowseForm", "金额提成管理", 508060003, "50806000301",
                             // No range: 0 and rates above 1 are both valid here.
                             {"cdsMainCMS_RATE", "CMS_RATE", 5, 4, "提成比例", FD_CMS_VAL_CMS_RATE}) {
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
