#include "host/widgetset/qt/QtLayoutStore.h"

#include "host/widgetset/qt/QtConvert.h"

#include <QSettings>
#include <QUrl>

#include <memory>

namespace orv::qt {

namespace {

QString KeyPart(const std::string& Text) {
    // An empty part would merge two levels of the key.
    return Text.empty() ? QStringLiteral("%") : QString::fromLatin1(QUrl::toPercentEncoding(ToQString(Text)));
}

QString GroupOf(const std::string& User, const std::string& LayoutID) {
    return QStringLiteral("GridLayouts/") + KeyPart(User) + u'/' + KeyPart(LayoutID);
}

QString WindowGroupOf(const std::string& User, const std::string& Window) {
    return QStringLiteral("Windows/") + KeyPart(User) + u'/' + KeyPart(Window);
}

} // namespace

TLayoutStore::TLayoutStore() = default;

TLayoutStore::TLayoutStore(QString IniFile) : FIniFile(std::move(IniFile)) {}

static std::unique_ptr<QSettings> OpenSettings(const QString& IniFile) {
    if (IniFile.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Quillon"), QStringLiteral("quillon-host"));
    return std::make_unique<QSettings>(IniFile, QSettings::IniFormat);
}

TGridLayout TLayoutStore::Load(const std::string& User, const std::string& LayoutID) const {
    TGridLayout Layout;
    if (LayoutID.empty()) return Layout;
    auto Settings = OpenSettings(FIniFile);
    Settings->beginGroup(GroupOf(User, LayoutID));
    const QStringList Order = Settings->value(QStringLiteral("order")).toStringList();
    for (const QString& F : Order)
        Layout.Order.push_back(FromQString(F));
    Settings->beginGroup(QStringLiteral("widths"));
    for (const QString& Key : Settings->childKeys()) {
        bool Ok = false;
        int W = Settings->value(Key).toInt(&Ok);
        if (Ok && W > 0) Layout.Widths[FromQString(QUrl::fromPercentEncoding(Key.toLatin1()))] = W;
    }
    Settings->endGroup();
    Settings->endGroup();
    return Layout;
}

void TLayoutStore::Save(const std::string& User, const std::string& LayoutID, const TGridLayout& Layout) {
    if (LayoutID.empty()) return;
    auto Settings = OpenSettings(FIniFile);
    Settings->remove(GroupOf(User, LayoutID));
    Settings->beginGroup(GroupOf(User, LayoutID));
    QStringList Order;
    for (const std::string& F : Layout.Order)
        Order << ToQString(F);
    Settings->setValue(QStringLiteral("order"), Order);
    Settings->beginGroup(QStringLiteral("widths"));
    for (const auto& [Field, Width] : Layout.Widths)
        Settings->setValue(KeyPart(Field), Width);
    Settings->endGroup();
    Settings->endGroup();
    Settings->sync();
}

TWindowPlace TLayoutStore::LoadWindow(const std::string& User, const std::string& Window) const {
    TWindowPlace Place;
    if (Window.empty()) return Place;
    auto Settings = OpenSettings(FIniFile);
    Settings->beginGroup(WindowGroupOf(User, Window));
    const QRect R = Settings->value(QStringLiteral("geometry")).toRect();
    // A damaged or hand-edited entry is no place at all.
    if (R.isValid() && R.width() < 20000 && R.height() < 20000) {
        Place.Geometry = R;
        Place.Maximized = Settings->value(QStringLiteral("maximized")).toBool();
    }
    Settings->endGroup();
    return Place;
}

void TLayoutStore::SaveWindow(const std::string& User, const std::string& Window, const TWindowPlace& Place) {
    if (Window.empty() || Place.Empty()) return;
    auto Settings = OpenSettings(FIniFile);
    Settings->beginGroup(WindowGroupOf(User, Window));
    Settings->setValue(QStringLiteral("geometry"), Place.Geometry);
    Settings->setValue(QStringLiteral("maximized"), Place.Maximized);
    Settings->endGroup();
    Settings->sync();
}

} // namespace orv::qt
