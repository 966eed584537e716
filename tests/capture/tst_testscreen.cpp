// The on-screen test against a real database file: the item and its
// options, answers stored per item on Next, Back and closing, the two ends
// of the item range, and examinees whose answers cannot be stored.
#include "CaptureScreens.h"
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Test.h"
#include "store/DataControl.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

class TestTestScreen : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensOnItemOneWithStoredOption();
    void introAndHelpPanels();
    void chosenOptionStoredPerItem_data();
    void chosenOptionStoredPerItem();
    void nextPastLastItem();
    void backBeforeFirstItem();
    void closingCommits();
    void reopeningShowsStoredAnswers();
    void withoutAnswerRow();
    void failedCommitIsReported();

private:
    Frm_Test *Open(const QString &code);
    // The checked option (0..2), or -1 when none is.
    int Checked() const;
    QString Item() const { return m_w->Text6()->text(); }
    void GoTo(int item);

    ScreenFixture *m_f = nullptr;
    QPointer<Frm_Test> m_w;
};

void TestTestScreen::init()
{
    m_f = new ScreenFixture;
    QVERIFY2(m_f->db.ok(), qPrintable(m_f->db.error()));
    m_f->db.AddExaminees({"1", "2"});
    m_f->db.Exec("UPDATE Answer1 SET \"1\"='1', \"3\"='2' WHERE Code=2");
}

void TestTestScreen::cleanup()
{
    delete m_w;
    delete m_f;
    m_f = nullptr;
}

Frm_Test *TestTestScreen::Open(const QString &code)
{
    m_w = new Frm_Test();
    m_w->SetExaminee(CaptureText::LblName() + " examinee " + code, code);
    m_w->show();
    return m_w;
}

int TestTestScreen::Checked() const
{
    for (int i = 0; i < 3; ++i)
        if (m_w->Option(i)->isChecked())
            return i;
    return -1;
}

void TestTestScreen::GoTo(int item)
{
    while (Item().toInt() < item)
        QVERIFY(m_w->Next());
}

void TestTestScreen::opensOnItemOneWithStoredOption()
{
    Open("2");
    QVERIFY(!m_f->main.isEnabled());
    QCOMPARE(m_w->windowTitle(), CaptureText::TestCaption());
    QCOMPARE(Item(), QString("1"));
    QCOMPARE(m_w->ItemPanel()->title(), QString("1"));
    QCOMPARE(Checked(), 1);
    const QString a = m_f->db.Exec("SELECT A FROM QUS WHERE Code=1").toString();
    QCOMPARE(m_w->findChild<QLabel *>("LblQU")->text(), m_f->db.Exec("SELECT QU FROM QUS WHERE Code=1").toString());
    QCOMPARE(m_w->Option(0)->text(), a);
    QCOMPARE(m_w->Option(2)->text(), m_f->db.Exec("SELECT C FROM QUS WHERE Code=1").toString());
    // Item 2 is unanswered: nothing chosen, and the texts follow the item.
    QVERIFY(m_w->Next());
    QCOMPARE(Item(), QString("2"));
    QCOMPARE(Checked(), -1);
    QCOMPARE(m_w->Option(1)->text(), m_f->db.Exec("SELECT B FROM QUS WHERE Code=2").toString());
    QVERIFY(m_w->Next());
    QCOMPARE(Checked(), 2);
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
}

void TestTestScreen::introAndHelpPanels()
{
    Open("1");
    auto *intro = m_w->findChild<QGroupBox *>("GroupBox3");
    auto *help = m_w->findChild<QGroupBox *>("GroupBox4");
    auto *helpButton = m_w->findChild<QPushButton *>("PushButton3");
    QVERIFY(intro->isVisible());
    QVERIFY(!help->isVisible());
    QVERIFY(!helpButton->isVisible());
    m_w->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(!intro->isVisible());
    QVERIFY(helpButton->isVisible());
    helpButton->click();
    QVERIFY(help->isVisible());
    QCOMPARE(help->title(), CaptureText::Help());
    m_w->findChild<QPushButton *>("PushButton2")->click();
    QVERIFY(!help->isVisible());
}

void TestTestScreen::chosenOptionStoredPerItem_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("option");
    QTest::newRow("item 5, third option") << 5 << 2;
    QTest::newRow("item 1, first option") << 1 << 0;
    QTest::newRow("item 39, second option") << 39 << 1;
}

