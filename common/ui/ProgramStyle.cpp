#include "common/ui/ProgramStyle.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

class Style : public QProxyStyle
{
public:
    explicit Style(QStyle *base)
        : QProxyStyle(base)
    {
    }

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        // The toolbar's overflow arrow, from the same pictures Qt's own
        // styles use.
        QIcon icon;
        if (which == SP_ToolBarHorizontalExtensionButton) {
            const bool rtl = option ? option->direction == Qt::RightToLeft : QGuiApplication::isRightToLeft();
            icon = pngIcon(rtl ? QStringLiteral("toolbar-ext-h-rtl-%1.png") : QStringLiteral("toolbar-ext-h-%1.png"),
                           {8, 16, 32});
        } else if (which == SP_ToolBarVerticalExtensionButton) {
            icon = pngIcon(QStringLiteral("toolbar-ext-v-%1.png"), {5, 10, 20});
        }
        return icon.isNull() ? QProxyStyle::standardIcon(which, option, widget) : icon;
    }

private:
    static QIcon pngIcon(const QString &pattern, std::initializer_list<int> sizes)
    {
        QIcon icon;
        for (const int size : sizes) {
            QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/") + pattern.arg(size),
                                QByteArrayLiteral("png"));
            reader.setAutoDetectImageFormat(false);
            const QImage image = reader.read();
            if (!image.isNull())
                icon.addPixmap(QPixmap::fromImage(image));
        }
        return icon;
    }
};

} // namespace

QStyle *ProgramStyle(const QString &name)
{
    QStyle *base = QStyleFactory::create(name);
    return base ? new Style(base) : nullptr;
}

bool IsProgramStyle(const QStyle *style)
{
    return dynamic_cast<const Style *>(style) != nullptr;
}

QString StyleName(const QStyle *style)
{
    if (const auto *proxy = qobject_cast<const QProxyStyle *>(style))
        return proxy->baseStyle()->name();
    return style ? style->name() : QString();
}
