// Host-wide constants: privilege codes, unit types and reserved ids.
#pragma once

namespace orv {

// View and modify privileges of the commission windows.
inline constexpr const char* Priv_ViewCmsShf = "CMS_SHF_VIEW";
inline constexpr const char* Priv_ModifyCmsShf = "CMS_SHF_MODIFY";
inline constexpr const char* Priv_ViewCmsQty = "CMS_QTY_VIEW";
inline constexpr const char* Priv_ModifyCmsQty = "CMS_QTY_MODIFY";
inline constexpr const char* Priv_ViewCmsVal = "CMS_VAL_VIEW";
inline constexpr const char* Priv_ModifyCmsVal = "CMS_VAL_MODIFY";
inline constexpr const char* Priv_ViewCmsRs = "CMS_RS_VIEW";
inline constexpr const char* Priv_ModifyCmsRs = "CMS_RS_MODIFY";

// Unit types of the organisation tree.
inline constexpr const char* UnitType_Company = "C";
inline constexpr const char* UnitType_Region = "R";
inline constexpr const char* UnitType_Shop = "S";
inline constexpr const char* UnitType_Agent = "A";

// An id that names nothing: "not chosen" in a row, "search by number" in a lookup.
inline constexpr int Sys_UnknownID = -1;
// The root of the unit tree: the whole chain.
inline constexpr int Sys_GlobalUnitID = 0;

} // namespace orv
