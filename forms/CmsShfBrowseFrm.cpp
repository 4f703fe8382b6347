#include "forms/CmsShfBrowseFrm.h"

#include "forms/CmsBrowseCommon.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "host/services/Glibres.h"

namespace orv {

TCmsShfBrowseForm::TCmsShfBrowseForm(TComponent* AOwner) : TBrowseForm(AOwner) {
    CmsBrowse::SetupWindow(*this, "CmsShfBrowseForm", "班次提成管理", 508060001, 490, 330);
    CmsBrowse::HideButtons({btnSelect, btnSep1, btnDetail, btnFunctions, btnSep4, btnFilter, btnSep5});

    cdsShiftList = new TOrvClientDataSet(this);
    cdsShiftList->SetName("cdsShiftList");

    cdsMain->SetKeyFields("SHF_ID");
    cdsMain->BeforePost = [this](TDataSet* D) { cdsMainBeforePost(D); };
    cdsMainSHF_ID = CmsBrowse::AddBCDField(cdsMain, "cdsMainSHF_ID", "SHF_ID", 4, 0, "班次ID");
    cdsMainSHF_NAME = CmsBrowse::AddLookupField(*this, "cdsMainSHF_NAME", "SHF_NAME", 50, "班次名称",
                                                "SHF_ID", cdsShiftList, "SHF_NAME");
    cdsMainCMS_VAL = CmsBrowse::AddBCDField(cdsMain, "cdsMainCMS_VAL", "CMS_VAL", 12, 2, "提成金额");
    cdsMainCMS_VAL->SetRequired(true);

    grdMain->SetLayoutID("50806000101");
    CmsBrowse::AddColumn(grdMain, "SHF_NAME", 200);
    CmsBrowse::AddColumn(grdMain, "CMS_VAL");
}

void TCmsShfBrowseForm::PrepareData() {
    CmsBrowse::LoadPacket<IWorkTimetable>("TWorkTimetableBean", &IWorkTimetable::GetShiftList, cdsShiftList,
                                          Caption());
    GetData();
}

bool TCmsShfBrowseForm::InitRights() {
    return CmsBrowse::InitRights(*this, Priv_ViewCmsShf, Priv_ModifyCmsShf);
}

void TCmsShfBrowseForm::GetData() {
    CmsBrowse::LoadPacket<ICmsShf>("TCmsShfBean", &ICmsShf::LoadList, cdsMain, Caption());
}

bool TCmsShfBrowseForm::Save(std::string& ErrorMsg) {
    return CmsBrowse::SaveDelta<ICmsShf>(*this, "TCmsShfBean", ErrorMsg);
}

void TCmsShfBrowseForm::cdsMainBeforePost(TDataSet* DataSet) {
    // The amount first: a row refused for it keeps its empty shift as it was.
    CmsBrowse::CheckRequired(DataSet->FieldByName("CMS_VAL"), FD_CMS_SHF_CMS_VAL, Caption());
    CmsBrowse::DefaultKey(DataSet->FieldByName("SHF_ID"));
}

} // namespace orv
