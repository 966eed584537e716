// The examinee registry screen against a real database file: codes and
// dates for new examinees, the save's checks and writes, deletion, the key
// filter and the way into the test screen.
#include "CaptureScreens.h"
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Test.h"
#include "common/ModuleDatum.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"

#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

namespace {
// The enabled buttons New, Edit, Save, Cancel, Delete, Exit as six letters.
QString Buttons(Frm_Azmoodani *w)
{
    QString s;
    for (int i = 0; i < 6; ++i)
        s += w->PushButton6(i)->isEnabled() ? "NESCDX"[i] : '-';
    return s;
}
const QString kBrowse = "NE--DX";
}

class TestRegistry : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loadShowsNewestWithHeadings();
    void firstExamineeGetsCodeOneAndToday();
    void newThenExitSavesNothing();
    void saveChecksInOrder_data();
    void saveChecksInOrder();
    void blankNameIsStoredEmpty();
    void enterAfterSaveDoesNotClose();
    void editingKeepsOneAnswerRow();
    void deleteRemovesBothRowsAndFreesCode();
    void deleteTakesLineCurrentWhenAsked();
    void deleteWithEmptyListReportsNothing();
    void deleteAnsweredNo();
    void failedSaveIsReportedAndKept_data();
    void failedSaveIsReportedAndKept();
    void codeTakenMeanwhileGetsTheNextOne();
    void lockedDatabaseIsSaidInPersian();
    void keyFilter_data();
    void keyFilter();
    void digitFieldsPassTabButNotPaste();
    void genderListMirrorsField();
    void doubleClickOpensTest();

private:
    Frm_Azmoodani *Open();
    void Choose(QComboBox *list, const QString &text);
    void FillNew(const QString &name, const QString &age, const QString &gender);

    ScreenFixture *m_f = nullptr;
    QPointer<Frm_Azmoodani> m_w;
};

void TestRegistry::init()
{
    m_f = new ScreenFixture;
    QVERIFY2(m_f->db.ok(), qPrintable(m_f->db.error()));
}

void TestRegistry::cleanup()
{
    if (m_w && m_w->TestScreen())
        delete m_w->TestScreen();
    delete m_w;
    delete m_f;
    m_f = nullptr;
}

Frm_Azmoodani *TestRegistry::Open()
{
    m_w = new Frm_Azmoodani();
    m_w->show();
    return m_w;
}

void TestRegistry::Choose(QComboBox *list, const QString &text)
{
    const int i = list->findText(text);
    list->setCurrentIndex(i);
    emit list->textActivated(text);
}

void TestRegistry::FillNew(const QString &name, const QString &age, const QString &gender)
{
    m_w->New();
    QVERIFY(Fire(m_w->Timer1()));
    m_w->TxtAnmeldung(0)->setText(name);
    m_w->TxtAnmeldung(1)->setText(age);
    if (!gender.isEmpty())
        Choose(m_w->findChild<QComboBox *>("ComboBox1"), gender);
}

void TestRegistry::loadShowsNewestWithHeadings()
{
    m_f->db.AddExaminees({"1", "2"});
    Open();
    QVERIFY(!m_f->main.isEnabled());
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("examinee 2"));
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("2"));
    QVERIFY(m_w->TxtAnmeldung(0)->isReadOnly());
    QVERIFY(!m_w->TxtAnmeldung(6)->isReadOnly());
    QCOMPARE(Buttons(m_w), kBrowse);
    BoundGrid *grid = m_w->VSFlexGrid1();
    QCOMPARE(grid->Rows(), 3);
    QCOMPARE(grid->TextMatrix(0, 0), QString("#"));
    QCOMPARE(grid->TextMatrix(0, 7), CaptureText::HeadEducation());
    QCOMPARE(grid->TextMatrix(0, 8), CaptureText::HeadTelephone());
    QVERIFY(grid->IsColHidden(0));
    QVERIFY(grid->IsColHidden(10));
    QCOMPARE(grid->toolTip(), CaptureText::ListToolTip());

    m_w->Exit();
    QVERIFY(m_f->main.isEnabled());
}