void TestTestScreen::chosenOptionStoredPerItem()
{
    QFETCH(int, item);
    QFETCH(int, option);
    Open("1");
    GoTo(item);
    m_w->Option(option)->click();
    // Chosen, not yet written.
    QCOMPARE(m_f->Answers("1").at(item - 1), QString());
    QVERIFY(m_w->Next());
    QStringList expected(40, QString());
    expected[item - 1] = QString::number(option);
    QCOMPARE(m_f->Answers("1"), expected);
    QCOMPARE(Item(), QString::number(item + 1));
    QCOMPARE(Checked(), -1);
    // The other examinee's row is untouched, and was never read.
    QCOMPARE(m_f->Answers("2").mid(0, 3), QStringList({"1", "", "2"}));
    QVERIFY(!m_w->Adodc2()->AllRowsRead());
}

void TestTestScreen::nextPastLastItem()
{
    Open("1");
    GoTo(40);
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    m_w->Option(1)->click();
    QVERIFY(m_w->Next());
    QCOMPARE(ScreenFixture::Boxes(), QStringList({CaptureText::Message() + '|' + CaptureText::End()}));
    QVERIFY(Dialogs::Test::Boxes().at(0).timed);
    QCOMPARE(Item(), QString("40"));
    QCOMPARE(m_w->ItemPanel()->title(), QString("40"));
    QCOMPARE(m_f->Answers("1").at(39), QString("1"));
    QCOMPARE(Checked(), 1);
}

void TestTestScreen::backBeforeFirstItem()
{
    Open("1");
    m_w->Option(2)->click();
    QVERIFY(m_w->Back());
    QCOMPARE(m_f->Answers("1").at(0), QString("2"));
    // Position 0: item 1 stays on screen and still takes the answer.
    QCOMPARE(Item(), QString("0"));
    QCOMPARE(m_w->ItemPanel()->title(), QString("1"));
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
    m_w->Option(0)->click();
    QVERIFY(m_w->Back());
    QCOMPARE(m_f->Answers("1").at(0), QString("0"));
    QCOMPARE(ScreenFixture::Boxes(), QStringList({CaptureText::Message() + '|' + CaptureText::Start()}));
    QCOMPARE(Item(), QString("1"));
    QCOMPARE(Checked(), 0);
}

void TestTestScreen::closingCommits()
{
    Open("1");
    GoTo(7);
    m_w->Option(2)->click();
    QVERIFY(m_w->close());
    QVERIFY(m_f->main.isEnabled());
    QCOMPARE(m_f->Answers("1").at(6), QString("2"));
}

void TestTestScreen::reopeningShowsStoredAnswers()
{
    Open("1");
    m_w->Option(0)->click();
    QVERIFY(m_w->Next());
    m_w->Option(2)->click();
    QVERIFY(m_w->close());
    delete m_w;

    Open("1");
    QCOMPARE(Item(), QString("1"));
    QCOMPARE(Checked(), 0);
    QVERIFY(m_w->Next());
    QCOMPARE(Checked(), 2);
    QVERIFY(m_w->Next());
    QCOMPARE(Checked(), -1);
}

void TestTestScreen::withoutAnswerRow()
{
    m_f->db.AddExaminees({"5"}, false);
    Open("5");
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, CaptureText::Attention());
    QCOMPARE(boxes[0].text, CaptureText::NoAnswerRow());
    QVERIFY(!m_w->HasAnswerRow());
    QVERIFY(!m_w->ItemPanel()->isEnabled());
    QVERIFY(!m_w->findChild<QPushButton *>("PushBNext")->isEnabled());
    QVERIFY(m_w->close());
    QCOMPARE(ScreenFixture::Boxes().size(), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=5"), 0);
}

void TestTestScreen::failedCommitIsReported()
{
    Open("1");
    GoTo(3);
    m_w->Option(1)->click();
    m_f->RefuseWrites("Answer1", "write refused");
    QVERIFY(!m_w->Next());
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes().at(0).caption, CaptureText::Error());
    QVERIFY(Dialogs::Test::Boxes().at(0).text.contains("write refused"));
    QCOMPARE(Dialogs::Test::Boxes().at(0).text.section('\n', 1, 1),
             QString::fromUtf8("پايگاه داده اين تغيير را نپذيرفت."));
    // Still on the item with the choice made.
    QCOMPARE(Item(), QString("3"));
    QCOMPARE(Checked(), 1);

    // Closing asks whether to leave without the answer; "no" keeps the screen.
    Dialogs::Test::Clear();
    Dialogs::Test::QueueAnswer(QMessageBox::No);
    QVERIFY(!m_w->close());
    QVERIFY(m_w->isVisible());
    QCOMPARE(Dialogs::Test::Boxes().size(), 2);

    m_f->AllowWrites("Answer1");
    QVERIFY(m_w->Next());
    QCOMPARE(m_f->Answers("1").at(2), QString("1"));
    QCOMPARE(Item(), QString("4"));
}

QTEST_MAIN(TestTestScreen)
#include "tst_testscreen.moc"
