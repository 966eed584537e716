// Renders an SVG picture to PNG files of the given sizes:
//   kvr-icons ICON.svg OUTDIR NAME SIZE...
// writes OUTDIR/<W>x<H>/NAME.png for each size, given as N (a square, the
// sizes an icon theme holds) or WxH (NAME may hold a folder: "apps/kvr").
// Exit status 1 when the picture cannot be read or a file cannot be written.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: kvr-icons ICON.svg OUTDIR NAME SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "kvr-icons: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    for (int i = 4; i < args.size(); ++i) {
        const QStringList wh = args[i].split(QLatin1Char('x'));
        bool okW = false, okH = false;
        const int width = wh.first().toInt(&okW);
        const int height = wh.size() == 2 ? wh.last().toInt(&okH) : width;
        if (!okW || (wh.size() == 2 && !okH) || wh.size() > 2 || width <= 0 || height <= 0) {
            std::fprintf(stderr, "kvr-icons: not a size: %s\n", qPrintable(args[i]));
            return 2;
        }
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            svg.render(&painter, QRectF(0, 0, width, height));
        }
        const QString folder = QDir(args[2]).filePath(QStringLiteral("%1x%2").arg(width).arg(height));
        const QString file = QDir(folder).filePath(args[3] + QStringLiteral(".png"));
        if (!QDir().mkpath(QFileInfo(file).absolutePath())
            || !image.convertToFormat(QImage::Format_ARGB32).save(file, "PNG")) {
            std::fprintf(stderr, "kvr-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
