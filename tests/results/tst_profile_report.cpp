#include "common/PluginModule.h"
#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "common/ui/Dialogs.h"
#include "results/ProfileReport.h"
#include "results/ReportRenderer.h"
#include "results/ui/fast_Form2.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

QString sourceFile(const QString &rel)
{
    return QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(rel);
}

ProfileInputs inputsWithStens(const QStringList &stens)
{
    ProfileInputs in;
    in.summaryLine = QStringLiteral("summary");
    for (int r = 0; r < 8; ++r) {
        in.rawScores[r] = QString::number(10 + r);
        in.stens[r] = stens.value(r);
    }
    in.clinicName = QStringLiteral("clinic");
    in.clinicAddress = QStringLiteral("address");
    in.contactBlock = QStringLiteral("a@b.ir\r\n021-1234\r\n");
    return in;
}

QString memoText(const ReportTemplate &t, const char *name)
{
    const ReportObject *o = t.FindObject(QLatin1String(name));
    return o ? o->text : QStringLiteral("<missing>");
}

double shapeWidth(const ReportTemplate &t, const char *name)
{
    const ReportObject *o = t.FindObject(QLatin1String(name));
    return o ? o->box.width() : -1.0;
}

} // namespace

class TestProfileReport : public QObject
{
    Q_OBJECT

    QTemporaryDir folder_;

    void putTemplate() { QVERIFY(QFile::copy(sourceFile(QStringLiteral("data/KVR.fr3")), ProgramFile(QStringLiteral("KVR.fr3")))); }
    void putLogo()
    {
        // bitmap content under the .jpg name, as the settings screen writes it
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(QColor(10, 120, 200));
        QVERIFY(logo.save(ProgramFile(QStringLiteral("LogoKVR.jpg")), "BMP"));
    }

private slots:
    void initTestCase() { QVERIFY(folder_.isValid()); }
    void init()
    {
        QDir(folder_.path()).removeRecursively();
        QDir().mkpath(folder_.path());
        SetProgramFolder(folder_.path());
        Dialogs::Test::Install();
    }
    void cleanup()
    {
        fast_Form2::SetPreviewHook({});
        Dialogs::Test::Uninstall();
        SetProgramFolder(QString());
    }

