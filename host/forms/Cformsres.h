// Texts of the host's form framework.
//
// Keys and identifiers follow the rule of host/core/ResStrings.h.
#pragma once

#include "host/core/ResStrings.h"

#include <span>
#include <string_view>

namespace orv {

std::span<const TResString> CformsresStrings();

// Asked before a window removes all of its detail lines.
inline constexpr std::string_view MSG_CLEAR_LINES_PROMPT = "您确认要清除所有明细吗？";

// The argument is the window's caption.
inline constexpr std::string_view MSG_NO_RIGHT_TO_VIEW = "您没有查看“%s”的权限。";
inline constexpr std::string_view MSG_NO_RIGHT_TO_MODIFY = "您没有修改“%s”的权限。";
inline constexpr std::string_view MSG_SAVE_CHANGES_PROMPT = "数据已经修改，是否保存？";
inline constexpr std::string_view MSG_SAVE_FAILED = "保存失败。";
inline constexpr std::string_view MSG_DELETE_RECORD_PROMPT = "您确认要删除当前记录吗？";
inline constexpr std::string_view MSG_RECORD_CANNOT_MODIFY = "当前记录不允许修改。";
inline constexpr std::string_view MSG_RECORD_CANNOT_DELETE = "当前记录不允许删除。";
// Why a key typed into a cell did nothing: no right to change the rows, or a column that
// only shows (the argument is the column's title).
inline constexpr std::string_view MSG_GRID_READ_ONLY = "只读：您没有修改这些数据的权限，不能输入。";
inline constexpr std::string_view MSG_COLUMN_READ_ONLY = "“%s”只能查看，不能输入。";
// The status area of a window the user may not change.
inline constexpr std::string_view CAP_READ_ONLY = "只读";
// The argument is the command's caption.
inline constexpr std::string_view MSG_NOT_AVAILABLE = "此窗口没有“%s”功能。";
// The argument is the window's caption.
inline constexpr std::string_view MSG_NO_RIGHT_TO_EXPORT = "您没有导出“%s”的权限。";
// The argument is the reason.
inline constexpr std::string_view MSG_EXPORT_FAILED = "导出失败：%s";
inline constexpr std::string_view MSG_EXPORTING = "正在导出……";
inline constexpr std::string_view MSG_ERROR_TITLE = "错误";

// Captions of the browse window's tool bar and record count.
inline constexpr std::string_view CAP_SELECT = "选择";
inline constexpr std::string_view CAP_NEW = "新增";
inline constexpr std::string_view CAP_DELETE = "删除";
inline constexpr std::string_view CAP_SAVE = "保存";
inline constexpr std::string_view CAP_REFRESH = "刷新";
inline constexpr std::string_view CAP_DETAIL = "明细";
inline constexpr std::string_view CAP_FUNCTIONS = "功能";
inline constexpr std::string_view CAP_FILTER = "过滤";
inline constexpr std::string_view CAP_EXPORT = "导出";
inline constexpr std::string_view CAP_CLOSE = "关闭";
inline constexpr std::string_view CAP_RECORD_COUNT = "记录数：";
// The kinds of file the export offers.
inline constexpr std::string_view CAP_EXPORT_XLSX = "XLSX 工作簿";
inline constexpr std::string_view CAP_EXPORT_CSV = "CSV 文件（UTF-8，逗号分隔）";

} // namespace orv
