#include "foundation/gui/StyleUtils.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleFactory>
#include <cmath>

#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"

namespace {
std::string GStartStyle;
std::string GLightStyle;
std::string GDarkStyle;
std::string GActiveStyle;
bool GInitialised = false;
QPalette GStartPalette;

void InitStyles()
{
    if (GInitialised || !qApp)
        return;
    GInitialised = true;
    GStartStyle = qApp->style() ? qApp->style()->name().toStdString() : std::string();
    GLightStyle = GStartStyle;
    GDarkStyle = GStartStyle;
    GActiveStyle = GStartStyle;
    GStartPalette = QApplication::palette();
}
} // namespace

void SetDarkStyle(const std::string& name)
{
    InitStyles();
    GLightStyle = GStartStyle;
    GDarkStyle = name;
}

QPalette DarkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 30);
    const QColor text(230, 230, 230);
    const QColor disabled(128, 128, 128);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(55, 55, 58));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(80, 80, 84));
    p.setColor(QPalette::Midlight, QColor(65, 65, 68));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(25, 25, 26));
    p.setColor(QPalette::Shadow, QColor(10, 10, 10));
    p.setColor(QPalette::Highlight, QColor(38, 110, 190));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(90, 160, 240));
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Text, disabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    return p;
}

void ApplyStyle(bool dark)
{
    InitStyles();
    if (!qApp)
        return;
    const std::string& wanted = dark ? GDarkStyle : GLightStyle;
    if (utf8::SameText(wanted, GActiveStyle))
        return;
    if (wanted == GStartStyle) {
        QApplication::setStyle(QStyleFactory::create(QStr(GStartStyle)));
        QApplication::setPalette(GStartPalette);
    } else {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(DarkPalette());
    }
    GActiveStyle = wanted;
}

bool IsWindowsDarkMode()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    QVariant v = reply.arguments().constFirst();
    // The value comes wrapped in one or two variants.
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    return v.toUInt() == 1;
}

void FollowWindowsTheme()
{
    ApplyStyle(IsWindowsDarkMode());
}

bool IsStyleActive()
{
    InitStyles();
    return !utf8::SameText(GActiveStyle, GStartStyle);
}

std::string ActiveStyleName()
{
    InitStyles();
    return GActiveStyle;
}

QColor ColorFromTColor(int32_t color)
{
    if (static_cast<uint32_t>(color) >= 0x1000000u)
        return QApplication::palette().color(QPalette::Window);
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QColor GetStyledColor(QPalette::ColorRole role, const QColor& def)
{
    if (!IsStyleActive())
        return def;
    return QApplication::palette().color(role);
}

int ColorDistance(int32_t a, int32_t b)
{
    if (a == b)
        return 0;
    const bool sysA = static_cast<uint32_t>(a) >= 0x1000000u;
    const bool sysB = static_cast<uint32_t>(b) >= 0x1000000u;
    if (sysA != sysB)
        return 255;
    const double dr = (a & 0xFF) - (b & 0xFF);
    const double dg = ((a >> 8) & 0xFF) - ((b >> 8) & 0xFF);
    const double db = ((a >> 16) & 0xFF) - ((b >> 16) & 0xFF);
    return static_cast<int>(std::lround(std::sqrt((dr * dr + dg * dg + db * db) / 3.0)));
}
