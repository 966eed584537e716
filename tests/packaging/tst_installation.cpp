// The installed program, as a package puts it on a computer: the build is
// installed into a scratch prefix and run from there by several users, each
// with a home folder of their own.
#include "common/ui/ProgramIcon.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Every file below folder with its size: what an installation holds.
QMap<QString, qint64> listing(const QString &folder)
{
    QMap<QString, qint64> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), QFileInfo(path).size());
    }
    return files;
}

// Runs a SQL statement on a database file with bound values.
bool exec(const QString &file, const QString &sql, const QVariantList &values = {}, QVariant *first = nullptr)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(sql);
            for (const QVariant &v : values)
                q.addBindValue(v);
            ok = q.exec();
            if (!ok)
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            if (ok && first)
                *first = q.next() ? q.value(0) : QVariant();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return ok;
}

int count(const QString &file, const QString &table)
{
    QVariant n;
    return exec(file, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table), {}, &n) ? n.toInt() : -1;
}

} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    QString prefix() const { return m_root.filePath(QStringLiteral("usr")); }
    QString installed(const QString &rel) const { return QDir(prefix()).filePath(rel); }
    QString home(const QString &user) const { return m_root.filePath(QStringLiteral("home/") + user); }
    QString inHome(const QString &user, const QString &name) const { return QDir(home(user)).filePath(name); }
    QString userDatabase(const QString &user) const
    {
        return QDir(home(user)).filePath(QStringLiteral(".local/share/KVR/KVRDB.mdb"));
    }

    bool install()
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(KVR_CMAKE_COMMAND),
                {QStringLiteral("--install"), QStringLiteral(KVR_BUILD_DIR), QStringLiteral("--prefix"), prefix()});
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning("%s", p.readAll().constData());
            return false;
        }
        return true;
    }

    // Runs a program as `user` would: their home, no data folder of their own
    // chosen, in a working folder of theirs.
    Run run(const QString &user, const QString &program, const QStringList &args)
    {
        QDir().mkpath(home(user));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home(user));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home(user));
        p.start(program, args);
        Run r;
        if (!p.waitForFinished(120000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    Run cli(const QString &user, const QStringList &args)
    {
        return run(user, installed(QStringLiteral("bin/kvr-cli")), args);
    }
    Run exportAll(const QString &user, const QString &workbook)
    {
        return cli(user, {QStringLiteral("export"), inHome(user, workbook)});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QVERIFY(install());
    }

    void filesAreWhereTheSystemLooksForThem()
    {
        const QStringList present{
            "bin/kvr", "bin/kvr-cli", "libexec/kvr/kvr-webview.so", "libexec/kvr/kvr-keyring.so",
            "libexec/kvr/kvr-print.so", "libexec/kvr/kvr-xlsx", "libexec/kvr/kvr-zip.so",
            "share/kvr/KVRDB.mdb", "share/kvr/KVR.fr3", "share/kvr/icon3.ico", "share/kvr/CloseMSN.bmp",
            "share/kvr/KVR-Excel.xlsx", "share/kvr/KVR-Excel.zip",
            "share/kvr/Styles/Office2010.cjstyles/NormalBlue.ini",
            "share/applications/example.kvr.kvr.desktop", "share/metainfo/example.kvr.kvr.metainfo.xml",
            "share/mime/packages/kvr.xml", "share/icons/hicolor/scalable/apps/kvr.svg",
            "share/man/man1/kvr.1.gz", "share/man/man1/kvr-cli.1.gz",
            "share/doc/kvr/copyright", "share/doc/kvr/changelog.gz"};
        for (const QString &rel : present)
            QVERIFY2(QFileInfo(installed(rel)).isFile(), qPrintable(rel));
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/kvr"))).isExecutable());
        // Only delivered files: no build scripts, no records, no logo.
        const QStringList absent{"bin/KVRDB.mdb", "share/kvr/LogoKVR.jpg", "share/kvr/CMakeLists.txt",
                                 "share/kvr/KVRDB.sql", "share/kvr/tools"};
        for (const QString &rel : absent)
            QVERIFY2(!QFileInfo::exists(installed(rel)), qPrintable(rel));
    }

    // The delivered database is made for the installation, never the build
    // folder's own, which may hold the records of whoever ran the build.
    void deliveredDatabaseHoldsNoRecords()
    {
        const QString db = installed(QStringLiteral("share/kvr/KVRDB.mdb"));
        QCOMPARE(count(db, QStringLiteral("IDE")), 0);
        QCOMPARE(count(db, QStringLiteral("Answer1")), 0);
        QCOMPARE(count(db, QStringLiteral("Theme")), 1);
        QVERIFY(count(db, QStringLiteral("QUS")) > 0);
    }

    void iconsHaveTheSizeOfTheirFolder()
    {
        const QString hicolor = installed(QStringLiteral("share/icons/hicolor"));
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            for (const QString &kind : {QStringLiteral("apps/kvr.png"),
                                       QStringLiteral("mimetypes/application-x-kvr-backup.png")}) {
                const QString file = QStringLiteral("%1/%2x%2/%3").arg(hicolor).arg(size).arg(kind);
                const QImage image(file);
                QVERIFY2(!image.isNull(), qPrintable(file));
                QCOMPARE(image.size(), QSize(size, size));
                QVERIFY(image.hasAlphaChannel());
            }
        }
    }

    // The installed program finds its window icon in every installed size;
    // a copy outside an installation has none to find.
    void programFindsItsInstalledIcon()
    {
        QList<QSize> sizes;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes.append(QSize(size, size));
        const QIcon icon = ProgramIcon(installed(QStringLiteral("bin")));
        QCOMPARE(icon.availableSizes(), sizes);
        QVERIFY(ProgramIcon(QStringLiteral(KVR_BUILD_DIR "/bin")).isNull());

        // Each size is its own file; a size between two is drawn from the
        // larger, and a larger one than any from the largest.
        const auto file = [this](int size) {
            return QImage(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/kvr.png").arg(size)))
                .convertToFormat(QImage::Format_ARGB32);
        };
        const auto drawn = [&icon](int size) {
            return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
        };
        QVERIFY(!file(48).isNull());
        QCOMPARE(drawn(48), file(48));
        QCOMPARE(drawn(16), file(16));
        QCOMPARE(drawn(40).size(), QSize(40, 40));
        QCOMPARE(drawn(512), file(256));
    }

    // The files a desktop reads pass the checks of the tools that read them.
    void validators_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        const QString desktop = installed(QStringLiteral("share/applications/example.kvr.kvr.desktop"));
        const QString metainfo = installed(QStringLiteral("share/metainfo/example.kvr.kvr.metainfo.xml"));
        QTest::newRow("menu entry") << "desktop-file-validate" << QStringList{desktop};
        QTest::newRow("AppStream") << "appstreamcli" << QStringList{"validate", "--no-net", metainfo};
        for (const char *page : {"kvr.1.gz", "kvr-cli.1.gz"})
            QTest::newRow(page) << "man"
                                << QStringList{"--warnings", "-E", "UTF-8", "-l",
                                               installed(QStringLiteral("share/man/man1/") + QLatin1String(page))};
    }
    void validators()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        p.start(program, args);
        QVERIFY2(p.waitForStarted(), qPrintable(program + QStringLiteral(" is not installed")));
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == 0, qPrintable(out + err));
        if (program == QLatin1String("man")) {
            QVERIFY2(err.isEmpty(), qPrintable(err)); // groff's warnings
            QVERIFY(out.contains(QStringLiteral("FILES")));
        }
    }

    void manualPageOfKvrCliFollowsItsHelp()
    {
        QProcess p;
        const QString kvrCliPage = installed(QStringLiteral("share/man/man1/kvr-cli.1.gz"));
        p.start(QStringLiteral("man"), {QStringLiteral("-l"), kvrCliPage});
        QVERIFY(p.waitForFinished(60000));
        const QString page = QString::fromUtf8(p.readAllStandardOutput());
        const Run help = cli(QStringLiteral("reader"), {QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        // Every command of the help has its paragraph.
        static const QRegularExpression command(QStringLiteral("^  ([a-z-]+)"), QRegularExpression::MultilineOption);
        int commands = 0;
        for (auto m = command.globalMatch(help.out); m.hasNext(); ++commands) {
            const QString name = m.next().captured(1);
            QVERIFY2(page.contains(QRegularExpression(QStringLiteral("\\n {7}") + QRegularExpression::escape(name))),
                     qPrintable(name));
        }
        QVERIFY(commands >= 4);
        QVERIFY(page.contains(QStringLiteral("EXIT STATUS")));
    }

    void backupFilesHaveTheirFileType()
    {
        QTemporaryDir mime;
        const QString packages = mime.filePath(QStringLiteral("mime/packages"));
        QVERIFY(QDir().mkpath(packages));
        QVERIFY(QFile::copy(installed(QStringLiteral("share/mime/packages/kvr.xml")),
                            packages + QStringLiteral("/kvr.xml")));
        QVERIFY(QFile::copy(QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml"),
                            packages + QStringLiteral("/freedesktop.org.xml")));
        QProcess p;
        p.start(QStringLiteral("update-mime-database"), {mime.filePath(QStringLiteral("mime"))});
        QVERIFY2(p.waitForStarted(), "update-mime-database is not installed");
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QString globs = QString::fromUtf8(readAll(mime.filePath(QStringLiteral("mime/globs2"))));
        QVERIFY(globs.contains(QStringLiteral(":application/x-kvr-backup:*.kvr\n")));
        const QString types = QString::fromUtf8(readAll(mime.filePath(QStringLiteral("mime/subclasses"))));
        QVERIFY(types.contains(QStringLiteral("application/x-kvr-backup application/vnd.sqlite3")));
    }

    // Two users of one computer: each gets a database of their own on first
    // use, the installation is never written to, and records survive the
    // package being removed and installed again.
    void eachUserHasTheirOwnRecords()
    {
        const QMap<QString, qint64> before = listing(prefix());

        Run r = cli(QStringLiteral("alice"), {QStringLiteral("--version")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(),
                 QStringLiteral("%1.%2.%3").arg(KVR_VERSION_MAJOR).arg(KVR_VERSION_MINOR).arg(KVR_VERSION_PATCH));
        QVERIFY(!QFileInfo::exists(userDatabase(QStringLiteral("alice")))); // nothing made for --version

        r = exportAll(QStringLiteral("alice"), QStringLiteral("all.xls"));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("0 examinee(s)")), qPrintable(r.out));
        QCOMPARE(count(userDatabase(QStringLiteral("alice")), QStringLiteral("Theme")), 1);
        QVERIFY(QFileInfo::exists(inHome(QStringLiteral("alice"), QStringLiteral("all.xls"))));

        // Alice registers an examinee with answers.
        const QString alice = userDatabase(QStringLiteral("alice"));
        QVERIFY(exec(alice,
                     QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES ('5', ?, '33', ?)"),
                     {QStringLiteral("مريم رضايي"), QStringLiteral("زن")}));
        QString cols, marks;
        QVariantList values;
        for (int i = 1; i <= 40; ++i) {
            cols += QStringLiteral(", \"%1\"").arg(i);
            marks += QStringLiteral(", ?");
            values << QString::number(i % 3);
        }
        QVERIFY(exec(alice, QStringLiteral("INSERT INTO Answer1 (Code%1) VALUES (5%2)").arg(cols, marks), values));
        // and imports answers from an .xlsx, opened by the installed zip reader.
        r = cli(QStringLiteral("alice"),
                {QStringLiteral("import"), QStringLiteral("5"),
                 QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/import-mixed-lo.xlsx"))});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("examinee 5")), qPrintable(r.out));
        const QByteArray aliceRecords = readAll(alice);

        // The .xlsx export runs the installed workbook writer.
        r = exportAll(QStringLiteral("alice"), QStringLiteral("all.xlsx"));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(readAll(inHome(QStringLiteral("alice"), QStringLiteral("all.xlsx"))).startsWith("PK"));

        // Her report uses the installed template.
        const QString pdf = inHome(QStringLiteral("alice"), QStringLiteral("five.pdf"));
        r = cli(QStringLiteral("alice"), {QStringLiteral("report"), QStringLiteral("5"), pdf});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(readAll(pdf).startsWith("%PDF"));

        // Bob sees none of it.
        r = exportAll(QStringLiteral("bob"), QStringLiteral("all.xls"));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("0 examinee(s)")), qPrintable(r.out));
        QCOMPARE(count(userDatabase(QStringLiteral("bob")), QStringLiteral("IDE")), 0);

        QCOMPARE(listing(prefix()), before);

        // The package removed (every installed file gone) and installed again.
        QVERIFY(QDir(prefix()).removeRecursively());
        QVERIFY(install());
        QCOMPARE(readAll(alice), aliceRecords);
        r = exportAll(QStringLiteral("alice"), QStringLiteral("again.xls"));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("1 examinee(s)")), qPrintable(r.out));
        QCOMPARE(count(userDatabase(QStringLiteral("bob")), QStringLiteral("IDE")), 0);
    }

    // The program's first start makes the user's database before any window.
    void programStartMakesTheUsersDatabase()
    {
        const QString db = userDatabase(QStringLiteral("carol"));
        QDir().mkpath(home(QStringLiteral("carol")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home(QStringLiteral("carol")));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess kvr;
        kvr.setProcessEnvironment(env);
        kvr.setWorkingDirectory(home(QStringLiteral("carol")));
        kvr.start(installed(QStringLiteral("bin/kvr")), {});
        QVERIFY(kvr.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(db), 60000);
        kvr.kill();
        kvr.waitForFinished();
        QCOMPARE(count(db, QStringLiteral("Theme")), 1);
    }
};

QTEST_MAIN(TestInstallation)
#include "tst_installation.moc"
