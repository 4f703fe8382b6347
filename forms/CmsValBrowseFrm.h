// The amount commission window: one commission rate per product category.
#pragma once

#include "host/forms/BrowseFrm.h"

namespace orv {

class TCmsValBrowseForm : public TBrowseForm {
public:
    explicit TCmsValBrowseForm(TComponent* AOwner);

    TBCDField* cdsMainPROD_SORT_ID;
    TBCDField* cdsMainCMS_RATE;
    TStringField* cdsMainPROD_SORT_DESC;
    // The product categories, the lookup source of PROD_SORT_DESC.
    TOrvClientDataSet* cdsProdSort;
    void cdsMainBeforePost(TDataSet* DataSet);

    // The category list first, so that descriptions resolve as soon as the rows arrive.
    void PrepareData() override;
    bool InitRights() override;
    void GetData() override;
    bool Save(std::string& ErrorMsg) override;
};

} // namespace orv
