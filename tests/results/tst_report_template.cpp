#include "results/ReportRenderer.h"
#include "results/ReportTemplate.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray page(const QByteArray &objects)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<report version=\"1\">"
           "<page width=\"200\" height=\"100\" fill=\"#ffffff\"/>"
        + objects + "</report>";
}

// Report units map 1:1 to pixels on a 96 dpi image.
QImage render(const ReportTemplate &t)
{
    QImage img(int(t.PageWidth()), int(t.PageHeight()), QImage::Format_RGB32);
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setLayoutDirection(Qt::RightToLeft); // as in the program
    RenderReport(t, p);
    p.end();
    return img;
}

// Horizontal extent of non-white pixels inside a rectangle, -1 when blank.
QPair<int, int> inkSpan(const QImage &img, const QRect &r)
{
    int lo = -1, hi = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 200) {
                if (lo < 0 || x < lo)
                    lo = x;
                hi = qMax(hi, x);
            }
    return {lo, hi};
}

} // namespace

class TestReportTemplate : public QObject
{
    Q_OBJECT
private slots:
    void readsObjectsByNameAndKind()
    {
        ReportTemplate t;
        QString error;
        QVERIFY2(t.LoadFromData(page(
                     "<memo name=\"Memo3\" left=\"10\" top=\"20\" width=\"100\" height=\"15\" "
                     "font=\"B Nazanin, Nazli\" size=\"12\" bold=\"true\" align=\"left\" valign=\"top\" "
                     "frame=\"top bottom\" fill=\"#eeeeee\">line 1&#10;line 2</memo>"
                     "<shape name=\"Shape3\" left=\"150\" top=\"5\" width=\"0\" height=\"10\" "
                     "kind=\"round-rectangle\" anchor=\"right\" fill=\"#ff0000\"/>"
                     "<picture name=\"Picture2\" left=\"1\" top=\"2\" width=\"30\" height=\"40\"/>"
                     "<futureThing/>"),
                 &error),
                 qPrintable(error));
        QVERIFY(t.IsLoaded());
        QCOMPARE(t.PageWidth(), 200.0);
        QCOMPARE(t.Objects().size(), std::size_t(3));

        const ReportObject *memo = t.FindMemo(QStringLiteral("Memo3"));
        QVERIFY(memo);
        QCOMPARE(memo->text, QStringLiteral("line 1\nline 2"));
        QCOMPARE(memo->box, QRectF(10, 20, 100, 15));
        QCOMPARE(memo->fontFamilies, QStringList({QStringLiteral("B Nazanin"), QStringLiteral("Nazli")}));
        QVERIFY(memo->bold);
        QCOMPARE(memo->alignment, Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop);
        QCOMPARE(memo->frame, Qt::TopEdge | Qt::BottomEdge);
        QCOMPARE(memo->fill, QColor(0xee, 0xee, 0xee));

        // a name finds only an object of the kind asked for
        QVERIFY(!t.FindShape(QStringLiteral("Memo3")));
        QVERIFY(!t.FindMemo(QStringLiteral("Shape3")));
        QVERIFY(t.FindShape(QStringLiteral("Shape3")));
        QVERIFY(t.FindPicture(QStringLiteral("Picture2")));
        QVERIFY(!t.FindMemo(QStringLiteral("Memo99")));
    }

