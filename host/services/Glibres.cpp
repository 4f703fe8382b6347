#include "host/services/Glibres.h"

#include "host/core/SysUtils.h"
#include "host/forms/Cformsres.h"

namespace orv {

namespace {
constexpr TResString GTable[] = {
    {"_MSG_FIELD_VALUE_IS_REQUIRED", MSG_FIELD_VALUE_IS_REQUIRED},
    {"_FD_CMS_SHF__CMS_VAL", FD_CMS_SHF_CMS_VAL},
    {"_FD_CMS_QTY__CMS_VAL", FD_CMS_QTY_CMS_VAL},
    {"_FD_CMS_VAL__CMS_RATE", FD_CMS_VAL_CMS_RATE},
    {"_FD_SHOP__SHOP_NUM", FD_SHOP_SHOP_NUM},
    {"_FD_PROD_CLS__PROD_CLS_NUM", FD_PROD_CLS_PROD_CLS_NUM},
    {"_FD_CMS_RS__FROM_DATE", FD_CMS_RS_FROM_DATE},
    {"_FD_CMS_RS__TO_DATE", FD_CMS_RS_TO_DATE},
    {"_FD_CMS_RS__CMS_RATE", FD_CMS_RS_CMS_RATE},
};

} // namespace

std::span<const TResString> GlibresStrings() {
    return GTable;
}

std::string LoadResString(std::string_view Key) {
    const TResString* R = FindResString(GlibresStrings(), Key);
    if (!R) R = FindResString(CformsresStrings(), Key);
    if (!R) throw Exception(Format("找不到资源字符串“%s”。", {Key}));
    return std::string(R->Text);
}

} // namespace orv