void TestRegistry::firstExamineeGetsCodeOneAndToday()
{
    Open();
    m_w->New();
    QCOMPARE(Buttons(m_w), QString("-----X"));
    QVERIFY(!m_w->VSFlexGrid1()->isEnabled());
    QCOMPARE(m_w->Timer1()->interval(), 3000);
    QVERIFY(m_w->TxtAnmeldung(2)->text().isEmpty());
    QVERIFY(Fire(m_w->Timer1()));
    QVERIFY(!m_w->Timer1()->isActive());
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("1"));
    const QString today = SolarDateText(QDate::currentDate(), 0);
    QVERIFY(QRegularExpression("^\\d{4}/\\d{2}/\\d{2}$").match(today).hasMatch());
    QCOMPARE(m_w->TxtAnmeldung(6)->text(), today);
    QCOMPARE(Buttons(m_w), QString("--SC-X"));

    m_w->TxtAnmeldung(0)->setText("  Sara Ahmadi ");
    m_w->TxtAnmeldung(1)->setText("34");
    Choose(m_w->findChild<QComboBox *>("ComboBox1"), CaptureText::Female());
    QVERIFY(m_w->Save());
    QCOMPARE(Buttons(m_w), kBrowse);
    QVERIFY(m_w->TxtAnmeldung(0)->isReadOnly());
    QVERIFY(m_w->VSFlexGrid1()->isEnabled());

    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 1);
    QCOMPARE(m_f->db.Exec("SELECT Code FROM IDE").toString(), QString("1"));
    QCOMPARE(m_f->db.Exec("SELECT FullName FROM IDE").toString(), QString("Sara Ahmadi"));
    QCOMPARE(m_f->db.Exec("SELECT Datum1 FROM IDE").toString(), today);
    QCOMPARE(m_f->db.Exec("SELECT Geschlecht FROM IDE").toString(), CaptureText::Female());
    QCOMPARE(m_f->db.Exec("SELECT coalesce(Heirat,'') || coalesce(Bildung,'') || coalesce(TelNummer1,'') || coalesce(Tester,'') FROM IDE").toString(), QString());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=1"), 1);
    QCOMPARE(m_f->Answers("1"), QStringList(40, QString()));
    // The list shows the new examinee, and the fields show the newest.
    QCOMPARE(m_w->VSFlexGrid1()->Rows(), 2);
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("Sara Ahmadi"));
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
}

void TestRegistry::newThenExitSavesNothing()
{
    m_f->db.AddExaminees({"1"});
    Open();
    m_w->New();
    QVERIFY(m_w->Timer1()->isActive());
    m_w->TxtAnmeldung(0)->setText("not to be kept");
    m_w->Exit();
    QVERIFY(!m_w || !m_w->Timer1()->isActive());
    QVERIFY(m_f->main.isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_w);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1"), 1);
}

void TestRegistry::saveChecksInOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("age");
    QTest::addColumn<QString>("gender");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString male = CaptureText::Male();
    QTest::newRow("all missing: name first") << "" << "" << "" << CaptureText::NeedName() << "TxtAnmeldung(0)";
    QTest::newRow("name missing, others given") << "" << "30" << male << CaptureText::NeedName() << "TxtAnmeldung(0)";
    QTest::newRow("age missing") << "Ali" << "" << "" << CaptureText::NeedAge() << "TxtAnmeldung(1)";
    QTest::newRow("gender missing") << "Ali" << "30" << "" << CaptureText::NeedGender() << "ComboBox1";
}

void TestRegistry::saveChecksInOrder()
{
    QFETCH(QString, name);
    QFETCH(QString, age);
    QFETCH(QString, gender);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    Open();
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    FillNew(name, age, gender);
    QVERIFY(!m_w->Save());

    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, CaptureText::Message());
    QCOMPARE(boxes[0].text, message);
    QVERIFY(boxes[0].timed);
    QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focus);
    // Refused: still the new examinee, editable, Save and Cancel offered.
    QCOMPARE(Buttons(m_w), QString("--SC-X"));
    QVERIFY(!m_w->TxtAnmeldung(0)->isReadOnly());
    QVERIFY(m_w->Adodc(1)->IsNewRow());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 0);

    // Completing the entry and saving again works.
    m_w->TxtAnmeldung(0)->setText("Ali");
    m_w->TxtAnmeldung(1)->setText("30");
    Choose(m_w->findChild<QComboBox *>("ComboBox1"), CaptureText::Male());
    QVERIFY(m_w->Save());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE Code='1' AND FullName='Ali'"), 1);
}

void TestRegistry::blankNameIsStoredEmpty()
{
    Open();
    FillNew("   ", "7", CaptureText::Male());
    QVERIFY(m_w->Save());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE FullName=''"), 1);
}

