// The answer-sheet screen against a real database file: choosing an
// examinee, the slot filter and advance, the ten-key save, the save button,
// and that typed answers are never dropped silently.
#include "CaptureScreens.h"
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Pasoch.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

class TestAnswerSheet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opening();
    void choosingShowsStoredAnswersAfterDelay();
    void slotFilter_data();
    void slotFilter();
    void advanceSelectsNextSlot();
    void lastSlotKeepsFocus();
    void everyTenthKeySaves();
    void saveButton();
    void failedSaveIsReported();
    void choosingAnotherWritesPending();
    void closingWritesPending();
    void withoutAnswerRow();
    void saveKeepsShownExaminee();

private:
    Frm_Pasoch *Open();
    // Selects the examinee's line and lets the 2000 ms pass.
    void Choose(int gridRow);
    QLineEdit *Slot(int k) { return m_w->FlatEdit1(k); }
    QPushButton *SaveBtn() { return m_w->findChild<QPushButton *>("PushB1(1)"); }

    ScreenFixture *m_f = nullptr;
    QPointer<Frm_Pasoch> m_w;
};

void TestAnswerSheet::init()
{
    m_f = new ScreenFixture;
    QVERIFY2(m_f->db.ok(), qPrintable(m_f->db.error()));
    m_f->db.AddExaminees({"1", "2"});
    m_f->db.Exec("UPDATE Answer1 SET \"1\"='2', \"2\"='0', \"40\"='1' WHERE Code=1");
}

void TestAnswerSheet::cleanup()
{
    delete m_w;
    delete m_f;
    m_f = nullptr;
}

Frm_Pasoch *TestAnswerSheet::Open()
{
    m_w = new Frm_Pasoch();
    m_w->show();
    m_w->activateWindow();
    if (!QTest::qWaitForWindowActive(m_w))
        qWarning("the answer sheet did not become the active window");
    return m_w;
}

void TestAnswerSheet::Choose(int gridRow)
{
    m_w->VSFlexGrid1()->SelectRow(gridRow);
    emit m_w->VSFlexGrid1()->rowDoubleClicked();
    QVERIFY(Fire(m_w->Timer1()));
}

void TestAnswerSheet::opening()
{
    Open();
    QVERIFY(!m_f->main.isEnabled());
    for (int k = 0; k < 40; ++k)
        QCOMPARE(m_w->Label1(k)->text(), QString::number(k + 1));
    QVERIFY(!m_w->findChild<QGroupBox *>("GroupBox1")->isVisible());
    QVERIFY(!m_w->findChild<QGroupBox *>("GroupBox4")->isVisible());
    QVERIFY(!SaveBtn()->isEnabled());
    QVERIFY(!m_w->Timer1()->isActive());
    QCOMPARE(m_w->Timer1()->interval(), 2000);

    BoundGrid *grid = m_w->VSFlexGrid1();
    QCOMPARE(grid->Rows(), 3);
    QVERIFY(grid->IsColHidden(0) && grid->IsColHidden(3) && grid->IsColHidden(4));
    QVERIFY(!grid->IsColHidden(1) && !grid->IsColHidden(2));
    QCOMPARE(grid->ColWidthTwips(2), 2800);

    // The help panel and its text.
    QCOMPARE(Frm_Pasoch::HelpText(), CaptureText::SheetHelp());
    QVERIFY(Frm_Pasoch::HelpText().endsWith(QString::fromUtf8("ذخيره کليک کنيد.\r\n")));
    QCOMPARE(Frm_Pasoch::HelpText().count("\r\n"), 6);
    auto *help = m_w->findChild<QPlainTextEdit *>("TxtHelp");
    QCOMPARE(help->toPlainText(), QString(Frm_Pasoch::HelpText()).remove('\r'));
    m_w->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(m_w->findChild<QGroupBox *>("GroupBox4")->isVisible());
    m_w->findChild<QPushButton *>("PushButton2")->click();
    QVERIFY(!m_w->findChild<QGroupBox *>("GroupBox4")->isVisible());

    m_w->close();
    QVERIFY(m_f->main.isEnabled());
}

void TestAnswerSheet::choosingShowsStoredAnswersAfterDelay()
{
    Open();
    m_w->VSFlexGrid1()->SelectRow(2); // examinee 1
    emit m_w->VSFlexGrid1()->rowDoubleClicked();
    QVERIFY(m_w->Timer1()->isActive());
    QVERIFY(!m_w->findChild<QGroupBox *>("GroupBox1")->isVisible());
    QVERIFY(Fire(m_w->Timer1()));
    QVERIFY(m_w->findChild<QGroupBox *>("GroupBox1")->isVisible());
    QVERIFY(SaveBtn()->isEnabled());
    QCOMPARE(Slot(0)->text(), QString("2"));
    QCOMPARE(Slot(1)->text(), QString("0"));
    QCOMPARE(Slot(2)->text(), QString());
    QCOMPARE(Slot(39)->text(), QString("1"));
    QVERIFY(Slot(0)->hasFocus());

    // A second examinee: hidden again for the delay, then that one's answers.
    Choose(1);
    QCOMPARE(m_w->ShownCode(), QString("2"));
    QCOMPARE(Slot(0)->text(), QString());
    QVERIFY(Slot(0)->hasFocus());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
}

