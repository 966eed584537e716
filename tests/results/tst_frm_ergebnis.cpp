// The results screen: opening state, scoring on double-click, the summary
// line, the help panel, and the profile, Excel and exit buttons.
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "common/ui/MainWindowRef.h"
#include "results/ReportTemplate.h"
#include "results/ResultScoring.h"
#include "results/ui/Frm_Ergebnis.h"
#include "results/ui/Frm_Excel.h"
#include "results/ui/fast_Form2.h"
#include "scoring/Mohasebeh.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"
#include "tests/store/StoreFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Male = QStringLiteral("مرد");
const QString Female = QStringLiteral("زن");
const QString Zeros = QStringLiteral("0 0 0 0 0 0 0 0");

struct Person {
    QString code, name, age, gender, marital, education;
};

QStringList Repeat(const QString &answer) { return QStringList(40, answer); }

QStringList Cycling()
{
    QStringList a;
    for (int k = 0; k < 40; ++k)
        a << QString::number(k % 3);
    return a;
}

QString memoText(const ReportTemplate &t, const char *name)
{
    const ReportObject *o = t.FindObject(QLatin1String(name));
    return o ? o->text : QStringLiteral("<missing>");
}

} // namespace

Q_DECLARE_METATYPE(Person)

class TestFrmErgebnis : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreFixture> db_;
    QWidget main_;

    void addExaminee(const Person &p) {
        db_->Exec(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung) "
                                 "VALUES (?,?,?,?,?,?)"),
                  {p.code, p.name, p.age, p.gender, p.marital, p.education});
    }
    void putAnswers(const QString &code, const QStringList &answers)
    {
        db_->Exec(QStringLiteral("DELETE FROM Answer1 WHERE Code=?"), {code});
        QString columns, marks;
        QVariantList values{code};
        for (int n = 1; n <= 40; ++n) {
            columns += QStringLiteral(", \"%1\"").arg(n);
            marks += QStringLiteral(", ?");
            values << answers.value(n - 1);
        }
        db_->Exec(QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (?%2)").arg(columns, marks), values);
    }
    void addScored(const QString &code, const QString &gender, const QStringList &answers)
    {
        addExaminee({code, QStringLiteral("examinee ") + code, QStringLiteral("30"), gender, QString(), QString()});
        putAnswers(code, answers);
    }

    // Double-clicks the list's line of that code.
    static bool DoubleClick(Frm_Ergebnis &w, const QString &code)
    {
        DataControl *dc = w.Adodc1();
        const int codeCol = dc->ColumnIndex(QStringLiteral("Code"));
        for (int row = 0; row < dc->RecordCount(); ++row) {
            if (dc->ValueAt(row, codeCol) != code)
                continue;
            if (!QTest::qWaitForWindowExposed(&w))
                return false;
            BoundGrid *grid = w.VSFlexGrid1();
            const QModelIndex index = grid->model()->index(row, 2);
            grid->scrollTo(index);
            // A real double-click: press and release, then the double-click itself.
            const QPoint at = grid->visualRect(index).center();
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
            return true;
        }
        return false;
    }
    static QString RawCaptions(const Frm_Ergebnis &w)
    {
        QStringList out;
        for (int r = 0; r < 8; ++r)
            out << w.LblKH(r)->text();
        return out.join(' ');
    }
    static QString StenCaptions(const Frm_Ergebnis &w)
    {
        QStringList out;
        for (int r = 0; r < 8; ++r)
            out << w.LblT(r)->text();
        return out.join(' ');
    }
    static int GenderBoxes()
    {
        int n = 0;
        for (const Dialogs::Box &b : Dialogs::Test::Boxes())
            if (b.text == Mohasebeh::GenderUnknownMessage()) {
                ++n;
                if (b.caption != QLatin1String("KVR") || b.icon != QMessageBox::Information
                    || b.buttons != QMessageBox::Ok || !b.rightToLeft)
                    return -1;
            }
        return n;
    }

private slots:
    void init()
    {
        db_ = std::make_unique<StoreFixture>();
        QVERIFY2(db_->ok(), qPrintable(db_->error()));
        Dialogs::Test::Install();
        SetMainWindow(&main_);
    }
    void cleanup()
    {
        fast_Form2::SetPreviewHook({});
        SetMainWindow(nullptr);
        Dialogs::Test::Uninstall();
        db_.reset();
    }

    void opening()
    {
        addScored(QStringLiteral("1"), Male, Repeat("1"));
        addScored(QStringLiteral("2"), Female, Repeat("2"));
        Frm_Ergebnis w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.Adodc1()->RecordSource(),
                 QStringLiteral("select id,FullName,Alter,Code,Geschlecht,Heirat,Bildung  from IDE order by id desc "));
        // newest first; only id and name shown
        BoundGrid *grid = w.VSFlexGrid1();
        QCOMPARE(grid->Rows(), 3);
        QCOMPARE(grid->TextMatrix(1, 2), QStringLiteral("examinee 2"));
        QCOMPARE(grid->TextMatrix(0, 2), QStringLiteral("نام و نام خانوادگي"));
        QCOMPARE(grid->ColWidthTwips(2), 2880);
        for (int col = 0; col < grid->Cols(); ++col)
            QCOMPARE(grid->IsColHidden(col), col != 1 && col != 2);
        // the hidden fields follow the current line
        QCOMPARE(w.FlatEdit1()->text(), QStringLiteral("2"));
        QCOMPARE(w.FEGeschlecht()->text(), Female);
        QVERIFY(!w.FlatEdit1()->isVisible() && !w.Txtid()->isVisible());

        QCOMPARE(RawCaptions(w), Zeros);
        QCOMPARE(StenCaptions(w), Zeros);
        QVERIFY(!w.PushBNem1()->isEnabled());
        QCOMPARE(w.PushBNem1()->text(), QStringLiteral("پروفايل "));
        QCOMPARE(w.PushButton7()->text(), QStringLiteral("خروجي اکسل داده ها"));
        QVERIFY(w.PushButton7()->isEnabled());
        QVERIFY(w.Txtid()->text().isEmpty());

        // each row under its caption, in row order from the top
        for (int r = 0; r < 8; ++r) {
            const auto *caption = w.findChild<QLabel *>(QStringLiteral("LblScale(%1)").arg(r));
            QVERIFY(caption);
            QCOMPARE(caption->text(), Mohasebeh::ScaleCaption(r));
            QCOMPARE(w.LblKH(r)->y(), caption->y());
            QCOMPARE(w.LblT(r)->y(), caption->y());
            // right to left: caption, raw score, sten
            QVERIFY(caption->x() > w.LblKH(r)->x() && w.LblKH(r)->x() > w.LblT(r)->x());
            if (r > 0)
                QVERIFY(caption->y() > w.LblKH(r - 1)->y());
        }
        QVERIFY(!w.GroupBox3()->isVisible());
        // the screen never writes to the database
        QCOMPARE(db_->Count(QStringLiteral("SELECT COUNT(*) FROM IDE")), 2);
    }

    void scoring_data()
    {
        QTest::addColumn<QString>("gender");
        QTest::addColumn<QStringList>("answers"); // empty: no answer row
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("stens");
        QTest::addColumn<bool>("profile");

        QTest::newRow("male, all 1") << Male << Repeat("1") << "8 6 4 12 10 20 20 40" << "7 5 4 5 5 5 6 5" << true;
        QTest::newRow("female, all 1") << Female << Repeat("1") << "8 6 4 12 10 20 20 40" << "8 5 4 5 5 5 5 5"
                                       << true;
        QTest::newRow("female, cycling 0 1 2") << Female << Cycling() << "8 8 6 6 9 23 14 37" << "8 6 7 2 4 7 3 5"
                                               << true;
        QTest::newRow("male, all empty") << Male << Repeat(QString()) << Zeros << Zeros << true;
        QTest::newRow("male, no answer row") << Male << QStringList() << Zeros << Zeros << true;
        QTest::newRow("gender with a leading blank") << (' ' + Male) << Repeat("1") << "8 6 4 12 10 20 20 40"
                                                     << Zeros << false;
        QTest::newRow("no gender") << QString() << Repeat("0") << "8 8 4 14 12 22 24 46" << Zeros << false;
    }
    void scoring()
    {
        QFETCH(QString, gender);
        QFETCH(QStringList, answers);
        QFETCH(QString, raw);
        QFETCH(QString, stens);
        QFETCH(bool, profile);

        addExaminee({QStringLiteral("7"), QStringLiteral("x"), QString(), gender, QString(), QString()});
        if (!answers.isEmpty())
            putAnswers(QStringLiteral("7"), answers);
        // someone else's answers lie first in the table
        addScored(QStringLiteral("8"), Male, Repeat("2"));
        Frm_Ergebnis w;
        w.show();
        QVERIFY(DoubleClick(w, QStringLiteral("7")));

        QCOMPARE(RawCaptions(w), raw);
        QCOMPARE(StenCaptions(w), stens);
        QCOMPARE(w.PushBNem1()->isEnabled(), profile);
        QCOMPARE(GenderBoxes(), profile ? 0 : 1);
    }

    // A second examinee takes nothing over from the first.
    void scoringOneAfterAnother_data()
    {
        QTest::addColumn<QString>("secondGender");
        QTest::addColumn<QStringList>("secondAnswers");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("stens");
        QTest::addColumn<bool>("profile");

        QTest::newRow("male then female, same answers: only the stens change")
            << Female << Repeat("1") << "8 6 4 12 10 20 20 40" << "8 5 4 5 5 5 5 5" << true;
        QTest::newRow("then one without gender: stens back to 0, no profile")
            << QStringLiteral("نامشخص") << Repeat("1") << "8 6 4 12 10 20 20 40" << Zeros << false;
        QTest::newRow("then one without answers") << Male << QStringList() << Zeros << Zeros << true;
    }
    void scoringOneAfterAnother()
    {
        QFETCH(QString, secondGender);
        QFETCH(QStringList, secondAnswers);
        QFETCH(QString, raw);
        QFETCH(QString, stens);
        QFETCH(bool, profile);

        addScored(QStringLiteral("1"), Male, Repeat("1"));
        addExaminee({QStringLiteral("2"), QStringLiteral("y"), QString(), secondGender, QString(), QString()});
        if (!secondAnswers.isEmpty())
            putAnswers(QStringLiteral("2"), secondAnswers);

        Frm_Ergebnis w;
        w.show();
        QVERIFY(DoubleClick(w, QStringLiteral("1")));
        QCOMPARE(StenCaptions(w), QStringLiteral("7 5 4 5 5 5 6 5"));
        QVERIFY(w.PushBNem1()->isEnabled());

        // While the gender message is up, the new raw scores are shown and
        // the stens read 0; the profile button goes off once it is closed.
        QString rawDuringBox, stensDuringBox;
        Dialogs::Test::SetHandler([&](const Dialogs::Box &) {
            rawDuringBox = RawCaptions(w);
            stensDuringBox = StenCaptions(w);
            return QMessageBox::NoButton;
        });
        QVERIFY(DoubleClick(w, QStringLiteral("2")));
        Dialogs::Test::SetHandler({});
        QCOMPARE(RawCaptions(w), raw);
        QCOMPARE(StenCaptions(w), stens);
        QCOMPARE(w.PushBNem1()->isEnabled(), profile);
        if (!profile) {
            QCOMPARE(rawDuringBox, raw);
            QCOMPARE(stensDuringBox, Zeros);
        }
    }

    // Every double-click reads the stored answers again.
    void rescoringReadsTheAnswersAgain()
    {
        addScored(QStringLiteral("3"), Male, Repeat("1"));
        Frm_Ergebnis w;
        w.show();
        QVERIFY(DoubleClick(w, QStringLiteral("3")));
        QCOMPARE(RawCaptions(w), QStringLiteral("8 6 4 12 10 20 20 40"));
        putAnswers(QStringLiteral("3"), Repeat("2"));
        QVERIFY(DoubleClick(w, QStringLiteral("3")));
        QCOMPARE(RawCaptions(w), QStringLiteral("8 4 4 10 8 18 16 34"));
    }

    // The answer row is picked by the whole code, whatever the code holds.
    void answerRowByCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("found");
        QTest::newRow("plain") << QStringLiteral("12") << true;
        QTest::newRow("a code with a quote") << QStringLiteral("4'2") << true;
        QTest::newRow("a code the filter cannot read as it stands") << QStringLiteral("4' OR '1") << false;
        QTest::newRow("prefix of another code") << QStringLiteral("1") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void answerRowByCode()
    {
        QFETCH(QString, code);
        QFETCH(bool, found);
        if (db_->OnServer() && code == QStringLiteral("4'2"))
            QSKIP("A server's answer codes are whole numbers: it cannot hold the text code 4'2.");
        putAnswers(QStringLiteral("12"), Repeat("2"));
        if (!db_->OnServer())
            putAnswers(QStringLiteral("4'2"), Repeat("2"));
        const Mohasebeh::AnswerRecord record = ResultScoring::ReadAnswers(code);
        QCOMPARE(record.Code, code);
        QCOMPARE(QStringList(record.Answers.begin(), record.Answers.end()),
                 found ? Repeat("2") : Repeat(QString()));
        // One examinee's answers are looked up by code, the table is not read whole.
        DataControl answers;
        QVERIFY(answers.Open(ResultScoring::AnswerSource()));
        QCOMPARE(ResultScoring::LoadAnswers(answers, code).Answers, record.Answers);
        QVERIFY(!answers.AllRowsRead());
    }

    void summaryLine_data()
    {
        QTest::addColumn<Person>("person");
        QTest::addColumn<QString>("line");
        QTest::newRow("all filled")
            << Person{"5", "مريم احمدي", "34", Female, "متاهل", "ليسانس"}
            << QStringLiteral("مريم احمدي    سن: 34    جنسيت: زن    وضعيت تاهل: متاهل    تحصيلات: ليسانس");
        QTest::newRow("all empty: labels and blanks only, four blanks first")
            << Person{"5", "", "", "", "", ""} << QStringLiteral("    سن:     جنسيت:     وضعيت تاهل:     تحصيلات: ");
        QTest::newRow("unknown gender still gets its line")
            << Person{"5", "علي", "40", " مرد", "مجرد", ""}
            << QStringLiteral("علي    سن: 40    جنسيت:  مرد    وضعيت تاهل: مجرد    تحصيلات: ");
    }
    void summaryLine()
    {
        QFETCH(Person, person);
        QFETCH(QString, line);
        addExaminee(person);
        Frm_Ergebnis w;
        w.show();
        w.Txtid()->setText(QStringLiteral("left over"));
        QVERIFY(DoubleClick(w, person.code));
        QCOMPARE(w.Txtid()->text(), line);
    }

    void helpPanel()
    {
        Frm_Ergebnis w;
        w.show();
        QCOMPARE(Frm_Ergebnis::HelpText(),
                 QStringLiteral("- روي نام آزمودني مورد نظر دوبار کليک کنيد\r\n- بعد روي دکمه پروفايل کليک کنيد\r\n"
                                "- جهت خروجي اکسل داده ها براي SPSS \r\nروي دکمه مربوطه کليک کنيد.\r\n"));
        QCOMPARE(w.TxtHelp()->toPlainText().remove('\r'), Frm_Ergebnis::HelpText().remove('\r'));
        QCOMPARE(w.GroupBox3()->title(), QStringLiteral("راهنما"));
        const int dpiX = w.logicalDpiX(), dpiY = w.logicalDpiY();

        QTest::mouseClick(w.PushButton1(), Qt::LeftButton);
        QVERIFY(w.GroupBox3()->isVisible());
        // Over the result table, from its third row down to above the
        // buttons: exit and the list stay in reach.
        QCOMPARE(w.GroupBox3()->geometry(),
                 QRect(BoundGrid::TwipsToPixels(585, dpiX), BoundGrid::TwipsToPixels(975, dpiY),
                       BoundGrid::TwipsToPixels(6180, dpiX), BoundGrid::TwipsToPixels(3075, dpiY)));
        for (const QWidget *kept : {static_cast<QWidget *>(w.PushB1()), static_cast<QWidget *>(w.VSFlexGrid1())})
            QVERIFY(!w.GroupBox3()->geometry().intersects(kept->geometry()));
        QTest::mouseClick(w.PushButton2(), Qt::LeftButton);
        QVERIFY(!w.GroupBox3()->isVisible());
    }

    // The profile prints what the screen shows: Txtid, the sixteen captions
    // and the clinic details.
    void profileButton_data()
    {
        QTest::addColumn<bool>("settingsFromScreen");
        QTest::newRow("clinic details handed in by the main window") << true;
        QTest::newRow("clinic details from the settings row") << false;
    }
    void profileButton()
    {
        QFETCH(bool, settingsFromScreen);
        QVERIFY(QFile::copy(QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVR.fr3")),
                            ProgramFile(QStringLiteral("KVR.fr3"))));
        db_->Exec(QStringLiteral("DELETE FROM Theme"));
        db_->Exec(QStringLiteral("INSERT INTO Theme (Name, Adresse, Mosch, Logo, TH) VALUES (?, ?, ?, 0, 1)"),
                  {QStringLiteral("stored clinic"), QStringLiteral("stored address"), QStringLiteral("021\r\n")});
        addExaminee({QStringLiteral("9"), QStringLiteral("سارا"), QStringLiteral("28"), Female, QString(), QString()});
        putAnswers(QStringLiteral("9"), Repeat("1"));

        QList<ReportTemplate> shown;
        fast_Form2::SetPreviewHook([&](const ReportTemplate &t) { shown << t; });
        Frm_Ergebnis w;
        if (settingsFromScreen)
            w.SetSettingsReader([](ProfileInputs &in) {
                in.clinicName = QStringLiteral("typed clinic");
                in.clinicAddress = QStringLiteral("typed address");
            });
        w.show();
        QVERIFY(DoubleClick(w, QStringLiteral("9")));
        QVERIFY(w.PushBNem1()->isEnabled());
        QTest::mouseClick(w.PushBNem1(), Qt::LeftButton);

        QCOMPARE(shown.size(), 1);
        const ReportTemplate &t = shown[0];
        QCOMPARE(memoText(t, "Memo3"), w.Txtid()->text());
        QCOMPARE(memoText(t, "Memo10"), settingsFromScreen ? QStringLiteral("typed clinic") : QStringLiteral("stored clinic"));
        QCOMPARE(memoText(t, "Memo12"), settingsFromScreen ? QStringLiteral("typed address") : QStringLiteral("stored address"));
        const auto &rows = ProfileRows();
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(memoText(t, rows[r].raw), w.LblKH(r)->text());
            QCOMPARE(memoText(t, rows[r].sten), w.LblT(r)->text());
        }
        QVERIFY(w.isVisible());
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
    }

    // The Excel button runs the export's save without showing the export
    // form, with the scores when the screen's option is ticked.
    void excelButton_data()
    {
        QTest::addColumn<bool>("scores");
        QTest::newRow("data only") << false;
        QTest::newRow("with scores") << true;
    }
    void excelButton()
    {
        QFETCH(bool, scores);
        addScored(QStringLiteral("11"), Male, Repeat("1"));
        Frm_Ergebnis w;
        w.show();
        QCOMPARE(w.CheckBox1()->text(), QStringLiteral("خروجي همراه با نمره ها"));
        QVERIFY(!w.CheckBox1()->isChecked());
        if (scores)
            QTest::mouseClick(w.CheckBox1(), Qt::LeftButton);
        const QString target = QDir(db_->Folder()).filePath(QStringLiteral("all.csv"));
        Dialogs::Test::QueueFileName(target, QStringLiteral("CSV UTF-8 (*.csv)"));
        QTest::mouseClick(w.PushButton7(), Qt::LeftButton);

        QCOMPARE(Dialogs::Test::FileRequests().size(), 1);
        QCOMPARE(Dialogs::Test::FileRequests()[0].kind, Dialogs::FileKind::Save);
        QCOMPARE(Dialogs::Test::Boxes().size(), 1);
        QCOMPARE(Dialogs::Test::Boxes()[0].text, QStringLiteral("ذخيره شد"));
        QVERIFY(!Frm_Excel::Instance()->isVisible());
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QVERIFY(lines.size() >= 2);
        // male, all answers "1": raw 8 6 4 12 10 20 20 40, stens 7 5 4 5 5 5 6 5
        QCOMPARE(lines[1].trimmed().endsWith("1,8,6,4,12,10,20,20,40,7,5,4,5,5,5,6,5,male"), scores);
        QCOMPARE(lines[0].count(',') + 1, scores ? 63 : 46);
    }

    // The menu opens the screen modally; however it is closed, the main
    // window is enabled again.
    void modalOpeningAndClosing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("exit button") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("escape key") << 2;
    }
    void modalOpeningAndClosing()
    {
        QFETCH(int, how);
        main_.setEnabled(false);
        bool wasModal = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<Frm_Ergebnis *>(QApplication::activeModalWidget());
            if (!w)
                return;
            wasModal = w->isVisible() && w->isModal();
            if (how == 0)
                w->PushB1()->click();
            else if (how == 1)
                w->close();
            else
                QTest::keyClick(w, Qt::Key_Escape);
        });
        Frm_Ergebnis::ShowModal(&main_);
        QVERIFY(wasModal);
        QVERIFY(main_.isEnabled());
        QVERIFY(main_.findChildren<Frm_Ergebnis *>().isEmpty());
    }
};


QTEST_MAIN(TestFrmErgebnis)
#include "tst_frm_ergebnis.moc"
