#include "shell/ui/Resource.h"

#include "common/ProgramFolder.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/ProgramStyle.h"
#include "shell/ui/Frm_Setting.h"
#include "store/DataControl.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <optional>

namespace {
struct SkinState {
    bool captured = false;
    QString plainStyle;
    ThemeRow current;
    bool currentValid = false;
};

SkinState &state()
{
    static SkinState s;
    return s;
}

// Qt's style of that name, as the program draws it (common/ui/ProgramStyle).
void setStyle(const QString &name)
{
    if (QStyle *style = ProgramStyle(name))
        QApplication::setStyle(style);
}

void applyPlain()
{
    SkinState &s = state();
    qApp->setStyleSheet(QString());
    if (!s.plainStyle.isEmpty() && StyleName(QApplication::style()).compare(s.plainStyle, Qt::CaseInsensitive) != 0)
        setStyle(s.plainStyle);
    QApplication::setPalette(QApplication::style()->standardPalette());
}

// The settings row as saved, read as the settings screen reads it: its first
// row, and theme "1" when the table has none.
struct SavedSettings {
    QString themeNumber;
    QString clinicName;
};

SavedSettings readSavedSettings()
{
    DataControl row;
    row.Open(QStringLiteral("SELECT * FROM Theme "));
    if (row.CurrentRow() < 0)
        return {QStringLiteral("1"), QString()};
    return {row.Value(QStringLiteral("TH")), row.Value(QStringLiteral("Name"))};
}

// The row as read when the skin was last applied without the settings
// screen (as a main window is made): the main window's first layouts ask
// for the clinic's name again before that screen loads. The settings change
// only through that screen, so the row is read afresh once it has been
// there.
std::optional<SavedSettings> &lastSaved()
{
    static std::optional<SavedSettings> saved;
    return saved;
}

SavedSettings savedSettings()
{
    if (!lastSaved())
        lastSaved() = readSavedSettings();
    return *lastSaved();
}
}

bool LoadSkin(const ThemeRow &row)
{
    SkinState &s = state();
    if (!s.captured) {
        s.captured = true;
        s.plainStyle = StyleName(QApplication::style());
        // From the first skin on, the program's style is drawn as the
        // program draws it, whichever style the skin names.
        if (!IsProgramStyle(QApplication::style()))
            setStyle(s.plainStyle);
    }
    if (s.captured && s.currentValid && row.style == s.current.style && row.scheme == s.current.scheme)
        return !row.isEmpty();

    const Look look = LoadLook(DeliveredFolder(), row);
    s.current = row;
    s.currentValid = true;
    if (!look.valid) {
        applyPlain();
        return row.isEmpty();
    }
    if (!look.qtStyle.isEmpty() && QStyleFactory::keys().contains(look.qtStyle, Qt::CaseInsensitive)) {
        if (StyleName(QApplication::style()).compare(look.qtStyle, Qt::CaseInsensitive) != 0)
            setStyle(look.qtStyle);
    } else if (!s.plainStyle.isEmpty()) {
        setStyle(s.plainStyle);
    }
    QApplication::setPalette(look.palette);
    qApp->setStyleSheet(look.styleSheet);
    return true;
}

ThemeRow CurrentSkin() { return state().current; }

QString ClinicNameText()
{
    if (Frm_Setting::IsLoaded()) {
        // Read afresh once the screen is gone: it may have changed them.
        lastSaved().reset();
        return Frm_Setting::Instance()->ClinicName();
    }
    return savedSettings().clinicName;
}

void ApplyTheme()
{
    Frm_Setting *settings = Frm_Setting::IsLoaded() ? Frm_Setting::Instance() : nullptr;
    if (settings)
        lastSaved().reset();
    else
        lastSaved() = readSavedSettings();
    LoadSkin(ThemeRowFor(LeadingNumber(settings ? settings->ThemeNumberText() : savedSettings().themeNumber)));

    QWidget *main = MainWindow();
    if (!main)
        return;
    if (QWidget *resizer = main->findChild<QWidget *>(QStringLiteral("Resizer1"))) {
        // The screen's own palette once it has one; until the change of the
        // program's palette has reached it, the palette it is about to get
        // (the program's, as the screen sets none of its own).
        const QPalette pal = !settings                                  ? QApplication::palette()
                             : settings->testAttribute(Qt::WA_SetPalette) ? settings->palette()
                                                                          : QApplication::palette(settings);
        const QColor c = pal.color(QPalette::Window);
        resizer->setStyleSheet(QStringLiteral("#Resizer1 { background-color: %1; }").arg(c.name()));
    }
}
