#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t BufferSize = 256 * 1024;
constexpr qint64 WritebackStep = 8 * 1024 * 1024; // bytes between starts of the write-back

struct Fault {
    SafeFile::Step step = SafeFile::Step::None;
    int error = 0;
    qint64 afterBytes = 0;
};

Fault &armedFault()
{
    static Fault fault;
    return fault;
}

QString stepName(SafeFile::Step step)
{
    switch (step) {
    case SafeFile::Step::Open: return QStringLiteral("open");
    case SafeFile::Step::Write: return QStringLiteral("write");
    case SafeFile::Step::Flush: return QStringLiteral("flush");
    case SafeFile::Step::Sync: return QStringLiteral("sync");
    case SafeFile::Step::Close: return QStringLiteral("close");
    case SafeFile::Step::Rename: return QStringLiteral("rename");
    case SafeFile::Step::None: break;
    }
    return QString();
}

// Syncs the folder so that the rename itself survives a power cut. The
// target is already in place by then, so a folder that cannot be synced is
// not a failure of the write.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Renames `from` to `to` only when `to` does not exist, in one step that no
// other process can come between. File systems without that kind of rename
// get a hard link instead, which fails the same way on an existing name.
bool renameAsNew(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

SafeFile::SafeFile(const QString &target, QObject *parent)
    : QIODevice(parent)
    , m_target(target)
{
}

SafeFile::~SafeFile()
{
    discard();
}

bool SafeFile::injected(Step step, qint64 extraBytes)
{
    Fault &f = armedFault();
    if (f.step != step)
        return false;
    if (step == Step::Write && m_written + extraBytes <= f.afterBytes)
        return false;
    const int error = f.error;
    f = Fault();
    fail(step, error);
    return true;
}

bool SafeFile::fail(Step step, int systemError)
{
    if (m_failedStep == Step::None) {
        m_failedStep = step;
        m_errno = systemError;
        setErrorString(QStringLiteral("%1 (%2 %3)")
                           .arg(QString::fromLocal8Bit(std::strerror(systemError)), stepName(step), m_target));
    }
    return false;
}

bool SafeFile::open(OpenMode mode)
{
    const OpenMode allowed = WriteOnly | Truncate | Unbuffered;
    if (isOpen() || !(mode & WriteOnly) || (mode & ~allowed)) {
        setErrorString(QStringLiteral("SafeFile opens only for writing, once"));
        return false;
    }
    m_failedStep = Step::None;
    m_errno = 0;
    m_written = m_position = m_size = m_bufferStart = 0;
    m_buffer.clear();
    if (injected(Step::Open))
        return false;

    const QFileInfo info(m_target);
    if (m_target.isEmpty())
        return fail(Step::Open, ENOENT);
    if (info.isDir())
        return fail(Step::Open, EISDIR);

    // The temporary file gets the target's permissions, or the usual ones of
    // a new file (the process's umask applies to 0666).
    struct stat st;
    const QByteArray targetName = QFile::encodeName(m_target);
    const bool exists = ::stat(targetName.constData(), &st) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = m_target + QLatin1Char('.')
            + QString::number(QRandomGenerator::global()->generate() % 0xFFFFFFu, 36) + QStringLiteral(".part");
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(Step::Open, errno);
        }
        m_fd = fd;
        m_temp = candidate;
        break;
    }
    if (m_fd < 0)
        return fail(Step::Open, EEXIST);
    if (exists)
        ::fchmod(m_fd, st.st_mode & 07777);
    m_buffer.reserve(BufferSize);
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool SafeFile::writeRaw(const char *data, qint64 len, qint64 offset)
{
    if (injected(Step::Write, len))
        return false;
    qint64 done = 0;
    while (done < len) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(len - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(Step::Write, errno);
        }
        if (n == 0)
            return fail(Step::Write, ENOSPC);
        done += n;
    }
    // The disk starts on what has been written every few megabytes, so the
    // sync at the end waits only for the last of it rather than for the
    // whole file; a failure here shows again at that sync.
    const qint64 before = m_written / WritebackStep;
    m_written += len;
#ifdef __linux__
    if (m_written / WritebackStep != before)
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    return true;
}

bool SafeFile::flushBuffer()
{
    if (m_buffer.empty())
        return m_failedStep == Step::None;
    const bool ok = writeRaw(m_buffer.data(), qint64(m_buffer.size()), m_bufferStart);
    m_buffer.clear();
    return ok;
}

