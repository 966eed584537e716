#include "results/ReportTemplate.h"

#include <QFile>
#include <QXmlStreamReader>

#include <cmath>

namespace {

// Coordinates beyond a few pages are a broken file, not a layout.
constexpr double MaxCoordinate = 100000.0;

struct Attributes {
    const QXmlStreamAttributes &a;

    bool has(const char *key) const { return a.hasAttribute(QLatin1String(key)); }
    QString text(const char *key) const { return a.value(QLatin1String(key)).toString().trimmed(); }

    bool number(const char *key, double *out, QString *error) const
    {
        if (!has(key))
            return true;
        bool ok = false;
        const double v = text(key).toDouble(&ok);
        if (!ok || !std::isfinite(v) || std::fabs(v) > MaxCoordinate) {
            *error = QStringLiteral("bad number in %1: %2").arg(QLatin1String(key), text(key));
            return false;
        }
        *out = v;
        return true;
    }

    bool flag(const char *key, bool *out, QString *error) const
    {
        if (!has(key))
            return true;
        const QString v = text(key).toLower();
        if (v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes"))
            *out = true;
        else if (v == QLatin1String("false") || v == QLatin1String("0") || v == QLatin1String("no"))
            *out = false;
        else {
            *error = QStringLiteral("bad flag in %1: %2").arg(QLatin1String(key), v);
            return false;
        }
        return true;
    }

    // "none" or an empty value gives an invalid colour: nothing is painted.
    bool colour(const char *key, QColor *out, QString *error) const
    {
        if (!has(key))
            return true;
        const QString v = text(key);
        if (v.isEmpty() || v.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
            *out = QColor();
            return true;
        }
        const QColor c = QColor::fromString(v);
        if (!c.isValid()) {
            *error = QStringLiteral("bad colour in %1: %2").arg(QLatin1String(key), v);
            return false;
        }
        *out = c;
        return true;
    }
};

bool readEdges(const QString &v, Qt::Edges *out, QString *error)
{
    Qt::Edges edges;
    const QStringList parts = v.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        if (p == QLatin1String("all"))
            edges = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;
        else if (p == QLatin1String("none"))
            edges = {};
        else if (p == QLatin1String("left"))
            edges |= Qt::LeftEdge;
        else if (p == QLatin1String("top"))
            edges |= Qt::TopEdge;
        else if (p == QLatin1String("right"))
            edges |= Qt::RightEdge;
        else if (p == QLatin1String("bottom"))
            edges |= Qt::BottomEdge;
        else {
            *error = QStringLiteral("bad frame: %1").arg(v);
            return false;
        }
    }
    *out = edges;
    return true;
}

bool readCommon(const Attributes &at, ReportObject &o, QString *error)
{
    o.name = at.text("name");
    double left = 0, top = 0, width = 0, height = 0;
    if (!at.number("left", &left, error) || !at.number("top", &top, error)
        || !at.number("width", &width, error) || !at.number("height", &height, error))
        return false;
    o.box = QRectF(left, top, width, height);
    if (at.has("frame") && !readEdges(at.text("frame"), &o.frame, error))
        return false;
    return at.colour("frame-color", &o.frameColor, error)
        && at.number("frame-width", &o.frameWidth, error) && at.colour("fill", &o.fill, error);
}

bool readMemo(const Attributes &at, ReportObject &o, QString *error)
{
    if (at.has("font")) {
        o.fontFamilies.clear();
        const QStringList parts = at.text("font").split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &p : parts)
            if (!p.trimmed().isEmpty())
                o.fontFamilies << p.trimmed();
    }
    if (!at.number("size", &o.fontSize, error) || !at.flag("bold", &o.bold, error)
        || !at.flag("italic", &o.italic, error) || !at.colour("color", &o.textColor, error)
        || !at.flag("wrap", &o.wordWrap, error) || !at.flag("shrink", &o.shrinkToFit, error)
        || !at.number("padding", &o.padding, error))
        return false;
    if (o.fontSize <= 0 || o.fontSize > 500) {
        *error = QStringLiteral("bad font size");
        return false;
    }

    Qt::Alignment h = Qt::AlignRight | Qt::AlignAbsolute;
    if (at.has("align")) {
        const QString v = at.text("align").toLower();
        if (v == QLatin1String("left"))
            h = Qt::AlignLeft | Qt::AlignAbsolute;
        else if (v == QLatin1String("right"))
            h = Qt::AlignRight | Qt::AlignAbsolute;
        else if (v == QLatin1String("center"))
            h = Qt::AlignHCenter;
        else if (v == QLatin1String("justify"))
            h = Qt::AlignJustify;
        else {
            *error = QStringLiteral("bad align: %1").arg(v);
            return false;
        }
    }
    Qt::Alignment v = Qt::AlignVCenter;
    if (at.has("valign")) {
        const QString s = at.text("valign").toLower();
        if (s == QLatin1String("top"))
            v = Qt::AlignTop;
        else if (s == QLatin1String("center"))
            v = Qt::AlignVCenter;
        else if (s == QLatin1String("bottom"))
            v = Qt::AlignBottom;
        else {
            *error = QStringLiteral("bad valign: %1").arg(s);
            return false;
        }
    }
    o.alignment = h | v;

    if (at.has("dir")) {
        const QString s = at.text("dir").toLower();
        if (s == QLatin1String("rtl"))
            o.direction = ReportObject::Direction::RightToLeft;
        else if (s == QLatin1String("ltr"))
            o.direction = ReportObject::Direction::LeftToRight;
        else if (s == QLatin1String("auto"))
            o.direction = ReportObject::Direction::Auto;
        else {
            *error = QStringLiteral("bad dir: %1").arg(s);
            return false;
        }
    }
    return true;
}

