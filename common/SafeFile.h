#pragma once
// SafeFile: writes a file so that a failure never harms what was there.
//
//   SafeFile out(path);
//   if (!out.open(QIODevice::WriteOnly)) ... out.errorString()
//   out.write(bytes);                 // or hand &out to QPdfWriter, a stream...
//   if (!out.commit()) ... out.errorString(), out.PersianReason()
//
// The bytes go to a temporary file beside the target. Every write is checked
// (a short write counts as a failure), and commit() flushes, syncs and closes
// the temporary file, renames it over the target and syncs the folder. A
// failure at any step - open, write, flush, sync, close, rename; a full disk
// included - makes commit() return false, leaves the target exactly as it was
// and removes the temporary file. Destroying a SafeFile that was not committed,
// or calling cancel(), removes the temporary file too.
//
// The first failure sticks: later writes fail at once and commit() reports it.
// FailedStep() and SystemError() tell where and why; errorString() gives the
// system's description, PersianReason() a sentence for the screens.
#include <QIODevice>
#include <QString>

#include <vector>

class SafeFile : public QIODevice
{
    Q_OBJECT
public:
    enum class Step { None, Open, Write, Flush, Sync, Close, Rename };

    explicit SafeFile(const QString &target, QObject *parent = nullptr);
    ~SafeFile() override;

    // The file that commit() replaces.
    QString fileName() const { return m_target; }
    // The temporary file while open, else empty.
    QString temporaryName() const { return m_temp; }

    // Only QIODevice::WriteOnly (optionally with Truncate/Unbuffered) is
    // accepted. The temporary file gets the target's permissions when the
    // target exists, else the usual ones for a new file.
    bool open(OpenMode mode) override;
    // Everything written reaches the target, or nothing does.
    bool commit();
    // As commit(), but only when no file of the target's name is there yet:
    // an existing one (even one that appears meanwhile) is left as it is and
    // the commit fails at Step::Rename with EEXIST.
    bool commitAsNew();
    // Drops what was written; the target stays as it was.
    void cancel();
    // Closing without commit() is cancel().
    void close() override;

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    qint64 size() const override { return m_size; }

    Step FailedStep() const { return m_failedStep; }
    int SystemError() const { return m_errno; }
    // A Persian sentence saying why the file could not be written, with the
    // system's own description on a second line.
    QString PersianReason() const;
    // The Persian sentence for a system error number alone.
    static QString PersianReasonFor(int systemError);

    // Writes the whole of data to target the safe way. On failure *error
    // holds the Persian reason (with the system's description).
    static bool WriteAll(const QString &target, const QByteArray &data, QString *error = nullptr);

    // Test seam: the next SafeFile that reaches `step` fails there as if the
    // system had answered `systemError`. For Step::Write the failure comes
    // once more than `afterBytes` bytes would have been written in all.
    // Armed once; ClearFaultForTests() disarms.
    static void FailNextForTests(Step step, int systemError, qint64 afterBytes = 0);
    static void ClearFaultForTests();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    bool finish(bool replace);
    bool fail(Step step, int systemError);
    bool injected(Step step, qint64 extraBytes = 0);
    bool flushBuffer();
    bool writeRaw(const char *data, qint64 len, qint64 offset);
    void discard();

    QString m_target;
    QString m_temp;
    int m_fd = -1;
    Step m_failedStep = Step::None;
    int m_errno = 0;
    std::vector<char> m_buffer;
    qint64 m_written = 0;  // bytes handed to the system so far
    qint64 m_position = 0; // where the next write lands
    qint64 m_bufferStart = 0; // file offset of the buffer's first byte
    qint64 m_size = 0;
};
