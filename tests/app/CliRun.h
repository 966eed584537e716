#pragma once
// kvr-cli run to its end by a test: its exit status and what it said. A
// program that does not end in time or crashes gives status -1.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// P carries the working folder and environment the test chose.
inline Run RunToEnd(QProcess &p, const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline QByteArray ReadAllOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
