#include "common/ProgramFolder.h"
#include "shell/ui/Frm_About.h"
#include "shell/ui/Frm_Setting.h"
#include "shell/ui/MDIForm1.h"
#include "store/KvrDatabase.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

static void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + QLatin1Char('/') + QDir(from).relativeFilePath(src);
        QDir().mkpath(QFileInfo(dst).absolutePath());
        QFile::copy(src, dst);
    }
}

static void report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-34s n=%4zu  median %7.2f ms  mean %7.2f ms  max %7.2f ms\n", what, ms.size(),
                ms[ms.size() / 2], sum / ms.size(), ms.back());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setLayoutDirection(Qt::RightToLeft);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    QTemporaryDir dir;
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"),
                                    dir.filePath(QStringLiteral("KVRDB.mdb")), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    copyTree(QStringLiteral(KVR_SOURCE_DIR "/data/Styles"), dir.filePath(QStringLiteral("Styles")));
    SetProgramFolder(dir.path());
    MDIForm1::SetStartupCheck({});

    std::vector<double> loads;
    QElapsedTimer t;
    for (int i = 0; i < rounds * 4; ++i) {
        t.start();
        MDIForm1 *w = MDIForm1::Load();
        QCoreApplication::processEvents();
        loads.push_back(t.nsecsElapsed() / 1e6);
        delete w;
    }
    report("main window load (settings loaded)", loads);

    MDIForm1 *main = MDIForm1::Load();
    Frm_Setting *settings = Frm_Setting::Instance();
    settings->show();
    auto *about = new Frm_About;
    about->show();
    QCoreApplication::processEvents();
    auto *rang = settings->findChild<QLineEdit *>(QStringLiteral("TxtRang"));
    std::vector<double> switches;
    for (int r = 0; r < rounds; ++r)
        for (int n = 1; n <= 23; ++n) {
            t.start();
            rang->setText(QString::number(n));
            QCoreApplication::processEvents();
            switches.push_back(t.nsecsElapsed() / 1e6);
        }
    report("theme change, applied and stored", switches);
    delete about;
    delete main;
    delete settings;
    return 0;
}
