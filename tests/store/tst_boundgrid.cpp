// The bound list grid and bound fields on the offscreen platform, over a real
// database file.
#include "StoreFixture.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"
#include "store/ui/BoundWidgets.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString kList = QStringLiteral(
    "select id,FullName,Alter,Geschlecht,Heirat,Datum1,Bildung,TelNummer1,Tester,Code  from IDE order by id desc ");
}

class TestBoundGrid : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void numberingAndHeaders();
    void columnSettingsSurviveRefresh();
    void twipsToPixels_data();
    void twipsToPixels();
    void clickMakesTheLineCurrent();
    void doubleClickActsOnTheClickedLine();
    void followsFilterAndRefresh();
    void emptyListShowsOnlyHeader();
    void boundFieldsFollowAndSet();
    void rebindingAndUnbinding();
    void gridOutlivesItsControl();

private:
    QPoint cellCenter(BoundGrid &grid, int gridRow, int col)
    {
        const QModelIndex index = grid.model()->index(gridRow - 1, col);
        return grid.visualRect(index).center();
    }
    StoreFixture *m_f = nullptr;
};

void TestBoundGrid::init()
{
    m_f = new StoreFixture;
    QVERIFY2(m_f->ok(), qPrintable(m_f->error()));
}

void TestBoundGrid::cleanup()
{
    delete m_f;
    m_f = nullptr;
}

void TestBoundGrid::numberingAndHeaders()
{
    m_f->AddExaminees({"1", "2"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    QCOMPARE(grid.Rows(), 3);
    QCOMPARE(grid.Cols(), 11);
    QCOMPARE(grid.TextMatrix(0, 0), QString());
    QCOMPARE(grid.TextMatrix(0, 2), QString("FullName"));
    QCOMPARE(grid.TextMatrix(1, 0), QString()); // the row-header column has no data
    QCOMPARE(grid.TextMatrix(1, 10), QString("2"));
    QCOMPARE(grid.TextMatrix(2, 10), QString("1"));
    QVERIFY(grid.SetTextMatrix(0, 2, "نام و نام خانوادگي"));
    QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), QString("نام و نام خانوادگي"));
    QVERIFY(!grid.SetTextMatrix(1, 2, "x"));
    QVERIFY(!grid.SetTextMatrix(0, 11, "x"));
    QCOMPARE(grid.Row(), 1);
}

void TestBoundGrid::columnSettingsSurviveRefresh()
{
    m_f->AddExaminees({"1"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    grid.ColHidden(0, true);
    grid.ColHidden(10, true);
    grid.ColWidth(2, 2800);
    grid.SetTextMatrix(0, 0, "#");
    QVERIFY(dc.Refresh());
    QVERIFY(dc.Filter("code='1'"));
    QVERIFY(grid.isColumnHidden(0));
    QVERIFY(grid.isColumnHidden(10));
    QVERIFY(!grid.isColumnHidden(2));
    QCOMPARE(grid.columnWidth(2), BoundGrid::TwipsToPixels(2800, grid.logicalDpiX()));
    QCOMPARE(grid.ColWidthTwips(2), 2800);
    QCOMPARE(grid.TextMatrix(0, 0), QString("#"));
    // Another statement brings other columns: their names head them again.
    QVERIFY(dc.Open("select id,FullName,Alter,Code  from IDE order by id desc "));
    QCOMPARE(grid.TextMatrix(0, 0), QString());
    QCOMPARE(grid.TextMatrix(0, 4), QString("Code"));
}

void TestBoundGrid::twipsToPixels_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("an inch at 96") << 1440 << 96 << 96;
    QTest::newRow("name column at 96") << 2800 << 96 << 187;
    QTest::newRow("results name column at 120") << 2880 << 120 << 240;
    QTest::newRow("zero") << 0 << 96 << 0;
}

void TestBoundGrid::twipsToPixels()
{
    QFETCH(int, twips);
    QFETCH(int, dpi);
    QFETCH(int, pixels);
    QCOMPARE(BoundGrid::TwipsToPixels(twips, dpi), pixels);
}

void TestBoundGrid::clickMakesTheLineCurrent()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    QLineEdit name;
    Bound::Bind(&name, &dc, "FullName");
    grid.resize(600, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    QString seen;
    connect(&grid, &BoundGrid::rowClicked, &grid, [&] { seen = dc.Value("Code"); });
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCenter(grid, 3, 2));
    QCOMPARE(dc.CurrentRow(), 2);
    QCOMPARE(seen, QString("1"));
    QCOMPARE(name.text(), QString("examinee 1"));
    QCOMPARE(grid.Row(), 3);
}

void TestBoundGrid::doubleClickActsOnTheClickedLine()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    grid.resize(600, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(dc.CurrentRow(), 0);

    QStringList seen;
    connect(&grid, &BoundGrid::rowDoubleClicked, &grid, [&] { seen << dc.Value("Code"); });
    // A real double-click: press and release, then the double-click itself.
    const QPoint at = cellCenter(grid, 2, 3);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(seen, QStringList{"2"});
    QCOMPARE(dc.CurrentRow(), 1);
}

