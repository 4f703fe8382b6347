// The quantity commission window: one commission amount per product category.
#pragma once

#include "host/forms/BrowseFrm.h"

namespace orv {

class TCmsQtyBrowseForm : public TBrowseForm {
public:
    explicit TCmsQtyBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainPROD_SORT_ID;
    TBCDField* cdsMainCMS_VAL;
    // The product categories, the lookup source of PROD_SORT_DESC.
    TOrvClientDataSet* cdsProdSort;
    TStringField* cdsMainPROD_SORT_DESC;
    void cdsMainBeforePost(TDataSet* DataSet);

    // The category list first, so that descriptions resolve as soon as the rows arrive.
    void PrepareData() override;
    bool InitRights() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
};

} // namespace orv
