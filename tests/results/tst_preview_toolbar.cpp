// The profile's print preview as the user gets it: a window tall enough for
// the page, printing and saving as PDF never hidden in the toolbar's overflow
// menu, whatever the window's width, and the toolbar's tool tips Persian.
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Translations.h"
#include "results/ProfileReport.h"
#include "results/ui/fast_Form2.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QDialog>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

class TestPreviewToolbar : public QObject
{
    Q_OBJECT
    QTemporaryDir folder_;

private slots:
    void initTestCase()
    {
        QVERIFY(folder_.isValid());
        QApplication::setLayoutDirection(Qt::RightToLeft);
        QVERIFY(Translations::InstallPersian());
        SetProgramFolder(folder_.path());
        const QString source = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVR.fr3"));
        QVERIFY(QFile::copy(source, ProgramFile(QStringLiteral("KVR.fr3"))));
        Dialogs::Test::Install();
    }
    void cleanupTestCase()
    {
        Dialogs::Test::Uninstall();
        SetProgramFolder(QString());
    }

    void printAndPdfAlwaysVisible_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("as it opens") << 0;
        QTest::newRow("narrowed to 600 px") << 600;
        QTest::newRow("narrowed to 420 px") << 420;
    }
    void printAndPdfAlwaysVisible()
    {
        QFETCH(int, width);
        const QString printText = QCoreApplication::translate("QPrintPreviewDialog", "Print");
        QStringList visible, english;
        bool onScreen = false, tallEnough = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->inherits("QPrintPreviewDialog"))
                return;
            const QRect area = dialog->screen()->availableGeometry();
            onScreen = area.contains(dialog->frameGeometry());
            tallEnough = dialog->height() > area.height() / 2;
            if (width)
                dialog->resize(width, dialog->height());
            QTest::qWait(50);
            auto *bar = dialog->findChild<QToolBar *>();
            const QList<QAction *> actions = bar->actions();
            for (QAction *a : actions.mid(0, 2))
                if (QWidget *button = bar->widgetForAction(a); button && button->isVisible())
                    visible << (a->objectName() == QLatin1String("SavePdf") ? QStringLiteral("pdf") : a->text());
            static const QRegularExpression latin(QStringLiteral("[A-Za-z]{2,}"));
            for (QAction *a : actions)
                if (!a->isSeparator() && a->toolTip().remove(QStringLiteral("PDF")).contains(latin))
                    english << a->toolTip();
            dialog->reject();
        });
        ProfileInputs in;
        for (int r = 0; r < 8; ++r)
            in.stens[std::size_t(r)] = QStringLiteral("5");
        fast_Form2::RunReport(in);
        QVERIFY(onScreen);
        QVERIFY(tallEnough);
        QCOMPARE(visible, (QStringList{printText, QStringLiteral("pdf")}));
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
    }
};

QTEST_MAIN(TestPreviewToolbar)
#include "tst_preview_toolbar.moc"