    void summaryLine_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("all filled")
            << QStringList{QStringLiteral("مريم احمدي"), QStringLiteral("34"), QStringLiteral("زن"),
                           QStringLiteral("متاهل"), QStringLiteral("ليسانس")}
            << QStringLiteral("مريم احمدي    سن: 34    جنسيت: زن    وضعيت تاهل: متاهل    تحصيلات: ليسانس");
        QTest::newRow("all empty: the labels and their blanks only")
            << QStringList{QString(), QString(), QString(), QString(), QString()}
            << QStringLiteral("    سن:     جنسيت:     وضعيت تاهل:     تحصيلات: ");
    }
    void summaryLine()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, line);
        QCOMPARE(ProfileSummaryLine(fields[0], fields[1], fields[2], fields[3], fields[4]), line);
    }

    void stenCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("sten");
        QTest::addColumn<int>("geometry");
        QTest::newRow("7") << "7" << 7 << 266;
        QTest::newRow("10") << "10" << 10 << 380;
        QTest::newRow("0") << "0" << 0 << 0;
        QTest::newRow("1") << "1" << 1 << 38;
        QTest::newRow("empty") << "" << 0 << 0;
        QTest::newRow("not a number") << "abc" << 0 << 0;
        QTest::newRow("leading blanks") << "  5" << 5 << 190;
        QTest::newRow("trailing text") << "8x" << 8 << 304;
        QTest::newRow("half to even, down") << "6.5" << 6 << 228;
        QTest::newRow("half to even, up") << "7.5" << 8 << 304;
        QTest::newRow("beyond 16 bits counts as no sten") << "70000" << 0 << 0;
        QTest::newRow("geometry held at the 16-bit end") << "1000" << 1000 << 32767;
    }
    void stenCaption()
    {
        QFETCH(QString, caption);
        QFETCH(int, sten);
        QFETCH(int, geometry);
        QCOMPARE(int(StenFromCaption(caption)), sten);
        QCOMPARE(int(StenGeometry(StenFromCaption(caption))), geometry);
    }

    // The delivered template, filled: every named object is there and gets
    // its row's values.
    void fillsTheDeliveredTemplate_data()
    {
        QTest::addColumn<QStringList>("stens");
        QTest::addColumn<QStringList>("stenTexts");
        QTest::addColumn<QList<double>>("widths");
        QTest::newRow("all 10") << QStringList(8, QStringLiteral("10")) << QStringList(8, QStringLiteral("10"))
                                << QList<double>(8, 380.0);
        QTest::newRow("all 0") << QStringList(8, QStringLiteral("0")) << QStringList(8, QStringLiteral("0"))
                               << QList<double>(8, 0.0);
        QTest::newRow("mixed, empty and junk count as 0")
            << QStringList{"7", "", "abc", "1", "5", "3", "9", "6"}
            << QStringList{"7", "0", "0", "1", "5", "3", "9", "6"}
            << QList<double>{266, 0, 0, 38, 190, 114, 342, 228};
    }
    void fillsTheDeliveredTemplate()
    {
        QFETCH(QStringList, stens);
        QFETCH(QStringList, stenTexts);
        QFETCH(QList<double>, widths);
        putTemplate();
        ProfileInputs in = inputsWithStens(stens);
        in.rawScores[2] = QString(); // an empty raw caption prints empty
        const ReportTemplate t = FillProfileReport(in);
        QVERIFY(t.IsLoaded());

        QCOMPARE(memoText(t, "Memo3"), in.summaryLine);
        QCOMPARE(memoText(t, "Memo5"), in.contactBlock);
        QCOMPARE(memoText(t, "Memo10"), in.clinicName);
        QCOMPARE(memoText(t, "Memo12"), in.clinicAddress);
        const auto &rows = ProfileRows();
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(memoText(t, rows[r].raw), in.rawScores[r]);
            QCOMPARE(memoText(t, rows[r].sten), stenTexts[r]);
            QCOMPARE(shapeWidth(t, rows[r].shape), widths[r]);
        }
        // the bars all start at the same sten-0 axis
        const double axis = t.FindObject(QLatin1String(rows[0].shape))->box.right();
        for (const auto &row : rows)
            QCOMPARE(t.FindObject(QLatin1String(row.shape))->box.right(), axis);
        QCOMPARE(QDir::currentPath(), QDir(folder_.path()).absolutePath());
    }

    void logo_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("file"); // "" none, "bmp", "text"
        QTest::addColumn<bool>("printed");
        QTest::newRow("ticked") << 1 << "bmp" << true;
        QTest::newRow("not ticked, file present") << 0 << "bmp" << false;
        QTest::newRow("ticked, no file") << 1 << "" << false;
        QTest::newRow("ticked, not a picture") << 1 << "text" << false;
        QTest::newRow("other flag value") << 2 << "bmp" << false;
    }
    void logo()
    {
        QFETCH(int, flag);
        QFETCH(QString, file);
        QFETCH(bool, printed);
        putTemplate();
        if (file == QLatin1String("bmp"))
            putLogo();
        if (file == QLatin1String("text")) {
            QFile f(ProgramFile(QStringLiteral("LogoKVR.jpg")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture");
        }
        ProfileInputs in = inputsWithStens(QStringList(8, QStringLiteral("5")));
        in.printLogo = flag;
        const ReportTemplate t = FillProfileReport(in);
        const ReportObject *pic = t.FindObject(QStringLiteral("Picture2"));
        QVERIFY(pic);
        QCOMPARE(!pic->image.isNull(), printed);
        if (printed)
            QCOMPARE(pic->image.pixelColor(0, 0), QColor(10, 120, 200));
        // the rest of the report is filled either way
        QCOMPARE(memoText(t, "Memo44"), QStringLiteral("5"));
        QCOMPARE(shapeWidth(t, "Shape17"), 190.0);
    }

    void missingTemplateStillGoesThroughTheRun()
    {
        putLogo();
        ProfileInputs in = inputsWithStens(QStringList(8, QStringLiteral("7")));
        in.printLogo = 1;
        QImage logo;
        const ReportTemplate t = FillProfileReport(in, &logo);
        QVERIFY(!t.IsLoaded());
        QVERIFY(t.Objects().empty());
        QVERIFY(!logo.isNull()); // the steps that do not need the template still ran
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
    }

    void templateWithoutSomeObjectsFillsTheOthers()
    {
        QFile src(sourceFile(QStringLiteral("data/KVR.fr3")));
        QVERIFY(src.open(QIODevice::ReadOnly));
        QByteArray xml = src.readAll();
        // drop the summary, the C row's sten and the Total bar
        for (const char *name : {"\"Memo3\"", "\"Memo38\"", "\"Shape17\""}) {
            const int at = xml.indexOf(QByteArray("name=") + name);
            QVERIFY(at > 0);
            xml.replace(at, 5 + int(qstrlen(name)), "name=\"Gone\"");
        }
        QFile dst(ProgramFile(QStringLiteral("KVR.fr3")));
        QVERIFY(dst.open(QIODevice::WriteOnly));
        dst.write(xml);
        dst.close();

        const ReportTemplate t = FillProfileReport(inputsWithStens(QStringList(8, QStringLiteral("4"))));
        QVERIFY(t.IsLoaded());
        QVERIFY(!t.FindObject(QStringLiteral("Memo3")));
        QCOMPARE(memoText(t, "Memo37"), QStringLiteral("4"));
        QCOMPARE(memoText(t, "Memo39"), QStringLiteral("4"));
        QCOMPARE(shapeWidth(t, "Shape16"), 152.0);
        QCOMPARE(memoText(t, "Memo10"), QStringLiteral("clinic"));
    }

    // The worker form: Txtid gives the summary, Command1 runs, the preview
    // receives the filled report and the form unloads itself afterwards.
    void formRunsOnceAndUnloads()
    {
        putTemplate();
        QList<ReportTemplate> shown;
        fast_Form2::SetPreviewHook([&](const ReportTemplate &t) { shown << t; });

        QPointer<fast_Form2> form = new fast_Form2;
        form->Inputs() = inputsWithStens(QStringList(8, QStringLiteral("3")));
        form->Txtid()->setText(QStringLiteral("from Txtid"));
        QCOMPARE(form->Command1()->text(), QStringLiteral("Show report"));
        QVERIFY(!form->isVisible());
        form->Command1()->click();

        QCOMPARE(shown.size(), 1);
        QCOMPARE(memoText(shown[0], "Memo3"), QStringLiteral("from Txtid"));
        QCOMPARE(shapeWidth(shown[0], "Shape3"), 114.0);
        QTRY_VERIFY(form.isNull());
        QVERIFY(Dialogs::Test::Boxes().isEmpty());

        // a second run for another examinee carries nothing over
        ProfileInputs second = inputsWithStens(QStringList(8, QString()));
        second.summaryLine = QStringLiteral("second");
        fast_Form2::RunReport(second);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(memoText(shown[1], "Memo3"), QStringLiteral("second"));
        QCOMPARE(memoText(shown[1], "Memo37"), QStringLiteral("0"));
        QCOMPARE(shapeWidth(shown[1], "Shape3"), 0.0);
    }

    void formWithoutTemplateShowsAnEmptyReportSilently()
    {
        int shown = 0;
        fast_Form2::SetPreviewHook([&](const ReportTemplate &t) {
            ++shown;
            QVERIFY(t.Objects().empty());
        });
        fast_Form2::RunReport(inputsWithStens({}));
        QCOMPARE(shown, 1);
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
        QCOMPARE(QDir::currentPath(), QDir(folder_.path()).absolutePath());
    }

    // Without a hook the run shows the print preview and returns once the
    // user has closed it.
    void previewWindowShowsAndReturnsWhenClosed()
    {
        putTemplate();
        bool seen = false;
        const QString pdf = QDir(folder_.path()).filePath(QStringLiteral("saved"));
        Dialogs::Test::QueueFileName(pdf);
        QTimer::singleShot(0, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QDialog *>(w); d && d->inherits("QPrintPreviewDialog") && d->isVisible()) {
                    seen = d->objectName() == QLatin1String("ReportPreview");
                    // the preview's own button saves the profile as a PDF
                    if (auto *save = d->findChild<QAction *>(QStringLiteral("SavePdf")))
                        save->trigger();
                    d->reject();
                }
            }
        });
        fast_Form2::RunReport(inputsWithStens(QStringList(8, QStringLiteral("6"))));
        QVERIFY(seen);
        QVERIFY(Dialogs::Test::Boxes().isEmpty());
        QCOMPARE(Dialogs::Test::FileRequests().size(), 1);
        QCOMPARE(Dialogs::Test::FileRequests()[0].kind, Dialogs::FileKind::Save);
        QFile saved(pdf + QStringLiteral(".pdf"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.read(4) == "%PDF");
    }

    // A PDF that cannot be saved says so in Persian, with the system's
    // description on a second line, and leaves the earlier file as it was.
    void savingAsPdfThatFailsIsReported()
    {
        putTemplate();
        const QString pdf = QDir(folder_.path()).filePath(QStringLiteral("saved.pdf"));
        {
            QFile earlier(pdf);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("%PDF earlier profile");
        }
        const QStringList before = QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden);
        Dialogs::Test::QueueFileName(pdf);
        SafeFile::FailNextForTests(SafeFile::Step::Write, ENOSPC);
        QTimer::singleShot(0, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QDialog *>(w); d && d->inherits("QPrintPreviewDialog") && d->isVisible()) {
                    if (auto *save = d->findChild<QAction *>(QStringLiteral("SavePdf")))
                        save->trigger();
                    d->reject();
                }
            }
        });
        fast_Form2::RunReport(inputsWithStens(QStringList(8, QStringLiteral("6"))));
        SafeFile::ClearFaultForTests();

        const auto boxes = Dialogs::Test::Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, QString::fromUtf8("خطا"));
        const QStringList lines = boxes[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QString::fromUtf8("فايل PDF ذخيره نشد: ") + SafeFile::PersianReasonFor(ENOSPC));
        QVERIFY2(lines[1].contains(pdf), qPrintable(lines[1]));
        QFile earlier(pdf);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("%PDF earlier profile"));
        QCOMPARE(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden), before);
    }

    // Without the printing plugin the profile is not lost: a "خطا" box says
    // that printing could not be loaded and offers a PDF instead; "yes" asks
    // for a file and writes it, "no" leaves without a file. No preview opens.
    void withoutPrintingPluginOffersPdf_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("fileRequests");
        QTest::addColumn<bool>("written");
        QTest::newRow("declined") << QMessageBox::No << QString() << 0 << false;
        QTest::newRow("saved as PDF") << QMessageBox::Yes << QStringLiteral("profile") << 1 << true;
        QTest::newRow("file dialog cancelled") << QMessageBox::Yes << QString() << 1 << false;
    }
    void withoutPrintingPluginOffersPdf()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, fileName);
        QFETCH(int, fileRequests);
        QFETCH(bool, written);
        putTemplate();
        QTemporaryDir noPlugins;
        QVERIFY(noPlugins.isValid());
        PluginModule::SetFolderForTests(noPlugins.path());
        const QString pdf = QDir(folder_.path()).filePath(QStringLiteral("profile.pdf"));
        Dialogs::Test::QueueAnswer(answer);
        if (answer == QMessageBox::Yes)
            Dialogs::Test::QueueFileName(fileName.isEmpty() ? QString() : QDir(folder_.path()).filePath(fileName));
        bool previewShown = false;
        QTimer::singleShot(0, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible()) {
                    previewShown = true;
                    d->reject();
                }
        });
        fast_Form2::RunReport(inputsWithStens(QStringList(8, QStringLiteral("6"))));
        PluginModule::SetFolderForTests(QString());

        QVERIFY(!previewShown);
        const auto boxes = Dialogs::Test::Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, QString::fromUtf8("خطا"));
        QCOMPARE(boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        const QStringList lines = boxes[0].text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QString::fromUtf8("پيش نمايش و چاپ گزارش ممکن نيست: بخش چاپ برنامه بارگذاري نشد."));
        QCOMPARE(lines[1], QString::fromUtf8("آيا گزارش به صورت PDF ذخيره شود؟"));
        QVERIFY2(lines[2].contains(QLatin1String("kvr-print.so")), qPrintable(lines[2]));
        QCOMPARE(Dialogs::Test::FileRequests().size(), fileRequests);
        QFile saved(pdf);
        QCOMPARE(saved.exists(), written);
        if (written) {
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QVERIFY(saved.read(4) == "%PDF");
        }
        QCOMPARE(QDir::currentPath(), QDir(folder_.path()).absolutePath());
    }

    // The delivered template drawn with values: the Total bar of sten 10
    // reaches the far end of the axis, a sten-0 bar draws nothing.
    void deliveredProfileDrawsItsBars()
    {
        putTemplate();
        ProfileInputs in = inputsWithStens({"0", "1", "2", "3", "4", "5", "6", "10"});
        const ReportTemplate t = FillProfileReport(in);
        QImage img(int(t.PageWidth()), int(t.PageHeight()), QImage::Format_RGB32);
        img.setDotsPerMeterX(3780);
        img.setDotsPerMeterY(3780);
        img.fill(Qt::white);
        QPainter p(&img);
        RenderReport(t, p);
        p.end();

        const ReportObject *total = t.FindObject(QStringLiteral("Shape17"));
        const ReportObject *zero = t.FindObject(QStringLiteral("Shape3"));
        const int y = int(total->box.center().y());
        const QColor inside = img.pixelColor(int(total->box.left()) + 3, y);
        const QColor beyond = img.pixelColor(int(total->box.left()) - 4, y);
        QVERIFY2(inside.saturation() > 80, qPrintable(inside.name()));
        QVERIFY2(beyond.saturation() < 60, qPrintable(beyond.name()));
        // where a bar of sten 1 would end, the sten-0 row shows no bar
        const QColor none = img.pixelColor(int(zero->box.right()) - 19, int(zero->box.center().y()));
        QVERIFY2(none.saturation() < 60, qPrintable(none.name()));
    }
};

QTEST_MAIN(TestProfileReport)
#include "tst_profile_report.moc"
