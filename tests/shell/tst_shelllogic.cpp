#include "shell/Commands.h"
#include "shell/ContactPage.h"
#include "shell/NumberText.h"
#include "shell/Settings.h"
#include "shell/Themes.h"

#include "ShellFixture.h"
#include "common/SafeFile.h"
#include "tests/support/FillDisk.h"
#include "tests/support/FullDisk.h"

#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

class TestShellLogic : public QObject
{
    Q_OBJECT
private slots:
    void numberCorrection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty gives 1") << "" << 23 << "1";
        QTest::newRow("within range kept") << "7" << 23 << "7";
        QTest::newRow("top kept") << "23" << 23 << "23";
        QTest::newRow("above theme range") << "30" << 23 << "23";
        QTest::newRow("above question range") << "41" << 40 << "40";
        QTest::newRow("zero") << "0" << 23 << "1";
        QTest::newRow("negative pasted") << "-3" << 40 << "1";
        QTest::newRow("leading zero written plainly") << "05" << 40 << "5";
        QTest::newRow("letters pasted") << "abc" << 40 << "1";
        QTest::newRow("number then letters pasted") << "12abc" << 40 << "12";
        QTest::newRow("persian digits pasted") << QString::fromUtf8("۱۲") << 40 << "12";
        QTest::newRow("huge number does not overflow") << "99999999999999999999999" << 40 << "40";
    }
    void numberCorrection()
    {
        QFETCH(QString, text);
        QFETCH(int, max);
        QFETCH(QString, expected);
        QCOMPARE(NumberText::Corrected(text, max), expected);
        // A corrected text is final: correcting it again changes nothing.
        QCOMPARE(NumberText::Corrected(expected, max), expected);
    }

    void numberKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("verdict");
        const int pass = int(NumberText::Key::Pass), accept = int(NumberText::Key::Accept),
                  refuse = int(NumberText::Key::Refuse);
        QTest::newRow("ascii digit") << int(Qt::Key_5) << "5" << accept;
        QTest::newRow("persian digit") << 0 << QString::fromUtf8("۵") << accept;
        QTest::newRow("arabic-indic digit") << 0 << QString::fromUtf8("٣") << accept;
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << accept;
        QTest::newRow("enter") << int(Qt::Key_Return) << "\r" << accept;
        QTest::newRow("latin letter") << int(Qt::Key_A) << "a" << refuse;
        QTest::newRow("persian letter") << 0 << QString::fromUtf8("ب") << refuse;
        QTest::newRow("full stop") << int(Qt::Key_Period) << "." << refuse;
        QTest::newRow("blank") << int(Qt::Key_Space) << " " << refuse;
        QTest::newRow("arrow") << int(Qt::Key_Left) << "" << pass;
        QTest::newRow("tab") << int(Qt::Key_Tab) << "\t" << pass;
    }
    void numberKeys()
    {
        QFETCH(int, key);
        QFETCH(QString, typed);
        QFETCH(int, verdict);
        QCOMPARE(int(NumberText::Classify(key, typed)), verdict);
    }

    void contactBlock_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("block");
        QTest::newRow("e-mail and telephone only")
            << QStringList{"a@b.example", "", "", "", "", "", "021 555"} << "a@b.example\r\n021 555\r\n";
        QTest::newRow("all empty") << QStringList{"", "", "", "", "", "", ""} << "";
        QTest::newRow("all filled keep their order")
            << QStringList{"m", "t", "i", "w", "x", "f", "p"} << "m\r\nt\r\ni\r\nw\r\nx\r\nf\r\np\r\n";
    }
    void contactBlock()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, block);
        QCOMPARE(ComposeContactBlock(items), block);
    }

    void themeTable_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("scheme");
        QTest::newRow("1 has no extension and a small b") << "1" << "/Styles/Le5" << "Normalblue.ini";
        QTest::newRow("4") << "4" << "/Styles/WinXP.Royale.cjstyles" << "NormalRoyale.ini";
        QTest::newRow("9 repeats 4") << "9" << "/Styles/WinXP.Royale.cjstyles" << "NormalRoyale.ini";
        QTest::newRow("14") << "14" << "/Styles/Office2010.cjstyles" << "NormalBlue.ini";
        QTest::newRow("20 repeats 14") << "20" << "/Styles/Office2010.cjstyles" << "NormalBlue.ini";
        QTest::newRow("21") << "21" << "/Styles/Codejock.cjstyles" << "NormalBlue.ini";
        QTest::newRow("23 repeats 21") << "23" << "/Styles/Codejock.cjstyles" << "NormalBlue.ini";
        QTest::newRow("22") << "22" << "/Styles/Codejock.cjstyles" << "NormalBlack.ini";
        QTest::newRow("leading blanks and trailing text") << "  6xy" << "/Styles/iTunes" << "Normalitunes.ini";
        QTest::newRow("0") << "0" << "" << "";
        QTest::newRow("24") << "24" << "" << "";
        QTest::newRow("fraction") << "4.5" << "" << "";
        QTest::newRow("negative") << "-4" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("no number") << "abc" << "" << "";
    }
    void themeTable()
    {
        QFETCH(QString, number);
        QFETCH(QString, style);
        QFETCH(QString, scheme);
        const ThemeRow row = ThemeRowFor(LeadingNumber(number));
        QCOMPARE(row.style, style);
        QCOMPARE(row.scheme, scheme);
    }

    // Every theme number finds its delivered look, and looks that the table
    // tells apart really differ.
    void deliveredLooks()
    {
        const QString data = SourceDir() + QStringLiteral("/data");
        QHash<QString, QString> seen; // colours -> look
        for (int n = 1; n <= 23; ++n) {
            const ThemeRow row = ThemeRowFor(n);
            const Look look = LoadLook(data, row);
            QVERIFY2(look.valid, qPrintable(QStringLiteral("theme %1: %2/%3").arg(n).arg(row.style, row.scheme)));
            QVERIFY(!look.styleSheet.isEmpty());
            const QString key = row.style + QLatin1Char('/') + row.scheme;
            const QString colours = look.palette.color(QPalette::Window).name()
                                    + look.palette.color(QPalette::Highlight).name()
                                    + look.palette.color(QPalette::Button).name();
            if (seen.contains(colours))
                QCOMPARE(seen.value(colours), key);
            seen.insert(colours, key);
            // Text stays readable on its background.
            const QColor bg = look.palette.color(QPalette::Window), fg = look.palette.color(QPalette::WindowText);
            QVERIFY2(qAbs(bg.lightness() - fg.lightness()) > 120, qPrintable(key));
        }
        QCOMPARE(seen.size(), 20);
        QVERIFY(!LoadLook(data, ThemeRow()).valid);
        QVERIFY(!LoadLook(data, {QStringLiteral("/Styles/Missing"), QStringLiteral("NormalBlue.ini")}).valid);
    }

    void logoConversion_data()
    {
        QTest::addColumn<QString>("sourceFormat"); // how the test writes the chosen file
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<int>("result");
        QTest::newRow("jpeg") << "JPEG" << "logo.jpg" << int(LogoResult::Saved);
        QTest::newRow("jpeg under another name") << "JPEG" << "logo.dat" << int(LogoResult::Saved);
        QTest::newRow("bmp") << "BMP" << "logo.bmp" << int(LogoResult::Saved);
        QTest::newRow("png is not asked for") << "PNG" << "logo.png" << int(LogoResult::NotAPicture);
        QTest::newRow("text file") << "text" << "notes.jpg" << int(LogoResult::NotAPicture);
        QTest::newRow("missing file") << "none" << "gone.jpg" << int(LogoResult::NotAPicture);
    }
    void logoConversion()
    {
        QFETCH(QString, sourceFormat);
        QFETCH(QString, sourceName);
        QFETCH(int, result);
        QTemporaryDir dir;
        const QString source = dir.filePath(sourceName);
        const QString target = dir.filePath(QStringLiteral("LogoKVR.jpg"));
        if (sourceFormat == QLatin1String("text")) {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture\n");
        } else if (sourceFormat != QLatin1String("none")) {
            QVERIFY(WritePicture(source, qPrintable(sourceFormat)));
        }
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old logo");
        old.close();

        QCOMPARE(int(StoreLogo(source, target)), result);

        QFile written(target);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        if (result == int(LogoResult::Saved)) {
            QVERIFY(bytes.startsWith("BM"));
            QImageReader reader(target);
            reader.setDecideFormatFromContent(true);
            QCOMPARE(reader.format(), QByteArray("bmp"));
            QCOMPARE(reader.read().size(), QSize(40, 30));
        } else {
            QCOMPARE(bytes, QByteArray("old logo"));
        }
    }

    void logoInUnwritableFolderKeepsNothingHalfWritten()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.jpg"));
        QVERIFY(WritePicture(source, "JPEG"));
        QString error, reason;
        QCOMPARE(StoreLogo(source, dir.filePath(QStringLiteral("no/such/folder/LogoKVR.jpg")), &error, &reason),
                 LogoResult::WriteFailed);
        QCOMPARE(reason, SafeFile::PersianReasonFor(ENOENT));
        QVERIFY(!error.isEmpty());
    }

    // A logo that cannot be written - a failure at any step, a file-size
    // limit, a full file system, with nothing or all but the last bytes
    // fitting - leaves the old logo byte for byte and nothing beside it.
    void logoThatCannotBeWrittenKeepsTheOldOne_data()
    {
        QTest::addColumn<QString>("how"); // "seam", "limit" or "tmpfs"
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("allButTheEnd");
        QTest::newRow("open") << "seam" << int(SafeFile::Step::Open) << EACCES << false;
        QTest::newRow("write") << "seam" << int(SafeFile::Step::Write) << ENOSPC << false;
        QTest::newRow("flush") << "seam" << int(SafeFile::Step::Flush) << ENOSPC << false;
        QTest::newRow("sync") << "seam" << int(SafeFile::Step::Sync) << EIO << false;
        QTest::newRow("close") << "seam" << int(SafeFile::Step::Close) << EIO << false;
        QTest::newRow("rename") << "seam" << int(SafeFile::Step::Rename) << EXDEV << false;
        const int none = int(SafeFile::Step::None);
        QTest::newRow("file-size limit, nothing fits") << "limit" << none << EFBIG << false;
        QTest::newRow("file-size limit, all but the end fits") << "limit" << none << EFBIG << true;
        QTest::newRow("full file system, nothing fits") << "tmpfs" << none << ENOSPC << false;
        QTest::newRow("full file system, all but the end fits") << "tmpfs" << none << ENOSPC << true;
    }
    void logoThatCannotBeWrittenKeepsTheOldOne()
    {
        QFETCH(QString, how);
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(bool, allButTheEnd);
        QTemporaryDir plain;
        SmallTmpfs disk;
        if (how == QLatin1String("tmpfs") && !disk.IsMounted())
            QSKIP("this process may not mount a tmpfs");
        const QString source = plain.filePath(QStringLiteral("picked.jpg"));
        QVERIFY(WritePicture(source, "JPEG", QSize(200, 150)));
        qint64 size = 0;
        {
            QTemporaryDir scratch;
            QCOMPARE(StoreLogo(source, scratch.filePath(QStringLiteral("LogoKVR.jpg"))), LogoResult::Saved);
            size = QFileInfo(scratch.filePath(QStringLiteral("LogoKVR.jpg"))).size();
        }
        const qint64 room = allButTheEnd ? size - 512 : 0;

        const QString folder = how == QLatin1String("tmpfs") ? disk.Path() : plain.path();
        const QString target = QDir(folder).filePath(QStringLiteral("LogoKVR.jpg"));
        const QByteArray old = QByteArray("BM the clinic's logo ") + QByteArray(3000, 'o');
        QVERIFY(SafeFile::WriteAll(target, old));
        if (how == QLatin1String("tmpfs"))
            QVERIFY(LeaveFree(folder, room));
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        QString why, reason;
        LogoResult result;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (how == QLatin1String("limit"))
                limit = std::make_unique<FileSizeLimit>(rlim_t(room));
            if (how == QLatin1String("seam"))
                SafeFile::FailNextForTests(SafeFile::Step(step), error);
            result = StoreLogo(source, target, &why, &reason);
            SafeFile::ClearFaultForTests();
        }
        QCOMPARE(result, LogoResult::WriteFailed);
        QCOMPARE(reason, SafeFile::PersianReasonFor(error));
        QVERIFY2(why.contains(target), qPrintable(why));
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);
    }

    // The contact window's page when the site cannot be reached: Persian,
    // right to left, the address in its own order and shown as text.
    void offlinePageIsPersian()
    {
        const QString page = ContactOfflinePage(QStringLiteral("http://www.kvr.example/?a=1&b=<x>"));
        QVERIFY(page.contains(QStringLiteral("dir=\"rtl\"")));
        QVERIFY(page.contains(QString::fromUtf8("سايت در دسترس نيست")));
        QVERIFY(page.contains(QStringLiteral("<bdi dir=\"ltr\">http://www.kvr.example/?a=1&amp;b=&lt;x&gt;</bdi>")));
        QVERIFY(!page.contains(QStringLiteral("<x>")));
    }
};

QTEST_GUILESS_MAIN(TestShellLogic)
#include "tst_shelllogic.moc"
