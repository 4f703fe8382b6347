#include "forms/CmsQtyBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsQtyBrowseForm::TCmsQtyBrowseForm(TComponent* AOwner)
    : TCmsProdSortBrowseForm(AOwner, "CmsQtyBrowseForm", "数量提成管理", 508060002, "50806000201",
                             {"cdsMainCMS_VAL", "CMS_VAL", 12, 2, "提成金额", FD_CMS_QTY_CMS_VAL}) {
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