void TestAnswerSheet::slotFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << "0" << "0";
    QTest::newRow("2") << "2" << "2";
    QTest::newRow("3 refused") << "3" << "";
    QTest::newRow("letter refused") << "a" << "";
    QTest::newRow("Persian 1") << QString::fromUtf8("۱") << "1";
    QTest::newRow("Arabic-Indic 2") << QString::fromUtf8("٢") << "2";
    QTest::newRow("Persian 5 refused") << QString::fromUtf8("۵") << "";
}

void TestAnswerSheet::slotFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    Open();
    Choose(1); // examinee 2, no answers yet
    TypeText(Slot(4), typed);
    QCOMPARE(Slot(4)->text(), expected);
    QCOMPARE(m_w->Adodc2()->Value("5"), expected);
}

void TestAnswerSheet::advanceSelectsNextSlot()
{
    Open();
    Choose(2); // examinee 1: items 1 and 2 answered
    TypeChar(Slot(0), '1');
    QCOMPARE(Slot(0)->text(), QString("1"));
    QVERIFY(Slot(1)->hasFocus());
    QCOMPARE(Slot(1)->selectedText(), QString("0"));
    // The next digit replaces the selected one and moves on again.
    TypeChar(Slot(1), '2');
    QCOMPARE(Slot(1)->text(), QString("2"));
    QVERIFY(Slot(2)->hasFocus());
    // A refused key or Backspace changes nothing and does not move.
    TypeChar(Slot(2), '7');
    QTest::keyClick(Slot(1), Qt::Key_Backspace);
    QCOMPARE(Slot(1)->text(), QString("2"));
    QCOMPARE(Slot(2)->text(), QString());
    QVERIFY(Slot(2)->hasFocus());
    // Typing over an answer whose text is not selected replaces it as well.
    Slot(0)->setFocus();
    Slot(0)->deselect();
    TypeChar(Slot(0), '0');
    QCOMPARE(Slot(0)->text(), QString("0"));
}

void TestAnswerSheet::lastSlotKeepsFocus()
{
    Open();
    Choose(1);
    Slot(39)->setFocus();
    TypeChar(Slot(39), '2');
    QCOMPARE(Slot(39)->text(), QString("2"));
    QVERIFY(Slot(39)->hasFocus());
}

void TestAnswerSheet::everyTenthKeySaves()
{
    Open();
    Choose(1); // examinee 2
    auto *counter = m_w->findChild<QLineEdit *>("FlatEdit4");
    QVERIFY(counter->text().isEmpty() || counter->text() == "0");
    // Nine keys, refused and navigation keys among them, each typed where
    // the focus is: nothing written yet.
    auto focused = [] { return QApplication::focusWidget(); };
    auto typeFocused = [&](const QString &text) {
        for (QChar c : text)
            TypeChar(focused(), c);
    };
    QVERIFY(Slot(0)->hasFocus());
    typeFocused("12a");
    QTest::keyClick(focused(), Qt::Key_Left);
    typeFocused("0x2");
    QTest::keyClick(focused(), Qt::Key_Backspace);
    TypeChar(focused(), '9');
    QCOMPARE(counter->text(), QString("9"));
    QCOMPARE(m_f->Answers("2").mid(0, 4), QStringList({"", "", "", ""}));
    // The tenth writes the row, its own digit included.
    QCOMPARE(focused()->objectName(), QString("FlatEdit1(4)"));
    TypeChar(Slot(4), '1');
    QCOMPARE(counter->text(), QString("0"));
    QCOMPARE(m_f->Answers("2").mid(0, 5), QStringList({"1", "2", "0", "2", "1"}));
    // The eleventh starts a new count.
    TypeChar(Slot(5), '0');
    QCOMPARE(counter->text(), QString("1"));
    QCOMPARE(m_f->Answers("2").at(5), QString());
    QVERIFY(Dialogs::Test::Boxes().isEmpty());
}

