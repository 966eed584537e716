#include "shell/ui/Resource.h"

#include "common/ProgramFolder.h"
#include "common/ui/MainWindowRef.h"
#include "shell/ui/Frm_Setting.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

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

void applyPlain()
{
    SkinState &s = state();
    qApp->setStyleSheet(QString());
    if (!s.plainStyle.isEmpty() && QApplication::style()->name().compare(s.plainStyle, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(s.plainStyle);
    QApplication::setPalette(QApplication::style()->standardPalette());
}
}

bool LoadSkin(const ThemeRow &row)
{
    SkinState &s = state();
    if (!s.captured) {
        s.captured = true;
        s.plainStyle = QApplication::style()->name();
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
        if (QApplication::style()->name().compare(look.qtStyle, Qt::CaseInsensitive) != 0)
            QApplication::setStyle(look.qtStyle);
    } else if (!s.plainStyle.isEmpty()) {
        QApplication::setStyle(s.plainStyle);
    }
    QApplication::setPalette(look.palette);
    qApp->setStyleSheet(look.styleSheet);
    return true;
}

ThemeRow CurrentSkin() { return state().current; }

void ApplyTheme()
{
    Frm_Setting *settings = Frm_Setting::Instance();
    LoadSkin(ThemeRowFor(LeadingNumber(settings->ThemeNumberText())));

    QWidget *main = MainWindow();
    if (!main)
        return;
    if (QWidget *resizer = main->findChild<QWidget *>(QStringLiteral("Resizer1"))) {
        // The screen's own palette once it has one; until the change of the
        // program's palette has reached it, the palette it is about to get.
        const QPalette pal = settings->testAttribute(Qt::WA_SetPalette) ? settings->palette()
                                                                         : QApplication::palette(settings);
        const QColor c = pal.color(QPalette::Window);
        resizer->setStyleSheet(QStringLiteral("#Resizer1 { background-color: %1; }").arg(c.name()));
    }
}
