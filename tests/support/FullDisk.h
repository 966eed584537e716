#pragma once
// Two ways for a test to make real writes fail the way a full disk does.
//
// FileSizeLimit: while it lives, the process (and any child it starts) cannot
// make a file larger than `bytes`; a write past that fails with EFBIG, as a
// write onto a full disk fails with ENOSPC. Works everywhere, chroots
// included. SIGXFSZ is ignored meanwhile so the process is not killed.
//
// SmallTmpfs: mounts a tmpfs of the given size on a fresh folder, when the
// process may mount (root outside a restricted container); IsMounted() says
// whether it did, so a test can QSKIP otherwise. Unmounted at the end.
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
};

class SmallTmpfs
{
public:
    explicit SmallTmpfs(const QString &size = QStringLiteral("2M"))
    {
        if (!m_dir.isValid())
            return;
        const QByteArray options = "size=" + size.toLatin1();
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                            options.constData()) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool IsMounted() const { return m_mounted; }
    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