// Save disables itself; the focus must not pass on to Exit, where the next
// Enter would close the screen.
void TestRegistry::enterAfterSaveDoesNotClose()
{
    Open();
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    FillNew("Reza", "30", CaptureText::Male());
    QPushButton *save = m_w->PushButton6(2);
    save->setFocus();
    QTest::keyClick(save, Qt::Key_Space);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE FullName='Reza'"), 1);
    QVERIFY(!m_w->PushButton6(5)->hasFocus());
    QVERIFY(m_w->VSFlexGrid1()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(m_w->isVisible());
}

void TestRegistry::editingKeepsOneAnswerRow()
{
    m_f->db.AddExaminees({"1", "2"});
    m_f->db.Exec("UPDATE Answer1 SET \"3\"='2' WHERE Code=1");
    Open();
    m_w->VSFlexGrid1()->SelectRow(2); // examinee 1, the older one
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("examinee 1"));
    m_w->Edit();
    QCOMPARE(Buttons(m_w), QString("NESC-X"));
    m_w->TxtAnmeldung(0)->setText("renamed");
    m_w->TxtAnmeldung(5)->setText(" Dr. Karimi ");
    QVERIFY(m_w->Save());

    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 2);
    QCOMPARE(m_f->db.Exec("SELECT FullName FROM IDE WHERE Code='1'").toString(), QString("renamed"));
    QCOMPARE(m_f->db.Exec("SELECT Tester FROM IDE WHERE Code='1'").toString(), QString("Dr. Karimi"));
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=1"), 1);
    QCOMPARE(m_f->db.Exec("SELECT \"3\" FROM Answer1 WHERE Code=1").toString(), QString("2"));
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1"), 2);
    // Back to the whole list, newest first.
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("examinee 2"));
    // The answer rows were looked up by code, never read whole.
    QVERIFY(!m_w->Adodc(2)->AllRowsRead());
    QVERIFY(!m_w->Adodc(3)->AllRowsRead());
}

void TestRegistry::deleteRemovesBothRowsAndFreesCode()
{
    m_f->db.AddExaminees({"1", "2", "3"});
    Open();
    m_w->Delete();
    QCOMPARE(Buttons(m_w), QString("-----X"));
    QCOMPARE(m_w->Timer2()->interval(), 3000);
    Dialogs::Test::QueueAnswer(QMessageBox::Yes);
    QVERIFY(Fire(m_w->Timer2()));

    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].caption, QString("examinee 3"));
    QCOMPARE(boxes[0].text, CaptureText::ConfirmDelete());
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes[1].caption, CaptureText::Message());
    QCOMPARE(boxes[1].text, CaptureText::Deleted());
    QVERIFY(boxes[1].timed);
    QCOMPARE(Buttons(m_w), kBrowse);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE Code='3'"), 0);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=3"), 0);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1"), 2);
    QCOMPARE(m_w->VSFlexGrid1()->Rows(), 3);
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("examinee 2"));

    // The freed code goes to the next examinee, with an answer row of its own.
    FillNew("new three", "40", CaptureText::Male());
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("3"));
    QVERIFY(m_w->Save());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=3"), 1);
    QVERIFY(!m_w->Adodc(2)->AllRowsRead());
    QVERIFY(!m_w->Adodc(3)->AllRowsRead());
}

void TestRegistry::deleteTakesLineCurrentWhenAsked()
{
    m_f->db.AddExaminees({"1", "2", "3"});
    m_f->db.Exec("DELETE FROM Answer1 WHERE Code=1"); // a code without answers
    Open();
    m_w->Delete();
    // The list stays usable while the question waits.
    QVERIFY(m_w->VSFlexGrid1()->isEnabled());
    m_w->VSFlexGrid1()->SelectRow(3);
    Dialogs::Test::QueueAnswer(QMessageBox::Yes);
    QVERIFY(Fire(m_w->Timer2()));
    QCOMPARE(Dialogs::Test::Boxes().value(0).caption, QString("examinee 1"));
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE Code='1'"), 0);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 2);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1"), 2);
}

void TestRegistry::deleteWithEmptyListReportsNothing()
{
    Open();
    QVERIFY(m_w->TxtAnmeldung(2)->text().isEmpty());
    m_w->Delete();
    Dialogs::Test::QueueAnswer(QMessageBox::Yes);
    QVERIFY(Fire(m_w->Timer2()));
    // Only the question: no success for a deletion that did not happen.
    QCOMPARE(ScreenFixture::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes().value(0).text, CaptureText::ConfirmDelete());
    QCOMPARE(Buttons(m_w), kBrowse);
}