    void refusesBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("KVR report");
        QTest::newRow("other root") << QByteArray("<page width=\"10\" height=\"10\"/>");
        QTest::newRow("cut short") << page("<memo name=\"Memo3\">abc").left(90);
        QTest::newRow("bad number") << page("<memo name=\"a\" left=\"ten\"/>");
        QTest::newRow("huge number") << page("<shape name=\"a\" width=\"1e300\"/>");
        QTest::newRow("bad colour") << page("<shape name=\"a\" fill=\"#12\"/>");
        QTest::newRow("bad alignment") << page("<memo name=\"a\" align=\"middle\"/>");
        QTest::newRow("bad page") << page("").replace("width=\"200\"", "width=\"0\"");
    }
    void refusesBrokenFiles()
    {
        QFETCH(QByteArray, xml);
        ReportTemplate t;
        QString error;
        QVERIFY(!t.LoadFromData(xml, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!t.IsLoaded());
        QVERIFY(t.Objects().empty());
        QVERIFY(!t.FindMemo(QStringLiteral("Memo3")));
    }

    void missingFileLeavesAnEmptyTemplate()
    {
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page("<memo name=\"Memo3\"/>")));
        QVERIFY(!t.Load(QStringLiteral("/nonexistent/KVR.fr3")));
        QVERIFY(!t.IsLoaded());
        QVERIFY(t.Objects().empty());
    }

    void shapeGeometryIsTheWidthFromItsAnchor_data()
    {
        QTest::addColumn<bool>("anchorRight");
        QTest::addColumn<int>("value");
        QTest::addColumn<QRectF>("box");
        QTest::newRow("left, 266") << false << 266 << QRectF(100, 5, 266, 10);
        QTest::newRow("left, 0") << false << 0 << QRectF(100, 5, 0, 10);
        QTest::newRow("right, 380") << true << 380 << QRectF(-280, 5, 380, 10);
        QTest::newRow("right, 38") << true << 38 << QRectF(62, 5, 38, 10);
        QTest::newRow("right, 0") << true << 0 << QRectF(100, 5, 0, 10);
    }
    void shapeGeometryIsTheWidthFromItsAnchor()
    {
        QFETCH(bool, anchorRight);
        QFETCH(int, value);
        QFETCH(QRectF, box);
        ReportObject shape;
        shape.kind = ReportObject::Kind::Shape;
        shape.anchorRight = anchorRight;
        // anchored left the box starts at 100; anchored right it ends there
        shape.box = anchorRight ? QRectF(100, 5, 0, 10) : QRectF(100, 5, 50, 10);
        SetShape(&shape, qint16(value));
        QCOMPARE(shape.box, box);
        QCOMPARE(shape.box.width(), double(value));
        // setting it again starts from the same anchor
        SetShape(&shape, qint16(value));
        QCOMPARE(shape.box, box);
    }

    // With a right-to-left painter, "right" must still mean the page's right.
    void textLandsOnTheSideItIsAlignedTo_data()
    {
        QTest::addColumn<QString>("align");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("side");
        const QString fa = QStringLiteral("سن");
        QTest::newRow("rtl right") << "right" << "rtl" << fa << "right";
        QTest::newRow("rtl left") << "left" << "rtl" << fa << "left";
        QTest::newRow("ltr right") << "right" << "ltr" << "12" << "right";
        QTest::newRow("ltr left") << "left" << "ltr" << "12" << "left";
        QTest::newRow("auto right, latin") << "right" << "auto" << "@clinic" << "right";
        QTest::newRow("rtl center") << "center" << "rtl" << fa << "center";
    }
    void textLandsOnTheSideItIsAlignedTo()
    {
        QFETCH(QString, align);
        QFETCH(QString, dir);
        QFETCH(QString, text);
        QFETCH(QString, side);
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page("<memo name=\"m\" left=\"0\" top=\"0\" width=\"200\" height=\"40\" size=\"12\" "
                                    "align=\"" + align.toUtf8() + "\" dir=\"" + dir.toUtf8() + "\">"
                                    + text.toUtf8() + "</memo>")));
        const QImage img = render(t);
        const auto span = inkSpan(img, QRect(0, 0, 200, 40));
        QVERIFY2(span.first >= 0, "nothing drawn");
        if (side == QLatin1String("right"))
            QVERIFY2(span.first > 120, qPrintable(QString::number(span.first)));
        else if (side == QLatin1String("left"))
            QVERIFY2(span.second < 80, qPrintable(QString::number(span.second)));
        else
            QVERIFY(span.first > 60 && span.second < 140);
    }

    // A long clinic name or summary line must not run over its neighbours.
    void textStaysInsideItsBox_data()
    {
        QTest::addColumn<bool>("shrink");
        QTest::newRow("shrunk to fit") << true;
        QTest::newRow("clipped") << false;
    }
    void textStaysInsideItsBox()
    {
        QFETCH(bool, shrink);
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page(
            "<memo name=\"m\" left=\"60\" top=\"30\" width=\"80\" height=\"30\" size=\"30\" shrink=\""
            + QByteArray(shrink ? "true" : "false")
            + "\" align=\"right\">a very long clinic name indeed</memo>")));
        const QImage img = render(t);
        const auto span = inkSpan(img, QRect(0, 0, 200, 100));
        QVERIFY(span.first >= 59);
        QVERIFY(span.second <= 141);
        QCOMPARE(inkSpan(img, QRect(0, 0, 200, 28)).first, -1);
        QCOMPARE(inkSpan(img, QRect(0, 62, 200, 38)).first, -1);
    }

    void barsDrawWithTheirGeometryAndNotWhenEmpty()
    {
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page(
            "<shape name=\"a\" left=\"190\" top=\"10\" width=\"0\" height=\"10\" anchor=\"right\" fill=\"#000000\" pen=\"none\"/>"
            "<shape name=\"b\" left=\"190\" top=\"40\" width=\"0\" height=\"10\" anchor=\"right\" fill=\"#000000\" pen=\"none\"/>"
            "<shape name=\"c\" left=\"190\" top=\"70\" width=\"0\" height=\"10\" anchor=\"right\" fill=\"#000000\" pen=\"none\"/>")));
        SetShape(t.FindShape(QStringLiteral("a")), 76);
        SetShape(t.FindShape(QStringLiteral("b")), 0);
        SetShape(t.FindShape(QStringLiteral("c")), -38);
        const QImage img = render(t);
        const auto a = inkSpan(img, QRect(0, 12, 200, 6));
        QVERIFY(qAbs(a.first - 114) <= 1);
        QVERIFY(qAbs(a.second - 189) <= 1);
        QCOMPARE(inkSpan(img, QRect(0, 40, 200, 10)).first, -1);
        // a negative length draws nothing instead of a bar on the wrong side
        QCOMPARE(inkSpan(img, QRect(0, 70, 200, 10)).first, -1);
    }

    // The print preview records the page and plays it back later; Persian
    // mixed with Latin must come out in the same order as drawn directly.
    void recordedPageLooksLikeTheDirectOne()
    {
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page("<memo name=\"m\" left=\"0\" top=\"0\" width=\"200\" height=\"50\" size=\"14\" "
                                    "align=\"right\">" + QStringLiteral("عمومي C").toUtf8() + "</memo>")));
        const QImage direct = render(t);

        QPicture picture;
        QPainter rec(&picture);
        RenderReport(t, rec);
        rec.end();
        QImage played(direct.size(), QImage::Format_RGB32);
        played.setDotsPerMeterX(3780);
        played.setDotsPerMeterY(3780);
        played.fill(Qt::white);
        QPainter p(&played);
        p.drawPicture(0, 0, picture);
        p.end();

        int ink = 0, differ = 0;
        for (int y = 0; y < direct.height(); ++y)
            for (int x = 0; x < direct.width(); ++x) {
                const int a = qGray(direct.pixel(x, y)), b = qGray(played.pixel(x, y));
                ink += a < 128;
                differ += qAbs(a - b) > 128;
            }
        QVERIFY(ink > 20);
        QVERIFY2(differ * 10 < ink, qPrintable(QStringLiteral("%1 of %2").arg(differ).arg(ink)));
    }

    void pdfKeepsTextAsText()
    {
        ReportTemplate t;
        QVERIFY(t.LoadFromData(page("<memo name=\"m\" left=\"0\" top=\"0\" width=\"200\" height=\"40\">"
                                    + QStringLiteral("نمره خام").toUtf8() + "</memo>")));
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
        QVERIFY(WriteReportPdf(t, pdf));
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        // an embedded font with a map back to the characters: text, not a picture
        QVERIFY(bytes.contains("/FontFile2"));
        QVERIFY(bytes.contains("/ToUnicode"));

        QString error;
        QVERIFY(!WriteReportPdf(t, dir.filePath(QStringLiteral("no/such/folder/r.pdf")), &error));
        QVERIFY(!error.isEmpty());
    }

    void fontFallsBackToAnInstalledPersianFace()
    {
        const QString f = ReportFontFamily({QStringLiteral("No Such Face 123")});
        QVERIFY(!f.isEmpty());
        QVERIFY(f != QLatin1String("No Such Face 123"));
        const QStringList chain = {QStringLiteral("B Nazanin"), QStringLiteral("Nazli"),
                                   QStringLiteral("Noto Naskh Arabic")};
        if (!chain.contains(f))
            QSKIP("none of the Persian faces is installed");
    }
};

QTEST_MAIN(TestReportTemplate)
#include "tst_report_template.moc"