qint64 SafeFile::writeData(const char *data, qint64 len)
{
    if (m_fd < 0 || m_failedStep != Step::None)
        return -1;
    if (len <= 0)
        return 0;
    if (m_buffer.size() + size_t(len) > BufferSize) {
        if (!flushBuffer())
            return -1;
        if (size_t(len) >= BufferSize) {
            if (!writeRaw(data, len, m_position))
                return -1;
            m_position += len;
            m_size = std::max(m_size, m_position);
            return len;
        }
    }
    if (m_buffer.empty())
        m_bufferStart = m_position;
    m_buffer.insert(m_buffer.end(), data, data + len);
    m_position += len;
    m_size = std::max(m_size, m_position);
    return len;
}

bool SafeFile::seek(qint64 pos)
{
    if (m_fd < 0 || pos < 0 || m_failedStep != Step::None)
        return false;
    if (!flushBuffer())
        return false;
    m_position = pos;
    return QIODevice::seek(pos);
}

bool SafeFile::commit()
{
    return finish(true);
}

bool SafeFile::commitAsNew()
{
    return finish(false);
}

bool SafeFile::finish(bool replace)
{
    if (m_fd < 0) {
        if (m_failedStep == Step::None)
            setErrorString(QStringLiteral("the file is not open"));
        discard();
        return false;
    }
    bool ok = m_failedStep == Step::None;
    if (ok && !injected(Step::Flush))
        ok = flushBuffer();
    else
        ok = false;
    if (ok && !injected(Step::Sync)) {
        if (::fsync(m_fd) != 0 && errno != EINVAL)
            ok = fail(Step::Sync, errno);
    } else {
        ok = false;
    }
    if (ok) {
        const bool faultClose = injected(Step::Close);
        const int rc = ::close(m_fd);
        const int closeErrno = errno;
        m_fd = -1;
        if (faultClose)
            ok = false;
        else if (rc != 0 && closeErrno != EINTR)
            ok = fail(Step::Close, closeErrno);
    }
    if (ok && !injected(Step::Rename)) {
        const QByteArray from = QFile::encodeName(m_temp);
        const QByteArray to = QFile::encodeName(m_target);
        if (replace) {
            if (::rename(from.constData(), to.constData()) != 0)
                ok = fail(Step::Rename, errno);
        } else if (!renameAsNew(from, to)) {
            ok = fail(Step::Rename, errno);
        }
    } else {
        ok = false;
    }
    if (!ok) {
        discard();
        return false;
    }
    m_temp.clear();
    QIODevice::close();
    syncFolder(QFileInfo(m_target).absolutePath());
    return true;
}

void SafeFile::cancel()
{
    discard();
}

void SafeFile::close()
{
    discard();
}

void SafeFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(QFile::encodeName(m_temp).constData());
        m_temp.clear();
    }
    m_buffer.clear();
    if (isOpen())
        QIODevice::close();
}

QString SafeFile::PersianReasonFor(int systemError)
{
    switch (systemError) {
    case ENOSPC:
    case EDQUOT:
        return QString::fromUtf8("جاي خالي ديسک کافي نيست.");
    case EFBIG:
        return QString::fromUtf8("فايل از اندازه‌اي که اين ديسک مي‌پذيرد بزرگتر است.");
    case EACCES:
    case EPERM:
        return QString::fromUtf8("اجازه نوشتن در اين محل وجود ندارد.");
    case EROFS:
        return QString::fromUtf8("اين ديسک فقط خواندني است.");
    case ENOENT:
    case ENOTDIR:
        return QString::fromUtf8("پوشه مقصد وجود ندارد.");
    case EISDIR:
        return QString::fromUtf8("به اين نام يک پوشه وجود دارد.");
    case EIO:
        return QString::fromUtf8("ديسک هنگام نوشتن خطا داد.");
    default:
        return QString::fromUtf8("نوشتن فايل ممکن نشد.");
    }
}

QString SafeFile::PersianReason() const
{
    const QString reason = PersianReasonFor(m_errno);
    return errorString().isEmpty() ? reason : reason + QLatin1Char('\n') + errorString();
}

bool SafeFile::WriteAll(const QString &target, const QByteArray &data, QString *error)
{
    SafeFile out(target);
    if (out.open(WriteOnly) && out.write(data) == data.size() && out.commit())
        return true;
    if (error)
        *error = out.PersianReason();
    return false;
}

void SafeFile::FailNextForTests(Step step, int systemError, qint64 afterBytes)
{
    armedFault() = Fault{step, systemError, afterBytes};
}

void SafeFile::ClearFaultForTests()
{
    armedFault() = Fault();
}
