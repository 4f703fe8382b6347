#include "host/widgetset/qt/QtConvert.h"

#include <QApplication>
#include <QFontDatabase>

#include <array>
#include <utility>

namespace orv::qt {

namespace {

// Keys whose codes do not follow from a range.
constexpr std::array<std::pair<std::uint16_t, int>, 16> NamedKeys{{
    {VK_BACK, Qt::Key_Backspace},
    {VK_TAB, Qt::Key_Tab},
    {VK_RETURN, Qt::Key_Return},
    {VK_ESCAPE, Qt::Key_Escape},
    {VK_SPACE, Qt::Key_Space},
    {VK_PRIOR, Qt::Key_PageUp},
    {VK_NEXT, Qt::Key_PageDown},
    {VK_END, Qt::Key_End},
    {VK_HOME, Qt::Key_Home},
    {VK_LEFT, Qt::Key_Left},
    {VK_UP, Qt::Key_Up},
    {VK_RIGHT, Qt::Key_Right},
    {VK_DOWN, Qt::Key_Down},
    {VK_INSERT, Qt::Key_Insert},
    {VK_DELETE, Qt::Key_Delete},
    {VK_RETURN, Qt::Key_Enter}, // the keypad's Enter is Enter to the model too
}};

const QDate DayZero(1899, 12, 30);

bool IsChineseSerifName(const std::string& Name) {
    return Name == "宋体" || Name == "新宋体" || Name == "SimSun" || Name == "NSimSun" || Name == "MS Song";
}

bool IsChineseSansName(const std::string& Name) {
    return Name == "黑体" || Name == "微软雅黑" || Name == "SimHei" || Name == "Microsoft YaHei";
}

QString FirstInstalled(std::initializer_list<const char*> Families) {
    const QStringList Installed = QFontDatabase::families();
    for (const char* F : Families)
        if (Installed.contains(QString::fromLatin1(F), Qt::CaseInsensitive)) return QString::fromLatin1(F);
    return {};
}

} // namespace

int QtKeyOfVirtualKey(std::uint16_t Vk) {
    if (Vk >= 'A' && Vk <= 'Z') return Qt::Key_A + (Vk - 'A');
    if (Vk >= '0' && Vk <= '9') return Qt::Key_0 + (Vk - '0');
    if (Vk >= VK_F1 && Vk <= VK_F1 + 11) return Qt::Key_F1 + (Vk - VK_F1);
    for (const auto& [Code, Key] : NamedKeys)
        if (Code == Vk) return Key;
    return 0;
}

std::uint16_t VirtualKeyOfQtKey(int Key) {
    if (Key >= Qt::Key_A && Key <= Qt::Key_Z) return static_cast<std::uint16_t>('A' + (Key - Qt::Key_A));
    if (Key >= Qt::Key_0 && Key <= Qt::Key_9) return static_cast<std::uint16_t>('0' + (Key - Qt::Key_0));
    if (Key >= Qt::Key_F1 && Key <= Qt::Key_F12)
        return static_cast<std::uint16_t>(VK_F1 + (Key - Qt::Key_F1));
    if (Key == Qt::Key_Backtab) return VK_TAB;
    for (const auto& [Code, QtKey] : NamedKeys)
        if (QtKey == Key) return Code;
    return 0;
}

QKeySequence ToKeySequence(TShortCut Key) {
    int Code = QtKeyOfVirtualKey(Key & 0xFF);
    if (Code == 0) return {};
    Qt::KeyboardModifiers Modifiers;
    if (Key & scShift) Modifiers |= Qt::ShiftModifier;
    if (Key & scCtrl) Modifiers |= Qt::ControlModifier;
    if (Key & scAlt) Modifiers |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(Modifiers, static_cast<Qt::Key>(Code)));
}

TShortCut FromKey(int Key, Qt::KeyboardModifiers Modifiers) {
    std::uint16_t Vk = VirtualKeyOfQtKey(Key);
    if (Vk == 0) return scNone;
    TShortCut Result = Vk;
    // Shift+Tab arrives as Backtab with Shift held; either way it is Shift+Tab.
    if ((Modifiers & Qt::ShiftModifier) || Key == Qt::Key_Backtab) Result |= scShift;
    if (Modifiers & Qt::ControlModifier) Result |= scCtrl;
    if (Modifiers & Qt::AltModifier) Result |= scAlt;
    return Result;
}

QColor ToColor(TColor Color, const QPalette& Palette) {
    if ((Color & 0xFF000000u) == 0xFF000000u) {
        switch (Color) {
        case clWindow:
            return Palette.color(QPalette::Base);
        case clWindowText:
            return Palette.color(QPalette::Text);
        case clHighlight:
            return Palette.color(QPalette::Highlight);
        case clHighlightText:
            return Palette.color(QPalette::HighlightedText);
        case clBtnFace:
            return Palette.color(QPalette::Button);
        default:
            return Palette.color(QPalette::WindowText);
        }
    }
    return QColor(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                  static_cast<int>((Color >> 16) & 0xFF));
}

QString MapFontFamily(const std::string& Name) {
    if (IsChineseSerifName(Name)) {
        QString F = FirstInstalled(
            {"Noto Serif CJK SC", "Source Han Serif SC", "AR PL UMing CN", "Noto Sans CJK SC"});
        if (!F.isEmpty()) return F;
    } else if (IsChineseSansName(Name)) {
        QString F = FirstInstalled({"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Zen Hei"});
        if (!F.isEmpty()) return F;
    }
    return ToQString(Name);
}

void ApplyHostLook(QApplication& App) {
    App.setStyle(QStringLiteral("Fusion"));
    const QString Face = FirstInstalled({"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Zen Hei"});
    if (Face.isEmpty()) return;
    QFont F(Face);
    F.setPixelSize(12);
    App.setFont(F);
}

bool IsDefaultFont(const TFont& Font) {
    return Font == TFont{};
}

QFont ToFont(const TFont& Font, const QFont& Base) {
    QFont Result = Base;
    if (!Font.Name.empty()) Result.setFamily(MapFontFamily(Font.Name));
    if (Font.Height > 0) Result.setPixelSize(Font.Height);
    if (Font.Pitch == TFontPitch::fpFixed) Result.setStyleHint(QFont::TypeWriter);
    Result.setBold(Font.Style.Contains(TFontStyle::fsBold));
    Result.setItalic(Font.Style.Contains(TFontStyle::fsItalic));
    Result.setUnderline(Font.Style.Contains(TFontStyle::fsUnderline));
    Result.setStrikeOut(Font.Style.Contains(TFontStyle::fsStrikeOut));
    return Result;
}

QDate ToQDate(TDateTime Value) {
    return DayZero.addDays(DateOf(Value));
}

TDateTime FromQDate(const QDate& Value) {
    return static_cast<TDateTime>(DayZero.daysTo(Value));
}

QString StripAccelerator(const std::string& Caption) {
    QString In = ToQString(Caption);
    QString Out;
    Out.reserve(In.size());
    for (qsizetype I = 0; I < In.size(); ++I) {
        if (In[I] == u'&') {
            if (I + 1 < In.size() && In[I + 1] == u'&') {
                Out += u'&';
                ++I;
            }
            continue;
        }
        Out += In[I];
    }
    return Out;
}

} // namespace orv::qt