void TestBoundGrid::followsFilterAndRefresh()
{
    m_f->AddExaminees({"1", "2", "3"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    QVERIFY(dc.Filter("code='2'"));
    QCOMPARE(grid.Rows(), 2);
    QCOMPARE(grid.TextMatrix(1, 10), QString("2"));
    QCOMPARE(grid.selectionModel()->currentIndex().row(), 0);

    m_f->AddExaminees({"4"});
    QVERIFY(dc.Refresh());
    QCOMPARE(grid.Rows(), 5);
    QCOMPARE(grid.TextMatrix(1, 10), QString("4")); // newest first
    QCOMPARE(grid.Row(), 1);
    QCOMPARE(grid.selectionModel()->currentIndex().row(), 0);

    // A move of the control shows in the grid's selection.
    QVERIFY(dc.MoveLast());
    QCOMPARE(grid.selectionModel()->currentIndex().row(), 3);
}

void TestBoundGrid::emptyListShowsOnlyHeader()
{
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    QLineEdit name, code;
    Bound::Bind(&name, &dc, "FullName");
    Bound::Bind(&code, &dc, "Code"); // a hidden field is bound all the same
    code.hide();
    QCOMPARE(grid.Rows(), 1);
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(grid.TextMatrix(0, 2), QString("FullName"));
    QCOMPARE(grid.Row(), 0);
    QCOMPARE(name.text(), QString());
    QCOMPARE(code.text(), QString());
    // Typing without a row changes nothing in the control.
    name.setText("x");
    QCOMPARE(dc.RecordCount(), 0);
}

void TestBoundGrid::boundFieldsFollowAndSet()
{
    m_f->AddExaminees({"1", "2"});
    DataControl dc;
    QVERIFY(dc.Open(kList));
    BoundGrid grid;
    grid.SetDataControl(&dc);
    QLineEdit name;
    QPlainTextEdit education;
    QLabel code;
    Bound::Bind(&name, &dc, "FullName");
    Bound::Bind(&education, &dc, "Bildung");
    Bound::Bind(&code, &dc, "Code");
    QCOMPARE(name.text(), QString("examinee 2"));
    QCOMPARE(code.text(), QString("2"));

    // Typed text and text set in code both reach the row, the grid shows it.
    name.selectAll();
    QTest::keyClicks(&name, "Sara");
    QCOMPARE(dc.Value("FullName"), QString("Sara"));
    QCOMPARE(grid.TextMatrix(1, 2), QString("Sara"));
    education.setPlainText("ليسانس");
    QCOMPARE(dc.Value("Bildung"), QString("ليسانس"));
    QVERIFY(dc.Update());
    QCOMPARE(m_f->Exec("SELECT FullName || '/' || Bildung FROM IDE WHERE Code='2'").toString(),
             QString("Sara/ليسانس"));

    // A change through the control shows in the field.
    QVERIFY(dc.SetValue("FullName", "Reza"));
    QCOMPARE(name.text(), QString("Reza"));

    QVERIFY(dc.MoveNext());
    QCOMPARE(name.text(), QString("examinee 1"));
    QCOMPARE(education.toPlainText(), QString());
    QCOMPARE(code.text(), QString("1"));

    QVERIFY(dc.AddNew());
    QCOMPARE(name.text(), QString());
    QCOMPARE(code.text(), QString());
    QCOMPARE(grid.Rows(), 4);

    QVERIFY(dc.Refresh()); // drops the unsaved row and the unsaved "Reza"
    QCOMPARE(name.text(), QString("Sara"));
    QCOMPARE(grid.Rows(), 3);
}

void TestBoundGrid::rebindingAndUnbinding()
{
    m_f->AddExaminees({"1"});
    m_f->Exec("UPDATE Answer1 SET \"1\"='0', \"2\"='2'");
    DataControl answers;
    QVERIFY(answers.Open("SELECT * FROM Answer1 "));
    QLineEdit field;
    Bound::Bind(&field, &answers, "1");
    QCOMPARE(field.text(), QString("0"));
    Bound::Bind(&field, &answers, "2"); // the test screen moves the field to the next item
    QCOMPARE(Bound::ColumnOf(&field), QString("2"));
    QCOMPARE(field.text(), QString("2"));
    field.setText("1");
    QCOMPARE(answers.Value("1"), QString("0"));
    QCOMPARE(answers.Value("2"), QString("1"));
    Bound::Unbind(&field);
    QCOMPARE(Bound::ControlOf(&field), nullptr);
    field.setText("0");
    QCOMPARE(answers.Value("2"), QString("1"));
}

void TestBoundGrid::gridOutlivesItsControl()
{
    m_f->AddExaminees({"1", "2"});
    auto *dc = new DataControl;
    QVERIFY(dc->Open(kList));
    BoundGrid grid;
    grid.SetDataControl(dc);
    QLineEdit name;
    Bound::Bind(&name, dc, "FullName");
    grid.show();
    QCOMPARE(grid.Rows(), 3);
    delete dc;
    QCOMPARE(grid.Rows(), 1);
    QCOMPARE(grid.TextMatrix(1, 2), QString());
    name.setText("still works"); // no control behind it any more
    QCOMPARE(Bound::ControlOf(&name), nullptr);
    QCOMPARE(grid.Control(), nullptr);
}

QTEST_MAIN(TestBoundGrid)
#include "tst_boundgrid.moc"