bool readShape(const Attributes &at, ReportObject &o, QString *error)
{
    if (at.has("kind")) {
        const QString s = at.text("kind").toLower();
        if (s == QLatin1String("rectangle"))
            o.shapeKind = ReportObject::ShapeKind::Rectangle;
        else if (s == QLatin1String("round-rectangle"))
            o.shapeKind = ReportObject::ShapeKind::RoundRectangle;
        else if (s == QLatin1String("ellipse"))
            o.shapeKind = ReportObject::ShapeKind::Ellipse;
        else if (s == QLatin1String("line"))
            o.shapeKind = ReportObject::ShapeKind::Line;
        else {
            *error = QStringLiteral("bad shape kind: %1").arg(s);
            return false;
        }
    }
    if (at.has("pen-style")) {
        const QString s = at.text("pen-style").toLower();
        if (s == QLatin1String("solid"))
            o.penStyle = Qt::SolidLine;
        else if (s == QLatin1String("dash"))
            o.penStyle = Qt::DashLine;
        else if (s == QLatin1String("dot"))
            o.penStyle = Qt::DotLine;
        else if (s == QLatin1String("none"))
            o.penStyle = Qt::NoPen;
        else {
            *error = QStringLiteral("bad pen-style: %1").arg(s);
            return false;
        }
    }
    if (at.has("anchor")) {
        const QString s = at.text("anchor").toLower();
        if (s != QLatin1String("left") && s != QLatin1String("right")) {
            *error = QStringLiteral("bad anchor: %1").arg(s);
            return false;
        }
        o.anchorRight = s == QLatin1String("right");
    }
    return at.colour("pen", &o.penColor, error) && at.number("pen-width", &o.penWidth, error)
        && at.colour("fill2", &o.fill2, error) && at.number("radius", &o.radius, error);
}

} // namespace

bool ReportTemplate::Load(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *this = ReportTemplate();
        if (error)
            *error = f.errorString();
        return false;
    }
    return LoadFromData(f.readAll(), error);
}

bool ReportTemplate::LoadFromData(const QByteArray &xml, QString *error)
{
    *this = ReportTemplate();
    ReportTemplate t;
    QString why;
    QXmlStreamReader r(xml);
    bool rootSeen = false;

    auto fail = [&](const QString &message) {
        if (error)
            *error = r.hasError() ? r.errorString() : message;
        return false;
    };

    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement())
            continue;
        const QStringView tag = r.name();
        if (!rootSeen) {
            if (tag != QLatin1String("report"))
                return fail(QStringLiteral("not a report template"));
            rootSeen = true;
            continue;
        }
        const QXmlStreamAttributes attrs = r.attributes();
        const Attributes at{attrs};
        if (tag == QLatin1String("page")) {
            if (!at.number("width", &t.pageWidth_, &why) || !at.number("height", &t.pageHeight_, &why)
                || !at.colour("fill", &t.pageFill_, &why))
                return fail(why);
            if (t.pageWidth_ <= 0 || t.pageHeight_ <= 0)
                return fail(QStringLiteral("bad page size"));
            r.skipCurrentElement();
        } else if (tag == QLatin1String("memo") || tag == QLatin1String("shape")
                   || tag == QLatin1String("picture")) {
            ReportObject o;
            if (tag == QLatin1String("memo")) {
                o.kind = ReportObject::Kind::Memo;
                if (!readCommon(at, o, &why) || !readMemo(at, o, &why))
                    return fail(why);
                o.text = r.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (tag == QLatin1String("shape")) {
                o.kind = ReportObject::Kind::Shape;
                if (!readCommon(at, o, &why) || !readShape(at, o, &why))
                    return fail(why);
                r.skipCurrentElement();
            } else {
                o.kind = ReportObject::Kind::Picture;
                if (!readCommon(at, o, &why))
                    return fail(why);
                r.skipCurrentElement();
            }
            t.objects_.push_back(std::move(o));
        } else {
            // Elements of a later format version are passed over.
            r.skipCurrentElement();
        }
    }
    if (r.hasError())
        return fail(QString());
    if (!rootSeen)
        return fail(QStringLiteral("not a report template"));
    t.loaded_ = true;
    *this = std::move(t);
    return true;
}

ReportObject *ReportTemplate::find(const QString &name, ReportObject::Kind kind)
{
    for (ReportObject &o : objects_)
        if (o.kind == kind && o.name == name)
            return &o;
    return nullptr;
}

ReportObject *ReportTemplate::FindObject(const QString &name)
{
    for (ReportObject &o : objects_)
        if (o.name == name)
            return &o;
    return nullptr;
}

const ReportObject *ReportTemplate::FindObject(const QString &name) const
{
    return const_cast<ReportTemplate *>(this)->FindObject(name);
}

ReportObject *ReportTemplate::FindMemo(const QString &name)
{
    return find(name, ReportObject::Kind::Memo);
}

ReportObject *ReportTemplate::FindShape(const QString &name)
{
    return find(name, ReportObject::Kind::Shape);
}

ReportObject *ReportTemplate::FindPicture(const QString &name)
{
    return find(name, ReportObject::Kind::Picture);
}

void SetMemoText(ReportObject *memo, const QString &text)
{
    if (memo)
        memo->text = text;
}

void SetShape(ReportObject *shape, qint16 value)
{
    if (!shape)
        return;
    const double width = static_cast<double>(value);
    if (shape->anchorRight)
        shape->box.setLeft(shape->box.right() - width);
    else
        shape->box.setWidth(width);
}

void SetPicture(ReportObject *picture, const QImage &image)
{
    if (picture)
        picture->image = image;
}
