// What the two per-category windows share: one row per product category, its description
// looked up from the category list, and one required commission value.
#pragma once

#include "host/forms/BrowseFrm.h"

#include <string_view>

namespace orv {

class TCmsProdSortBrowseForm : public TBrowseForm {
public:
    TBCDField* cdsMainPROD_SORT_ID;
    // The product categories, the lookup source of PROD_SORT_DESC.
    TOrvClientDataSet* cdsProdSort;
    TStringField* cdsMainPROD_SORT_DESC;
    // The value is required; a row without a category gets Sys_UnknownID.
    void cdsMainBeforePost(TDataSet* DataSet);

    // The category list first, so that descriptions resolve as soon as the rows arrive.
    void PrepareData() override;

protected:
    // The window's own value column.
    struct TValueColumn {
        const char* ComponentName;
        const char* FieldName;
        int Precision;
        int Decimals;
        const char* Label;
        std::string_view RequiredLabel; // names the value in the required-value message
    };
    TCmsProdSortBrowseForm(TComponent* AOwner, const char* Name, const char* Caption, int HelpContext,
                           const char* LayoutID, const TValueColumn& Value);

    TBCDField* FValueField;

private:
    std::string_view FRequiredLabel;
};

} // namespace orv
