#include "results/ReportRenderer.h"

#include "common/SafeFile.h"

#include "results/ReportTemplate.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QLinearGradient>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Pictures are handed to the device at no more than this resolution: enough
// for print, and a large logo does not swell the PDF.
constexpr double PictureDpi = 300.0;

const QStringList &installedFamilies()
{
    static const QStringList families = QFontDatabase::families();
    return families;
}

bool installed(const QString &family)
{
    return installedFamilies().contains(family, Qt::CaseInsensitive);
}

struct Scale {
    double x = 1.0;
    double y = 1.0;
    QRectF rect(const QRectF &r) const { return QRectF(r.x() * x, r.y() * y, r.width() * x, r.height() * y); }
    QPointF point(const QPointF &p) const { return QPointF(p.x() * x, p.y() * y); }
    double length(double v) const { return v * (x + y) / 2.0; }
};

Scale deviceScale(const QPainter &painter)
{
    Scale s;
    if (const QPaintDevice *dev = painter.device()) {
        s.x = dev->logicalDpiX() / 96.0;
        s.y = dev->logicalDpiY() / 96.0;
    }
    return s;
}

QPen framePen(const ReportObject &o, const Scale &s)
{
    QPen pen(o.frameColor, std::max(0.0, s.length(o.frameWidth)));
    pen.setCapStyle(Qt::SquareCap);
    return pen;
}

void drawFrame(QPainter &p, const ReportObject &o, const QRectF &r, const Scale &s)
{
    if (!o.frame || !o.frameColor.isValid() || o.frameWidth <= 0)
        return;
    p.setPen(framePen(o, s));
    p.setBrush(Qt::NoBrush);
    if (o.frame & Qt::TopEdge)
        p.drawLine(r.topLeft(), r.topRight());
    if (o.frame & Qt::BottomEdge)
        p.drawLine(r.bottomLeft(), r.bottomRight());
    if (o.frame & Qt::LeftEdge)
        p.drawLine(r.topLeft(), r.bottomLeft());
    if (o.frame & Qt::RightEdge)
        p.drawLine(r.topRight(), r.bottomRight());
}

bool recordsText(const QPainter &p)
{
    return p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Picture;
}

// A memo's paragraphs laid out for one font at one width.
struct MemoLayout {
    std::vector<std::unique_ptr<QTextLayout>> paragraphs;
    double height = 0;
    double widest = 0;
};

