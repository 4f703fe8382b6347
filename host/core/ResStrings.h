// A table of texts by key, the form every text table of the host and the plug-in takes.
//
// Each text has a key, the name translations and the resource tables use, and an
// identifier for code. A key may begin with an underscore and a capital or hold a double
// underscore, which C++ reserves; the identifier drops the leading underscore and folds
// "__" to "_" (key "_FD_CMS_RS__TO_DATE", identifier FD_CMS_RS_TO_DATE).
#pragma once

#include <span>
#include <string_view>

namespace orv {

struct TResString {
    std::string_view Key;
    std::string_view Text;
};

// The entry of Table with this key; nullptr when it has none.
inline const TResString* FindResString(std::span<const TResString> Table, std::string_view Key) {
    for (const TResString& R : Table)
        if (R.Key == Key) return &R;
    return nullptr;
}

} // namespace orv