void TestRegistry::deleteAnsweredNo()
{
    m_f->db.AddExaminees({"1"});
    Open();
    m_w->Delete();
    Dialogs::Test::QueueAnswer(QMessageBox::No);
    QVERIFY(Fire(m_w->Timer2()));
    QCOMPARE(ScreenFixture::Boxes().size(), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 1);
    QCOMPARE(Buttons(m_w), kBrowse);
}

void TestRegistry::failedSaveIsReportedAndKept_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("examinee row refused") << "IDE";
    QTest::newRow("answer row refused") << "Answer1";
}

void TestRegistry::failedSaveIsReportedAndKept()
{
    QFETCH(QString, table);
    m_f->db.AddExaminees({"1"});
    Open();
    FillNew("Reza", "25", CaptureText::Male());
    m_f->RefuseWrites(table, "disk refused the row");
    QVERIFY(!m_w->Save());

    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, CaptureText::Error());
    QVERIFY2(boxes[0].text.contains("disk refused the row"), qPrintable(boxes[0].text));
    // The entry stays on screen, in the same mode, and neither row was
    // written: the two are saved together or not at all.
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("Reza"));
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("2"));
    QCOMPARE(Buttons(m_w), QString("--SC-X"));
    QVERIFY(!m_w->TxtAnmeldung(0)->isReadOnly());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE"), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=2"), 0);

    m_f->AllowWrites(table);
    QVERIFY(m_w->Save());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE Code='2' AND FullName='Reza'"), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=2"), 1);
}

// Another program window saves an examinee under the code this screen
// showed, between the code being shown and Save.
void TestRegistry::codeTakenMeanwhileGetsTheNextOne()
{
    m_f->db.AddExaminees({"1"});
    Open();
    FillNew("Reza", "25", CaptureText::Male());
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("2"));
    m_f->db.AddExaminees({"2"}); // the other window's examinee, with its answer row
    m_f->db.Exec("UPDATE Answer1 SET \"1\"='2' WHERE Code=2");
    QVERIFY(m_w->Save());

    QCOMPARE(m_f->db.Exec("SELECT Code FROM IDE WHERE FullName='Reza'").toString(), QString("3"));
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=3 AND \"1\" IS NULL"), 1);
    QCOMPARE(m_f->db.Exec("SELECT \"1\" FROM Answer1 WHERE Code=2").toString(), QString("2"));
    // The screen says which code was stored and shows that examinee.
    QCOMPARE(ScreenFixture::Boxes(),
             QStringList{CaptureText::Attention() + '|' + CaptureText::CodeChanged("2", "3")});
    QCOMPARE(m_w->TxtAnmeldung(2)->text(), QString("3"));
    QCOMPARE(m_w->TxtAnmeldung(0)->text(), QString("Reza"));
    QCOMPARE(Buttons(m_w), kBrowse);
}

// Another program holds the write lock for longer than the busy timeout.
void TestRegistry::lockedDatabaseIsSaidInPersian()
{
    Open();
    FillNew("Reza", "25", CaptureText::Male());
    QVERIFY(m_f->db.HoldWriteLock());
    QVERIFY(!m_w->Save());
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    const QStringList lines = Dialogs::Test::Boxes().at(0).text.split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], CaptureText::SaveFailed());
    QVERIFY2(lines[1].contains(QString::fromUtf8("پس از چند ثانيه انتظار")), qPrintable(lines[1]));
    QVERIFY2(lines[2].contains("lock"), qPrintable(lines[2])); // the database's own words last
    QCOMPARE(Buttons(m_w), QString("--SC-X"));

    QVERIFY(m_f->db.ReleaseWriteLock());
    QVERIFY(m_w->Save());
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM IDE WHERE Code='1' AND FullName='Reza'"), 1);
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=1"), 1);
}

