// Where a user's grid layouts (column order and widths) live between runs.
#pragma once

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace orv::qt {

struct TGridLayout {
    // Field names, left to right.
    std::vector<std::string> Order;
    // Pixels, by field name.
    std::map<std::string, int> Widths;
    bool Empty() const { return Order.empty() && Widths.empty(); }
};

// Keeps layouts in QSettings under organisation "Quillon", one entry per user and layout
// id. User and layout id are percent-encoded in the key, so no name can reach into
// another user's entry.
class TLayoutStore {
public:
    // The user's own settings file of the organisation.
    TLayoutStore();
    // An INI file of its own (tests, portable setups).
    explicit TLayoutStore(QString IniFile);

    TGridLayout Load(const std::string& User, const std::string& LayoutID) const;
    void Save(const std::string& User, const std::string& LayoutID, const TGridLayout& Layout);

private:
    QString FIniFile;
};

} // namespace orv::qt
