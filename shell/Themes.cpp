#include "shell/Themes.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

double LeadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    bool ok = false;
    const double v = text.mid(start, i - start).toDouble(&ok);
    return ok ? v : 0;
}

ThemeRow ThemeRowFor(double number)
{
    static const ThemeRow rows[23] = {
        {QStringLiteral("/Styles/Le5"), QStringLiteral("Normalblue.ini")},
        {QStringLiteral("/Styles/WinXP.Luna.cjstyles"), QStringLiteral("NormalHomestead.ini")},
        {QStringLiteral("/Styles/WinXP.Luna.cjstyles"), QStringLiteral("NormalMetallic.ini")},
        {QStringLiteral("/Styles/WinXP.Royale.cjstyles"), QStringLiteral("NormalRoyale.ini")},
        {QStringLiteral("/Styles/zune.msstyles"), QStringLiteral("NormalDefault.ini")},
        {QStringLiteral("/Styles/iTunes"), QStringLiteral("Normalitunes.ini")},
        {QStringLiteral("/Styles/Windows8.cjstyles"), QStringLiteral("NormalAero.ini")},
        {QStringLiteral("/Styles/WinXP.Luna.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/WinXP.Royale.cjstyles"), QStringLiteral("NormalRoyale.ini")},
        {QStringLiteral("/Styles/Office2007.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/Office2007.cjstyles"), QStringLiteral("NormalBlack.ini")},
        {QStringLiteral("/Styles/Office2007.cjstyles"), QStringLiteral("NormalSilver.ini")},
        {QStringLiteral("/Styles/Office2007.cjstyles"), QStringLiteral("NormalAqua.ini")},
        {QStringLiteral("/Styles/Office2010.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/Office2010.cjstyles"), QStringLiteral("NormalBlack.ini")},
        {QStringLiteral("/Styles/Office2010.cjstyles"), QStringLiteral("NormalSilver.ini")},
        {QStringLiteral("/Styles/Vista.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/Vista.cjstyles"), QStringLiteral("NormalBlack.ini")},
        {QStringLiteral("/Styles/Vista.cjstyles"), QStringLiteral("NormalSilver.ini")},
        {QStringLiteral("/Styles/Office2010.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/Codejock.cjstyles"), QStringLiteral("NormalBlue.ini")},
        {QStringLiteral("/Styles/Codejock.cjstyles"), QStringLiteral("NormalBlack.ini")},
        {QStringLiteral("/Styles/Codejock.cjstyles"), QStringLiteral("NormalBlue.ini")},
    };
    if (number >= 1 && number <= 23 && number == static_cast<double>(static_cast<int>(number)))
        return rows[static_cast<int>(number) - 1];
    return ThemeRow();
}

namespace {
struct RoleName {
    QPalette::ColorRole role;
    const char *key;
};

const RoleName kRoles[] = {
    {QPalette::Window, "Window"},
    {QPalette::WindowText, "WindowText"},
    {QPalette::Base, "Base"},
    {QPalette::AlternateBase, "AlternateBase"},
    {QPalette::Text, "Text"},
    {QPalette::Button, "Button"},
    {QPalette::ButtonText, "ButtonText"},
    {QPalette::Highlight, "Highlight"},
    {QPalette::HighlightedText, "HighlightedText"},
    {QPalette::ToolTipBase, "ToolTipBase"},
    {QPalette::ToolTipText, "ToolTipText"},
    {QPalette::Link, "Link"},
    {QPalette::PlaceholderText, "PlaceholderText"},
};
}

Look LoadLook(const QString &programFolder, const ThemeRow &row)
{
    Look look;
    if (row.isEmpty())
        return look;
    const QString folder = programFolder + row.style;
    const QString iniPath = folder + QLatin1Char('/') + row.scheme;
    if (!QFileInfo(iniPath).isFile())
        return look;
    QSettings ini(iniPath, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return look;

    look.qtStyle = ini.value(QStringLiteral("Look/Style")).toString();

    const QColor window(ini.value(QStringLiteral("Palette/Window")).toString());
    const QColor button(ini.value(QStringLiteral("Palette/Button")).toString());
    if (!window.isValid() || !button.isValid())
        return look;
    // The two-colour palette derives light, mid and dark shades and the
    // disabled group; the scheme then names the roles it cares about.
    QPalette p(button, window);
    for (const RoleName &r : kRoles) {
        const QColor c(ini.value(QStringLiteral("Palette/") + QLatin1String(r.key)).toString());
        if (!c.isValid())
            continue;
        p.setColor(QPalette::Active, r.role, c);
        p.setColor(QPalette::Inactive, r.role, c);
        if (r.role == QPalette::Window || r.role == QPalette::Base || r.role == QPalette::Button)
            p.setColor(QPalette::Disabled, r.role, c);
    }
    look.palette = p;

    const QString sheet = ini.value(QStringLiteral("Look/StyleSheet")).toString();
    if (!sheet.isEmpty()) {
        QFile f(folder + QLatin1Char('/') + sheet);
        if (f.open(QIODevice::ReadOnly | QIODevice::Text))
            look.styleSheet = QString::fromUtf8(f.readAll());
    }
    look.valid = true;
    return look;
}
