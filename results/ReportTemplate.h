#pragma once
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// The report template: our own page description in XML (KVR.fr3). A page of
// fixed size holds objects drawn in file order; each has a name, a kind and a
// box in report units of 1/96 inch, measured from the page's top left corner.
//
//   <report version="1">
//     <page width="793.7" height="1122.5" fill="#ffffff"/>
//     <memo name="Memo10" left=".." top=".." width=".." height=".."
//           font="B Nazanin" size="20" bold="true" color="#1b3a5c"
//           align="right" valign="center" dir="rtl" wrap="true" shrink="true"
//           frame="all" frame-color="#888888" frame-width="1" fill="#eef3f8"
//           padding="3">static text</memo>
//     <shape name="Shape3" kind="rectangle" ... pen="#1b3a5c" pen-width="1"
//            pen-style="solid" fill="#4a7bb7" fill2="#2e5a88" radius="3"
//            anchor="right"/>
//     <picture name="Picture2" ... frame="none"/>
//   </report>
//
// Memo: text (line breaks as in the text, CR LF or LF), font families in order
// of preference separated by commas, size in points, align left|right|center|
// justify taken as absolute page sides, valign top|center|bottom, dir rtl|ltr|
// auto (auto: each line takes the direction of its first strong letter), wrap
// at word ends, shrink the font until the text fits its box, frame all|none or
// any of left top right bottom, fill a colour or none.
// Shape: kind rectangle|round-rectangle|ellipse|line; a line runs from the
// box's top left to its bottom right corner. anchor says which side stays put
// when the width is set: left (the default) or right, for bars that grow
// from right to left. fill2 makes the fill a top-to-bottom gradient.
// Picture: an image drawn centred in its box, aspect kept.
struct ReportObject {
    enum class Kind { Memo, Shape, Picture };
    enum class ShapeKind { Rectangle, RoundRectangle, Ellipse, Line };
    enum class Direction { RightToLeft, LeftToRight, Auto };

    Kind kind = Kind::Memo;
    QString name;
    QRectF box;

    // frame and fill, all kinds
    Qt::Edges frame;
    QColor frameColor = QColor(0, 0, 0);
    double frameWidth = 1.0;
    QColor fill; // invalid: no fill

    // memo
    QString text;
    QStringList fontFamilies;
    double fontSize = 10.0;
    bool bold = false;
    bool italic = false;
    QColor textColor = QColor(0, 0, 0);
    Qt::Alignment alignment = Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter;
    Direction direction = Direction::RightToLeft;
    bool wordWrap = false;
    bool shrinkToFit = false;
    double padding = 2.0;

    // shape
    ShapeKind shapeKind = ShapeKind::Rectangle;
    QColor penColor = QColor(0, 0, 0);
    double penWidth = 1.0;
    Qt::PenStyle penStyle = Qt::SolidLine;
    QColor fill2;
    double radius = 4.0;
    bool anchorRight = false;

    // picture
    QImage image;
};

class ReportTemplate {
public:
    // A4 portrait in report units.
    static constexpr double A4Width = 793.7;
    static constexpr double A4Height = 1122.5;

    // Reads a template file; on failure the template is left empty (no
    // objects, an A4 page) and *error says why.
    bool Load(const QString &path, QString *error = nullptr);
    bool LoadFromData(const QByteArray &xml, QString *error = nullptr);

    bool IsLoaded() const { return loaded_; }
    double PageWidth() const { return pageWidth_; }
    double PageHeight() const { return pageHeight_; }
    QColor PageFill() const { return pageFill_; }

    const std::vector<ReportObject> &Objects() const { return objects_; }

    // The first object of that name and kind, or nullptr.
    ReportObject *FindObject(const QString &name);
    const ReportObject *FindObject(const QString &name) const;
    ReportObject *FindMemo(const QString &name);
    ReportObject *FindShape(const QString &name);
    ReportObject *FindPicture(const QString &name);

private:
    ReportObject *find(const QString &name, ReportObject::Kind kind);

    bool loaded_ = false;
    double pageWidth_ = A4Width;
    double pageHeight_ = A4Height;
    QColor pageFill_ = QColor(255, 255, 255);
    std::vector<ReportObject> objects_;
};

// Fill operations of a report run. Each does nothing when handed nullptr
// (an object the template does not have).
void SetMemoText(ReportObject *memo, const QString &text);
// The shape's geometry: its width in report units. A shape anchored right
// keeps its right edge and grows to the left.
void SetShape(ReportObject *shape, qint16 value);
void SetPicture(ReportObject *picture, const QImage &image);
