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

class QApplication;

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
// The look of the host's application: the Fusion style, and one CJK face for the whole
// interface so that Chinese text never falls back glyph by glyph (the windows' own title
// fonts are mapped separately). 12 pixels is the size the windows' column widths were
// laid out for: a date such as 2025-12-31 fits its column.
void ApplyHostLook(QApplication& App);
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
