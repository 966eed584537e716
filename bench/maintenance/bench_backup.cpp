// Backup copy of a large file compared with cp of the same file, in the same
// run and on the same folder. The copy runs as the backup screen runs it:
// 4048-byte chunks, pending events processed before each chunk, written
// through a temporary file that is renamed into place.
#include "maintenance/Backup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double seconds(const std::function<bool()> &run)
{
    QElapsedTimer t;
    t.start();
    if (!run()) {
        std::fprintf(stderr, "run failed\n");
        std::exit(1);
    }
    return t.nsecsElapsed() / 1e9;
}
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double best(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const qint64 mib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("kvr-bench-XXXXXX")));
    const QString src = dir.filePath(QStringLiteral("KVRDB.mdb"));
    {
        QFile f(src);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 i = 0; i < mib; ++i) {
            for (int j = 0; j < block.size(); j += 64)
                block[j] = char(i + j);
            f.write(block);
        }
    }
    const double bytes = double(mib) * (1 << 20);
    const QString cpDst = dir.filePath(QStringLiteral("cp.KVR"));
    const QString ourDst = dir.filePath(QStringLiteral("backup.KVR"));

    // The copy syncs the new file to disk before it takes the destination's
    // name (a backup must be on the disk before it replaces one); cp does
    // not, so cp followed by a sync of its file is shown as well.
    std::vector<double> cp, cpSync, ours, oursNoEvents;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(cpDst);
        cp.push_back(seconds([&] { return QProcess::execute(QStringLiteral("cp"), {src, cpDst}) == 0; }));
        QFile::remove(cpDst);
        cpSync.push_back(seconds([&] {
            return QProcess::execute(QStringLiteral("cp"), {src, cpDst}) == 0
                   && QProcess::execute(QStringLiteral("sync"), {cpDst}) == 0;
        }));
        QFile::remove(ourDst);
        ours.push_back(seconds([&] {
            return Backup::CopyFile(src, ourDst, Backup::ProcessEventsBetweenChunks()).ok;
        }));
        QFile::remove(ourDst);
        oursNoEvents.push_back(seconds([&] { return Backup::CopyFile(src, ourDst).ok; }));
    }
    const double cpRate = bytes / median(cp) / 1e6;
    const double ourRate = bytes / median(ours) / 1e6;
    const double rawRate = bytes / median(oursNoEvents) / 1e6;
    std::printf("file %lld MiB, median of 3\n", static_cast<long long>(mib));
    std::printf("cp                              %8.3f s  %8.1f MB/s\n", median(cp), cpRate);
    const double cpSyncRate = bytes / median(cpSync) / 1e6;
    std::printf("cp, then sync of its file       %8.3f s  %8.1f MB/s\n", median(cpSync), cpSyncRate);
    std::printf("backup copy (events per chunk)  %8.3f s  %8.1f MB/s  %.2f of cp\n", median(ours), ourRate,
                ourRate / cpRate);
    std::printf("backup copy (no event hook)     %8.3f s  %8.1f MB/s  %.2f of cp\n", median(oursNoEvents), rawRate,
                rawRate / cpRate);
    std::printf("backup copy against cp + sync   %.2f\n", ourRate / cpSyncRate);
    // On a busy machine the best of the rounds says more than the median.
    std::printf("best of 3: cp %.3f s, cp + sync %.3f s, backup copy %.3f s: %.2f of cp, %.2f of cp + sync\n",
                best(cp), best(cpSync), best(ours), best(cp) / best(ours), best(cpSync) / best(ours));
    return 0;
}
