// The quantity commission window: one commission amount per product category.
#pragma once

#include "forms/CmsProdSortBrowseFrm.h"

namespace orv {

class TCmsQtyBrowseForm : public TCmsProdSortBrowseForm {
public:
    explicit TCmsQtyBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainCMS_VAL;

    bool InitRights() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
};

} // namespace orv
