#include "module/QuillonRes.h"

#include "host/core/SysUtils.h"

namespace orv {

namespace {
constexpr TModuleResString GTable[] = {
    {MSG_CMS_RATE_OUT_OF_RANGE, "MSG_CMS_RATE_OUT_OF_RANGE", "提成比例必须在０到１之间。"},
    {MSG_CLEAR_SHOPS_PROMPT, "MSG_CLEAR_SHOPS_PROMPT", "您确认要清除所有门店吗？"},
    {MSG_TO_DATE_BEFORE_FROM_DATE, "MSG_TO_DATE_BEFORE_FROM_DATE", "结束日期必须大于或者等于开始日期。"},
    {MSG_INVALID_VALUE, "MSG_INVALID_VALUE", "非法数值。"},
    {MSG_DATE_OVERLAP, "MSG_DATE_OVERLAP", "日期重叠。"},
    {MSG_SHOP_LIST_EMPTY, "MSG_SHOP_LIST_EMPTY", "门店列表不能为空。"},
    {MSG_PROD_CLS_LIST_EMPTY, "MSG_PROD_CLS_LIST_EMPTY", "商品品种列表不能为空。"},
    {MSG_APPENDING_LINES, "MSG_APPENDING_LINES", "正在添加明细……"},
    {MSG_CLEARING_LINES, "MSG_CLEARING_LINES", "正在清除明细……"},
};
} // namespace

std::span<const TModuleResString> QuillonResStrings() {
    return GTable;
}

std::string LoadStr(int Id) {
    for (const TModuleResString& R : GTable)
        if (R.Id == Id) return std::string(R.Text);
    throw Exception(Format("找不到资源字符串 %s。", {std::to_string(Id)}));
}

} // namespace orv