void TestRegistry::keyFilter_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("age: letters dropped") << 1 << "a3b" << "3";
    QTest::newRow("age: two digits at most") << 1 << "456" << "45";
    QTest::newRow("age: Persian digits") << 1 << QString::fromUtf8("۳۸") << "38";
    QTest::newRow("telephone: Arabic-Indic digits") << 4 << QString::fromUtf8("٠٩١٢") << "0912";
    QTest::newRow("telephone: signs dropped") << 4 << "+98-21" << "9821";
    QTest::newRow("date: slash dropped") << 6 << QString::fromUtf8("۱۴۰۲/۰۷") << "140207";
    QTest::newRow("name: anything goes") << 0 << "a1" << "a1";
}

void TestRegistry::keyFilter()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    Open();
    m_w->New();
    QLineEdit *e = m_w->TxtAnmeldung(field);
    e->clear();
    TypeText(e, typed);
    QCOMPARE(e->text(), expected);
    if (field != 0) {
        // Backspace takes the last digit back; Enter is dropped.
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), expected.chopped(1));
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(e->text(), expected.chopped(1));
        // Editing keys work as in any field; a digit typed after them lands
        // where the cursor is.
        TypeText(e, expected.right(1));
        QTest::keyClick(e, Qt::Key_Home);
        QTest::keyClick(e, Qt::Key_Delete);
        QCOMPARE(e->text(), expected.mid(1));
        QString rest = expected.mid(1);
        QTest::keyClick(e, Qt::Key_End);
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Backspace);
        if (rest.size() >= 2)
            rest.remove(rest.size() - 2, 1);
        QCOMPARE(e->text(), rest);
    }
}

void TestRegistry::digitFieldsPassTabButNotPaste()
{
    Open();
    m_w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    m_w->New();
    QLineEdit *age = m_w->TxtAnmeldung(1);
    QApplication::clipboard()->setText("ab");
    age->setFocus();
    // Ctrl+V as X11 delivers it: the control character, not the letter.
    QTest::sendKeyEvent(QTest::Click, age, Qt::Key_V, QString(QChar(0x16)), Qt::ControlModifier);
    QCOMPARE(age->text(), QString());
    QTest::keyClick(age, Qt::Key_Tab);
    QVERIFY(!age->hasFocus());
}

void TestRegistry::genderListMirrorsField()
{
    m_f->db.AddExaminees({"1"});
    m_f->db.Exec("UPDATE IDE SET Geschlecht=?, Heirat=? WHERE Code='1'", {CaptureText::Male(), CaptureText::Married()});
    m_f->db.AddExaminees({"2"}); // 'زن', no marital status
    Open();
    auto *gender = m_w->findChild<QComboBox *>("ComboBox1");
    auto *marital = m_w->findChild<QComboBox *>("ComboBox2");
    QCOMPARE(gender->currentText(), CaptureText::Female());
    QCOMPARE(marital->currentIndex(), -1);
    QCOMPARE(marital->placeholderText(), CaptureText::MaritalPrompt());
    m_w->VSFlexGrid1()->SelectRow(2);
    QCOMPARE(gender->currentText(), CaptureText::Male());
    QCOMPARE(marital->currentText(), CaptureText::Married());
    // A new examinee clears both; a choice goes into the hidden field.
    m_w->New();
    QCOMPARE(gender->currentIndex(), -1);
    QCOMPARE(gender->placeholderText(), CaptureText::GenderPrompt());
    Choose(marital, CaptureText::Widowed());
    QCOMPARE(m_w->findChild<QLineEdit *>("FEditHeirat")->text(), CaptureText::Widowed());
}

void TestRegistry::doubleClickOpensTest()
{
    m_f->db.AddExaminees({"4", "9"});
    Open();
    m_w->VSFlexGrid1()->SelectRow(2);
    emit m_w->VSFlexGrid1()->rowDoubleClicked();
    Frm_Test *test = m_w->TestScreen();
    QVERIFY(test);
    QVERIFY(test->isVisible());
    QVERIFY(!m_w->isVisible());
    QCOMPARE(test->findChild<QLabel *>("Label1(0)")->text(), CaptureText::LblName() + " examinee 4");
    QCOMPARE(test->findChild<QLineEdit *>("FltEditCode")->text(), QString("4"));
    QVERIFY(!m_f->main.isEnabled());
    test->close();
    QVERIFY(m_f->main.isEnabled());
    QVERIFY(!m_w->isVisible());
    // The menu shows the loaded registry again.
    QCOMPARE(Frm_Azmoodani::Open(), m_w.data());
    QVERIFY(m_w->isVisible());
    QVERIFY(!m_f->main.isEnabled());
}

QTEST_MAIN(TestRegistry)
#include "tst_registry.moc"