QStringList paragraphsOf(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A closing line break (the contact block ends in one) adds no line.
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

MemoLayout layoutMemo(const ReportObject &m, const QStringList &paragraphs, const QFont &font,
                      double width, QPaintDevice *device)
{
    MemoLayout out;
    for (const QString &para : paragraphs) {
        auto layout = std::make_unique<QTextLayout>(para, font, device);
        QTextOption option;
        option.setAlignment(m.alignment & Qt::AlignHorizontal_Mask);
        option.setWrapMode(m.wordWrap ? QTextOption::WordWrap : QTextOption::NoWrap);
        bool rtl = m.direction == ReportObject::Direction::RightToLeft;
        if (m.direction == ReportObject::Direction::Auto)
            rtl = para.isRightToLeft();
        option.setTextDirection(rtl ? Qt::RightToLeft : Qt::LeftToRight);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        layout->beginLayout();
        for (;;) {
            QTextLine line = layout->createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            line.setPosition(QPointF(0, out.height));
            out.height += line.height();
            out.widest = std::max(out.widest, line.naturalTextWidth());
        }
        layout->endLayout();
        out.paragraphs.push_back(std::move(layout));
    }
    return out;
}

QFont memoFont(const ReportObject &m, double pointSize)
{
    QFont font(ReportFontFamily(m.fontFamilies));
    font.setPointSizeF(pointSize);
    font.setBold(m.bold);
    font.setItalic(m.italic);
    // Metrics as designed, not as hinted for one resolution: the layout is the
    // same in the preview, on paper and in the PDF.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return font;
}

void drawMemo(QPainter &p, const ReportObject &m, const QRectF &r, const Scale &s)
{
    if (m.fill.isValid())
        p.fillRect(r, m.fill);
    drawFrame(p, m, r, s);
    if (m.text.isEmpty())
        return;

    const double pad = std::max(0.0, m.padding);
    const QRectF inner = r.adjusted(s.x * pad, s.y * pad, -s.x * pad, -s.y * pad);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;

    const QStringList paragraphs = paragraphsOf(m.text);
    double size = m.fontSize;
    MemoLayout layout = layoutMemo(m, paragraphs, memoFont(m, size), inner.width(), p.device());
    if (m.shrinkToFit) {
        const double smallest = m.fontSize * 0.5;
        auto fits = [&](const MemoLayout &l) {
            return l.height <= inner.height() + 0.5 && l.widest <= inner.width() + 0.5;
        };
        while (!fits(layout) && size > smallest) {
            size = std::max(smallest, size * 0.94);
            layout = layoutMemo(m, paragraphs, memoFont(m, size), inner.width(), p.device());
        }
    }

    double top = inner.top();
    const Qt::Alignment v = m.alignment & Qt::AlignVertical_Mask;
    if (v & Qt::AlignVCenter)
        top += (inner.height() - layout.height) / 2.0;
    else if (v & Qt::AlignBottom)
        top += inner.height() - layout.height;

    p.save();
    p.setClipRect(r.adjusted(-s.x, -s.y, s.x, s.y));
    const QColor ink = m.textColor.isValid() ? m.textColor : QColor(Qt::black);
    const QPointF origin(inner.left(), top);
    if (recordsText(p)) {
        // A recording (the print preview) keeps a string, not its shaped
        // glyphs, and lays it out again left to right when it plays back;
        // Persian would come out in the wrong order. The shaped glyphs are
        // handed over as outlines instead.
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (const auto &para : layout.paragraphs)
            for (const QGlyphRun &run : para->glyphRuns()) {
                const QRawFont font = run.rawFont();
                const QList<quint32> glyphs = run.glyphIndexes();
                const QList<QPointF> positions = run.positions();
                QPainterPath path;
                for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
                    path.addPath(font.pathForGlyph(glyphs[i]).translated(positions[i] + origin));
                p.drawPath(path);
            }
    } else {
        p.setPen(ink);
        for (const auto &para : layout.paragraphs)
            para->draw(&p, origin);
    }
    p.restore();
}

void drawShape(QPainter &p, const ReportObject &o, const QRectF &r, const Scale &s)
{
    QPen pen(Qt::NoPen);
    if (o.penColor.isValid() && o.penStyle != Qt::NoPen && o.penWidth > 0) {
        pen = QPen(o.penColor, s.length(o.penWidth), o.penStyle);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
    }
    if (o.shapeKind == ReportObject::ShapeKind::Line) {
        p.setPen(pen);
        p.drawLine(r.topLeft(), r.bottomRight());
        return;
    }
    // A shape whose geometry leaves it no area (a bar of length 0, or a
    // negative length) draws nothing rather than spilling out of its place.
    if (r.width() <= 0 || r.height() <= 0)
        return;
    QBrush brush(Qt::NoBrush);
    if (o.fill.isValid() && o.fill2.isValid()) {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, o.fill);
        g.setColorAt(1, o.fill2);
        brush = QBrush(g);
    } else if (o.fill.isValid()) {
        brush = QBrush(o.fill);
    }
    p.setPen(pen);
    p.setBrush(brush);
    switch (o.shapeKind) {
    case ReportObject::ShapeKind::RoundRectangle: {
        const double radius = std::min({s.length(o.radius), r.width() / 2.0, r.height() / 2.0});
        p.drawRoundedRect(r, radius, radius);
        break;
    }
    case ReportObject::ShapeKind::Ellipse:
        p.drawEllipse(r);
        break;
    default:
        p.drawRect(r);
        break;
    }
    drawFrame(p, o, r, s);
}

