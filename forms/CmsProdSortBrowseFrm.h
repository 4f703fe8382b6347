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
    // What makes one of these windows itself, written out in its own file.
    struct TWindowFacts {
        const char* Name;
        const char* Caption;
        int HelpContext;
        int Width, Height;
        const char* LayoutID;
        int CategoryColumnWidth;
        // The window's own value: component and field name, size, label, column width,
        // and the label the required-value message names it by.
        const char* ValueComponent;
        const char* ValueField;
        int ValuePrecision, ValueDecimals;
        const char* ValueLabel;
        int ValueColumnWidth;
        std::string_view ValueRequiredLabel;
    };
    TCmsProdSortBrowseForm(TComponent* AOwner, const TWindowFacts& Facts);

    TBCDField* FValueField;

private:
    std::string_view FRequiredLabel;
};

} // namespace orv
