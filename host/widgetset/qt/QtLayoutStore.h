// Where a user's grid layouts (column order and widths) live between runs.
#pragma once

#include "host/forms/DBGrids.h"

#include <QRect>
#include <QString>

#include <string>

namespace orv::qt {

using orv::TGridLayout;

// Where a window was and how large, as the user left it.
struct TWindowPlace {
    QRect Geometry; // of the inside of the window, in screen coordinates; null when unknown
    bool Maximized = false;
    bool Empty() const { return Geometry.isNull(); }
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
    // A window's place, per user and window name.
    TWindowPlace LoadWindow(const std::string& User, const std::string& Window) const;
    void SaveWindow(const std::string& User, const std::string& Window, const TWindowPlace& Place);

private:
    QString FIniFile;
};

} // namespace orv::qt
