// Conversions between the form model's values and Qt's: text, keys, colours, fonts, dates.
#pragma once

#include "host/core/DateUtils.h"
#include "host/forms/ActnList.h"
#include "host/forms/Controls.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QKeySequence>
#include <QPalette>
#include <QString>

#include <string>

namespace orv::qt {

inline QString ToQString(const std::string& Text) {
    return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

inline std::string FromQString(const QString& Text) {
    return Text.toStdString();
}

// The Qt key of a shortcut's virtual-key code; 0 when Qt has none.
int QtKeyOfVirtualKey(std::uint16_t Vk);
// The virtual-key code of a Qt key; 0 when the model has none.
std::uint16_t VirtualKeyOfQtKey(int Key);

QKeySequence ToKeySequence(TShortCut Key);
// scNone for a key the model cannot name.
TShortCut FromKey(int Key, Qt::KeyboardModifiers Modifiers);

// A system colour resolves through the palette; 0x00BBGGRR otherwise.
QColor ToColor(TColor Color, const QPalette& Palette);

// The installed family that stands in for a family the windows name. The classic Chinese
// serif faces map to an installed CJK serif; an unknown name is kept, so that fontconfig
// may still find it.
QString MapFontFamily(const std::string& Name);
// Whether the font is the one every control starts with: such a control keeps the
// application's font instead.
bool IsDefaultFont(const TFont& Font);
// Base with family, pixel height, pitch and style of Font.
QFont ToFont(const TFont& Font, const QFont& Base);

// A day of the model (days since 1899-12-30) and a Qt date.
QDate ToQDate(TDateTime Value);
TDateTime FromQDate(const QDate& Value);

// A caption with its '&' accelerator marks dropped ("&&" stays one '&'), for widgets that
// show text literally.
QString StripAccelerator(const std::string& Caption);

} // namespace orv::qt
