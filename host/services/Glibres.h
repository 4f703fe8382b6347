// The host's general texts: field labels (_FD_) and messages (_MSG_).
//
// Keys and identifiers follow the rule of host/core/ResStrings.h.
#pragma once

#include "host/core/ResStrings.h"

#include <span>
#include <string>
#include <string_view>

namespace orv {

// A host text by its key, from any host table (this unit's and the form framework's); raises orv::Exception for an unknown key.
std::string LoadResString(std::string_view Key);
// This unit's table.
std::span<const TResString> GlibresStrings();

// A value the user must give; the one argument is the field's label.
inline constexpr std::string_view MSG_FIELD_VALUE_IS_REQUIRED = "“%s”不能为空。";

// Field labels, as the fields' display labels read.
inline constexpr std::string_view FD_CMS_SHF_CMS_VAL = "提成金额";
inline constexpr std::string_view FD_CMS_QTY_CMS_VAL = "提成金额";
inline constexpr std::string_view FD_CMS_VAL_CMS_RATE = "提成比例";
inline constexpr std::string_view FD_SHOP_SHOP_NUM = "门店编号";
inline constexpr std::string_view FD_PROD_CLS_PROD_CLS_NUM = "商品品种编号";
inline constexpr std::string_view FD_CMS_RS_FROM_DATE = "开始日期";
inline constexpr std::string_view FD_CMS_RS_TO_DATE = "结束日期";
inline constexpr std::string_view FD_CMS_RS_CMS_RATE = "提成比例";

} // namespace orv
