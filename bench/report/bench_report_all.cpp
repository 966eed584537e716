// kvr-cli report --all: every examinee's profile as a PDF, as a clinic's
// script would run it. Makes a scratch program folder with kvr-cli, the
// template, a large logo (printed) and N examinees (1,000 by default; every
// tenth without a known gender), runs the command and prints its wall and CPU
// time and its peak memory.
//
//   bench_report_all [N]     (QT_QPA_PLATFORM=offscreen)
#include "store/KvrDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/resource.h>

#include <cstdio>

namespace {

bool MakeDatabase(const QString &path, int n)
{
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery ide(db), ans(db), theme(db);
        ok = ok && theme.exec(QStringLiteral("UPDATE Theme SET Logo = 1"));
        ok = ok && ide.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Bildung) "
                                              "VALUES (?,?,?,?,?,?)"));
        QString cols = QStringLiteral("Code"), marks = QStringLiteral("?");
        for (int i = 1; i <= 40; ++i) {
            cols += QStringLiteral(",\"%1\"").arg(i);
            marks += QStringLiteral(",?");
        }
        ok = ok && ans.prepare(QStringLiteral("INSERT INTO Answer1 (%1) VALUES (%2)").arg(cols, marks));
        for (int i = 1; ok && i <= n; ++i) {
            ide.addBindValue(QString::number(i));
            ide.addBindValue(QString::fromUtf8("مريم احمدي %1").arg(i));
            ide.addBindValue(QString::number(18 + i % 60));
            ide.addBindValue(i % 10 == 0 ? QString() : i % 2 ? QString::fromUtf8("مرد") : QString::fromUtf8("زن"));
            ide.addBindValue(QString::fromUtf8("متاهل"));
            ide.addBindValue(QString::fromUtf8("کارشناسي ارشد"));
            ans.addBindValue(i);
            for (int k = 0; k < 40; ++k)
                ans.addBindValue(QString::number((i * 7 + k) % 3));
            ok = ide.exec() && ans.exec();
        }
        ok = ok && db.commit();
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    return ok;
}

void WriteLogo(const QString &path)
{
    // A large picture, as a clinic's scanned logo often is.
    QImage logo(1600, 1600, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setPen(QPen(QColor(27, 58, 92), 60));
    p.setBrush(QColor(106, 155, 211));
    p.drawEllipse(QRectF(150, 150, 1300, 1300));
    p.end();
    logo.save(path, "BMP");
}

double Seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;

    QTemporaryDir folder;
    const QDir dir(folder.path());
    if (!QFile::copy(QStringLiteral(KVR_BUILD_PROGRAM_DIR "/kvr-cli"), dir.filePath(QStringLiteral("kvr-cli")))
        || !QFile::copy(QStringLiteral(KVR_SOURCE_DIR "/data/KVR.fr3"), dir.filePath(QStringLiteral("KVR.fr3")))) {
        std::fprintf(stderr, "kvr-cli (build it first) or KVR.fr3 cannot be copied\n");
        return 1;
    }
    WriteLogo(dir.filePath(QStringLiteral("LogoKVR.jpg")));
    if (!MakeDatabase(dir.filePath(QStringLiteral("KVRDB.mdb")), n))
        return 1;

    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    cli.start(dir.filePath(QStringLiteral("kvr-cli")),
              {QStringLiteral("report"), QStringLiteral("--all"), dir.filePath(QStringLiteral("profiles"))});
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
        std::fprintf(stderr, "kvr-cli report --all failed\n");
        return 1;
    }
    const qint64 ms = t.elapsed();
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    const int pdfs = int(QDir(dir.filePath(QStringLiteral("profiles"))).entryList(QDir::Files).size());
    std::printf("report --all, %d examinees: %d PDFs in %lld ms wall (%.1f ms each), %.0f ms CPU, peak %.1f MB\n", n,
                pdfs, static_cast<long long>(ms), double(ms) / std::max(1, pdfs),
                (Seconds(u.ru_utime) + Seconds(u.ru_stime)) * 1000.0, u.ru_maxrss / 1024.0);
    return 0;
}
