// Qt's own texts in the program's language, message boxes that keep
// left-to-right lines in their order and one order of their buttons, and
// where windows go.
#include "common/BidiText.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Placement.h"
#include "common/ui/Translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class TestPersian : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setLayoutDirection(Qt::RightToLeft);
        // qt6-translations-l10n is one of the packages the program needs.
        QVERIFY(Translations::InstallPersian());
    }

    void standardButtonsReadPersian()
    {
        auto box = Dialogs::MakeBox(nullptr, QStringLiteral("KVR"), QStringLiteral("؟"), QMessageBox::Question,
                                    QMessageBox::Yes | QMessageBox::No, true);
        QCOMPARE(box->button(QMessageBox::Yes)->text(), QString::fromUtf8("بلي"));
        QCOMPARE(box->button(QMessageBox::No)->text(), QString::fromUtf8("خير"));
        box = Dialogs::MakeBox(nullptr, QStringLiteral("KVR"), QStringLiteral("؟"), QMessageBox::NoIcon,
                               QMessageBox::Ok | QMessageBox::Cancel, false);
        QCOMPARE(box->button(QMessageBox::Ok)->text(), QString::fromUtf8("تاييد"));
        QCOMPARE(box->button(QMessageBox::Cancel)->text(), QString::fromUtf8("انصراف"));
    }

    // The affirmative button stands to the right of the negative one in
    // every box, whichever way its text reads.
    void affirmativeStandsRight_data()
    {
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<int>("yes");
        QTest::addColumn<int>("no");
        QTest::newRow("right to left, yes/no") << true << int(QMessageBox::Yes) << int(QMessageBox::No);
        QTest::newRow("left to right, yes/no") << false << int(QMessageBox::Yes) << int(QMessageBox::No);
        QTest::newRow("right to left, ok/cancel") << true << int(QMessageBox::Ok) << int(QMessageBox::Cancel);
        QTest::newRow("left to right, ok/cancel") << false << int(QMessageBox::Ok) << int(QMessageBox::Cancel);
    }
    void affirmativeStandsRight()
    {
        QFETCH(bool, rightToLeft);
        QFETCH(int, yes);
        QFETCH(int, no);
        const auto yesButton = QMessageBox::StandardButton(yes), noButton = QMessageBox::StandardButton(no);
        auto box = Dialogs::MakeBox(nullptr, QStringLiteral("KVR"), QString::fromUtf8("آيا مطمئن هستيد؟"),
                                    QMessageBox::Question, yesButton | noButton, rightToLeft);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const int yesX = box->button(yesButton)->mapToGlobal(QPoint()).x();
        const int noX = box->button(noButton)->mapToGlobal(QPoint()).x();
        QVERIFY2(yesX > noX, qPrintable(QStringLiteral("yes at %1, no at %2").arg(yesX).arg(noX)));
    }

    void leftToRightLinesKeepTheirOrder_data()
    {
        const QString lri(QChar(0x2066)), pdi(QChar(0x2069));
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Persian only") << QString::fromUtf8("ذخيره شد") << QString::fromUtf8("ذخيره شد");
        QTest::newRow("a path under a Persian line")
            << QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني\n/root/KVR/a.KVR")
            << QString::fromUtf8("اشکال در ايجاد نسخه پشتيباني\n") + lri + QStringLiteral("/root/KVR/a.KVR") + pdi;
        QTest::newRow("a system message, CR LF kept")
            << QStringLiteral("disk full\r\n") + QString::fromUtf8("پيام")
            << lri + QStringLiteral("disk full") + pdi + QStringLiteral("\r\n") + QString::fromUtf8("پيام");
        QTest::newRow("a Persian line with a Latin word") << QString::fromUtf8("فايل PDF ذخيره نشد:")
                                                         << QString::fromUtf8("فايل PDF ذخيره نشد:");
        QTest::newRow("digits only") << QStringLiteral("1403") << QStringLiteral("1403");
    }
    void leftToRightLinesKeepTheirOrder()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(Bidi::KeepLineDirections(text), shown);
        auto rtl = Dialogs::MakeBox(nullptr, QString(), text, QMessageBox::NoIcon, QMessageBox::Ok, true);
        QCOMPARE(rtl->text(), shown);
        // A box that reads left to right shows the text as it is.
        auto ltr = Dialogs::MakeBox(nullptr, QString(), text, QMessageBox::NoIcon, QMessageBox::Ok, false);
        QCOMPARE(ltr->text(), text);
    }

    // The real file dialog: Qt's own, in Persian, its paths and patterns left
    // to right, names only (the detail columns would show the system's
    // language).
    void fileDialogIsPersian()
    {
        Dialogs::Test::Uninstall();
        QStringList english;
        bool checked = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            checked = true;
            QCOMPARE(dialog->layoutDirection(), Qt::RightToLeft);
            QCOMPARE(dialog->viewMode(), QFileDialog::List);
            QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            for (const char *name : {"lookInCombo", "fileTypeCombo"})
                QCOMPARE(dialog->findChild<QComboBox *>(QLatin1String(name))->layoutDirection(), Qt::LeftToRight);
            static const QRegularExpression latin(QStringLiteral("[A-Za-z]{2,}"));
            for (const QLabel *l : dialog->findChildren<QLabel *>())
                if (l->isVisible() && l->text().contains(latin))
                    english << l->text();
            for (const QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
                if (b->isVisible() && b->text().contains(latin))
                    english << b->text();
            dialog->reject();
        });
        const QString chosen = Dialogs::OpenFileName(nullptr, QString(), QDir::tempPath(), QStringLiteral("All (*.*)"));
        QVERIFY(checked);
        QVERIFY(chosen.isEmpty());
        // The program reads right to left again.
        QCOMPARE(QApplication::layoutDirection(), Qt::RightToLeft);
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
    }

    void windowsFitTheArea_data()
    {
        QTest::addColumn<QRect>("wanted");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QRect>("placed");
        const QRect area(0, 0, 1093, 614); // 1366x768 at 125 %
        QTest::newRow("fits: stays") << QRect(100, 50, 600, 400) << QSize() << QRect(100, 50, 600, 400);
        QTest::newRow("off the bottom right: moved in")
            << QRect(800, 500, 600, 400) << QSize() << QRect(493, 214, 600, 400);
        QTest::newRow("title bar above the screen: moved down")
            << QRect(10, -30, 600, 400) << QSize() << QRect(10, 0, 600, 400);
        QTest::newRow("too large: shrunk to the area")
            << QRect(-100, -50, 1290, 880) << QSize() << area;
        QTest::newRow("cannot shrink below its minimum: top-left kept on the screen")
            << QRect(200, 100, 1200, 700) << QSize(1150, 650) << QRect(0, 0, 1150, 650);
    }
    void windowsFitTheArea()
    {
        QFETCH(QRect, wanted);
        QFETCH(QSize, minimum);
        QFETCH(QRect, placed);
        QCOMPARE(Placement::Fit(wanted, QRect(0, 0, 1093, 614), minimum), placed);
    }
};

QTEST_MAIN(TestPersian)
#include "tst_persian.moc"
