// The amount commission window: one commission rate per product category.
#pragma once

#include "forms/CmsProdSortBrowseFrm.h"

namespace orv {

class TCmsValBrowseForm : public TCmsProdSortBrowseForm {
public:
    explicit TCmsValBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainCMS_RATE;

    bool InitRights() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
};

} // namespace orv
