#pragma once
// A key pair of the test's own, made at run time with the minisign tool, and
// signatures made with it the way the vendor makes them.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

class TestSigner
{
public:
    enum class Kind { Prehashed, Legacy };

    TestSigner()
    {
        if (!run({QStringLiteral("-G"), QStringLiteral("-p"), path("key.pub"), QStringLiteral("-s"), path("key.sec"),
                  QStringLiteral("-W")}))
            return;
        QFile pub(path("key.pub"));
        if (pub.open(QIODevice::ReadOnly))
            m_publicKey = pub.readAll();
        if (m_publicKey.isEmpty())
            m_error = QStringLiteral("minisign made no public key");
    }
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    // The tool's ".pub" file.
    QByteArray publicKey() const { return m_publicKey; }

    // The signature file the tool makes for `data`; empty on failure.
    QByteArray sign(const QByteArray &data, Kind kind = Kind::Prehashed,
                    const QString &trustedComment = QStringLiteral("KVR test release"))
    {
        const QString file = path("signed.bin");
        const QString sig = path("signed.bin.minisig");
        QFile::remove(sig);
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            return {};
        f.close();
        QStringList args{QStringLiteral("-S"), QStringLiteral("-s"), path("key.sec"), QStringLiteral("-m"), file,
                         QStringLiteral("-x"), sig, QStringLiteral("-t"), trustedComment};
        if (kind == Kind::Legacy)
            args << QStringLiteral("-l");
        if (!run(args))
            return {};
        QFile s(sig);
        return s.open(QIODevice::ReadOnly) ? s.readAll() : QByteArray();
    }

private:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    bool run(const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("minisign"), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = QStringLiteral("minisign ") + args.join(QLatin1Char(' ')) + QStringLiteral(": ")
                      + QString::fromLocal8Bit(p.readAll()) + p.errorString();
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QByteArray m_publicKey;
    QString m_error;
};
