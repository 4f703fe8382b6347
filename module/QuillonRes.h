// The module's own texts, string resources 65520 to 65526, looked up by id when raised.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orv {

struct TModuleResString {
    int Id;
    std::string_view Name;
    std::string_view Text;
};

inline constexpr int MSG_CMS_RATE_OUT_OF_RANGE = 65520;
inline constexpr int MSG_CLEAR_SHOPS_PROMPT = 65521;
inline constexpr int MSG_TO_DATE_BEFORE_FROM_DATE = 65522;
inline constexpr int MSG_INVALID_VALUE = 65523;
inline constexpr int MSG_DATE_OVERLAP = 65524;
inline constexpr int MSG_SHOP_LIST_EMPTY = 65525;
inline constexpr int MSG_PROD_CLS_LIST_EMPTY = 65526;
// What a long command of the consignment window shows while it runs.
inline constexpr int MSG_APPENDING_LINES = 65527;
inline constexpr int MSG_CLEARING_LINES = 65528;

// The text of a module resource; raises orv::Exception for an id the module does not have.
std::string LoadStr(int Id);
std::span<const TModuleResString> QuillonResStrings();

} // namespace orv