void drawPicture(QPainter &p, const ReportObject &o, const QRectF &r, const Scale &s)
{
    if (o.fill.isValid())
        p.fillRect(r, o.fill);
    if (!o.image.isNull() && r.width() > 0 && r.height() > 0) {
        QSizeF size = QSizeF(o.image.size()).scaled(r.size(), Qt::KeepAspectRatio);
        const QRectF target(r.center().x() - size.width() / 2.0, r.center().y() - size.height() / 2.0,
                            size.width(), size.height());
        // Never hand the device more pixels than the print needs.
        const double inchesW = target.width() / (s.x * 96.0);
        const double inchesH = target.height() / (s.y * 96.0);
        const QSize most(std::max(1, int(std::ceil(inchesW * PictureDpi))),
                         std::max(1, int(std::ceil(inchesH * PictureDpi))));
        QImage image = o.image;
        if (image.width() > most.width() || image.height() > most.height())
            image = image.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage(target, image);
    }
    drawFrame(p, o, r, s);
}

} // namespace

QString ReportFontFamily(const QStringList &wanted)
{
    for (const QString &f : wanted)
        if (installed(f))
            return f;
    static const QString fallback = [] {
        for (const char *f : {"B Nazanin", "Nazli", "Noto Naskh Arabic"})
            if (installed(QLatin1String(f)))
                return QString::fromLatin1(f);
        return QString();
    }();
    if (!fallback.isEmpty())
        return fallback;
    return wanted.isEmpty() ? QString() : wanted.first();
}

void RenderReport(const ReportTemplate &report, QPainter &painter)
{
    const Scale s = deviceScale(painter);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (report.PageFill().isValid())
        painter.fillRect(s.rect(QRectF(0, 0, report.PageWidth(), report.PageHeight())), report.PageFill());
    for (const ReportObject &o : report.Objects()) {
        const QRectF r = s.rect(o.box).normalized();
        switch (o.kind) {
        case ReportObject::Kind::Memo:
            drawMemo(painter, o, r, s);
            break;
        case ReportObject::Kind::Shape:
            // not normalised: a line keeps its direction, and a bar of
            // negative length stays recognisable as such
            drawShape(painter, o, s.rect(o.box), s);
            break;
        case ReportObject::Kind::Picture:
            drawPicture(painter, o, r, s);
            break;
        }
    }
    painter.restore();
}

bool WriteReportPdf(const ReportTemplate &report, QIODevice &out, QString *error)
{
    QPdfWriter writer(&out);
    const QSizeF mm(report.PageWidth() * 25.4 / 96.0, report.PageHeight() * 25.4 / 96.0);
    const QPageSize a4(QPageSize::A4);
    const QSizeF a4mm = a4.size(QPageSize::Millimeter);
    if (std::fabs(a4mm.width() - mm.width()) < 0.5 && std::fabs(a4mm.height() - mm.height()) < 0.5)
        writer.setPageSize(a4);
    else
        writer.setPageSize(QPageSize(mm, QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(1200);
    writer.setCreator(QStringLiteral("KVR"));
    writer.setTitle(QStringLiteral("KVR"));

    QPainter painter;
    if (!painter.begin(&writer)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    RenderReport(report, painter);
    return painter.end();
}

bool WriteReportPdf(const ReportTemplate &report, const QString &path, QString *error, QString *persianReason)
{
    // The PDF replaces a file of that name only once it is complete. The PDF
    // writer does not look at what its device answers, so a failed write is
    // found afterwards: the file remembers its first failure and commit()
    // reports it.
    SafeFile file(path);
    const bool drawn = file.open(QIODevice::WriteOnly) && WriteReportPdf(report, file);
    if (drawn && file.commit())
        return true;
    // Destroying the file drops what was written; the target stays as it was.
    const bool fileFailed = file.FailedStep() != SafeFile::Step::None;
    if (error)
        *error = fileFailed ? file.errorString() : QStringLiteral("the PDF %1 could not be drawn").arg(path);
    if (persianReason)
        *persianReason = SafeFile::PersianReasonFor(fileFailed ? file.SystemError() : 0);
    return false;
}