void TestAnswerSheet::saveButton()
{
    Open();
    Choose(2); // examinee 1
    QVERIFY(!m_w->Adodc2()->AllRowsRead());
    // Saving unchanged answers rewrites the same row and confirms.
    SaveBtn()->click();
    QCOMPARE(ScreenFixture::Boxes(), QStringList({CaptureText::Message() + '|' + CaptureText::Saved()}));
    QVERIFY(Dialogs::Test::Boxes().at(0).timed);
    QCOMPARE(m_f->Answers("1").at(0), QString("2"));

    TypeChar(Slot(2), '1');
    SaveBtn()->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 2);
    QCOMPARE(m_f->Answers("1").mid(0, 3), QStringList({"2", "0", "1"}));
    QCOMPARE(m_f->Answers("2").mid(0, 3), QStringList({"", "", ""}));
    // The saved row stays on screen.
    QCOMPARE(Slot(2)->text(), QString("1"));
    QCOMPARE(m_w->Adodc2()->RecordCount(), 1);
    // Showing and saving read the examinee's own answer row, never the
    // whole table.
    QVERIFY(!m_w->Adodc2()->AllRowsRead());
}

void TestAnswerSheet::failedSaveIsReported()
{
    Open();
    Choose(2);
    TypeChar(Slot(2), '1');
    m_f->RefuseWrites("Answer1", "answers refused");
    SaveBtn()->click();
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, CaptureText::Error());
    QVERIFY(boxes[0].text.contains("answers refused"));
    // What happened, in Persian, before SQLite's words.
    QCOMPARE(boxes[0].text.section('\n', 1, 1), QString::fromUtf8("پايگاه داده اين تغيير را نپذيرفت."));
    QCOMPARE(Slot(2)->text(), QString("1"));
    QCOMPARE(m_f->Answers("1").at(2), QString());

    // The automatic save reports as well.
    Dialogs::Test::Clear();
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(Slot(3), Qt::Key_Right);
    QCOMPARE(ScreenFixture::Boxes().size(), 1);
    QCOMPARE(Dialogs::Test::Boxes().at(0).caption, CaptureText::Error());

    m_f->AllowWrites("Answer1");
    Dialogs::Test::Clear();
    SaveBtn()->click();
    QCOMPARE(ScreenFixture::Boxes(), QStringList({CaptureText::Message() + '|' + CaptureText::Saved()}));
    QCOMPARE(m_f->Answers("1").at(2), QString("1"));
}

void TestAnswerSheet::choosingAnotherWritesPending()
{
    Open();
    Choose(2); // examinee 1
    TypeChar(Slot(5), '2');
    Choose(1); // examinee 2
    QCOMPARE(m_f->Answers("1").at(5), QString("2"));

    // When the write fails the answers stay and the examinee is kept.
    TypeChar(Slot(6), '1');
    m_f->RefuseWrites("Answer1", "no room");
    m_w->VSFlexGrid1()->SelectRow(2);
    emit m_w->VSFlexGrid1()->rowDoubleClicked();
    QVERIFY(!m_w->Timer1()->isActive());
    QCOMPARE(Dialogs::Test::Boxes().value(0).caption, CaptureText::Error());
    QVERIFY(m_w->findChild<QGroupBox *>("GroupBox1")->isVisible());
    QCOMPARE(Slot(6)->text(), QString("1"));
    QCOMPARE(m_w->ShownCode(), QString("2"));
}

void TestAnswerSheet::closingWritesPending()
{
    Open();
    Choose(1); // examinee 2
    TypeChar(Slot(0), '0');
    m_f->RefuseWrites("Answer1", "no room");
    Dialogs::Test::QueueAnswer(QMessageBox::No);
    QVERIFY(!m_w->close());
    QVERIFY(m_w->isVisible());
    QVERIFY(!m_f->main.isEnabled());
    QCOMPARE(ScreenFixture::Boxes().size(), 2); // the reason, then whether to close anyway

    m_f->AllowWrites("Answer1");
    QVERIFY(m_w->close());
    QVERIFY(m_f->main.isEnabled());
    QCOMPARE(m_f->Answers("2").at(0), QString("0"));
}

void TestAnswerSheet::withoutAnswerRow()
{
    m_f->db.AddExaminees({"3"}, false);
    Open();
    Choose(1); // examinee 3, newest
    const QList<Dialogs::Box> boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, CaptureText::Attention());
    QCOMPARE(boxes[0].text, CaptureText::NoAnswerRow());
    QVERIFY(!m_w->findChild<QGroupBox *>("GroupBox1")->isVisible());
    QVERIFY(!SaveBtn()->isEnabled());
    m_w->close();
    QCOMPARE(m_f->db.Count("SELECT count(*) FROM Answer1 WHERE Code=3"), 0);
}

void TestAnswerSheet::saveKeepsShownExaminee()
{
    Open();
    Choose(2); // examinee 1
    // A single click on another line does not choose it.
    m_w->VSFlexGrid1()->SelectRow(1);
    TypeChar(Slot(3), '2');
    SaveBtn()->click();
    QCOMPARE(m_f->Answers("1").at(3), QString("2"));
    QCOMPARE(Slot(0)->text(), QString("2")); // still examinee 1 on screen
}

QTEST_MAIN(TestAnswerSheet)
#include "tst_answersheet.moc"
