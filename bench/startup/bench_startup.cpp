// Start-up to the shown main window: the program (its own main(), ended when
// the main window is first shown) against a bare Qt Widgets main window,
// started alternately in the same run. Each start is a fresh process; the
// figures are the wall time from starting it to its end and the CPU time it
// used (user and system), which a busy machine disturbs less.
//
//   bench_startup [ROUNDS]       (QT_QPA_PLATFORM=offscreen unless set; under
//                                 xvfb-run the xcb platform is used)
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + QLatin1Char('/') + QDir(from).relativeFilePath(src);
        QDir().mkpath(QFileInfo(dst).absolutePath());
        if (!QFile::copy(src, dst))
            return false;
    }
    return true;
}

double childCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Start {
    double wall = -1; // ms; negative when the program failed
    double cpu = 0;
};

Start start(const QString &program)
{
    QProcess p;
    const double cpu = childCpuMs();
    QElapsedTimer t;
    t.start();
    p.start(program, {});
    Start s;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), p.readAllStandardError().constData());
        p.kill();
        return s;
    }
    s.wall = double(t.nsecsElapsed()) / 1e6;
    s.cpu = childCpuMs() - cpu;
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    // The program runs from a program folder of its own with the delivered
    // database and looks, as a fresh installation would.
    QTemporaryDir dir;
    const QString binDir = QCoreApplication::applicationDirPath();
    const QString kvr = dir.filePath(QStringLiteral("kvr_start"));
    QString error;
    if (!QFile::copy(binDir + QStringLiteral("/kvr_start"), kvr)
        || !QFile::setPermissions(kvr, QFile::permissions(binDir + QStringLiteral("/kvr_start")))
        || !KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"),
                                       dir.filePath(KvrDatabase::FileName()), &error)
        || !copyTree(QStringLiteral(KVR_SOURCE_DIR "/data/Styles"), dir.filePath(QStringLiteral("Styles")))) {
        std::fprintf(stderr, "cannot set up the program folder %s\n", qPrintable(error));
        return 1;
    }
    const QString bare = binDir + QStringLiteral("/bare_window");

    // One start each first, so both find their libraries in the page cache.
    if (start(bare).wall < 0 || start(kvr).wall < 0) {
        std::fprintf(stderr, "a program did not start and end by itself\n");
        return 1;
    }
    std::vector<double> bareMs, kvrMs, bareCpu, kvrCpu;
    for (int r = 0; r < rounds; ++r) {
        const Start b = start(bare), k = start(kvr);
        bareMs.push_back(b.wall);
        bareCpu.push_back(b.cpu);
        kvrMs.push_back(k.wall);
        kvrCpu.push_back(k.cpu);
    }
    std::printf("start-up to the shown main window, %d starts each, platform %s\n", rounds,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("%-28s wall median %7.1f ms, best %7.1f ms;  CPU median %7.1f ms\n", "bare Qt Widgets main window",
                median(bareMs), *std::min_element(bareMs.begin(), bareMs.end()), median(bareCpu));
    std::printf("%-28s wall median %7.1f ms, best %7.1f ms;  CPU median %7.1f ms\n", "KVR main window",
                median(kvrMs), *std::min_element(kvrMs.begin(), kvrMs.end()), median(kvrCpu));
    std::printf("ratio: wall median %.2f, best %.2f, CPU %.2f (target <= 2)\n", median(kvrMs) / median(bareMs),
                *std::min_element(kvrMs.begin(), kvrMs.end()) / *std::min_element(bareMs.begin(), bareMs.end()),
                median(kvrCpu) / median(bareCpu));
    return 0;
}
