// The shift commission window: one commission amount per work shift.
#pragma once

#include "host/forms/BrowseFrm.h"

namespace orv {

class TCmsShfBrowseForm : public TBrowseForm {
public:
    explicit TCmsShfBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainSHF_ID;
    TBCDField* cdsMainCMS_VAL;
    // The shifts, the lookup source of SHF_NAME.
    TOrvClientDataSet* cdsShiftList;
    TStringField* cdsMainSHF_NAME;
    void cdsMainBeforePost(TDataSet* DataSet);

    // The shift list first, so that names resolve as soon as the rows arrive.
    void PrepareData() override;
    bool InitRights() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
};

} // namespace orv
