#include "results/XlsxWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

struct XlsxWriter::State
{
    QIODevice *out = nullptr;
    QTemporaryDir scratch;
    QProcess helper;
    std::string buf;
    int rowsPerSheet = MaxRowsPerSheet;
    qint64 rows = 0;
    int headerRows = 0;
    bool ok = true;
    bool finished = false;
    QString error;
};

namespace {
constexpr size_t Chunk = size_t(1) << 20;

void PutU32(std::string &b, uint32_t v)
{
    const char c[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    b.append(c, 4);
}
} // namespace

QString XlsxWriter::HelperPath()
{
    // Beside the program (a build folder, a portable copy), in ../libexec/kvr for
    // the installed package, else the build's own (tests run from elsewhere).
    const QDir dir(QCoreApplication::applicationDirPath());
    for (const QString &candidate : {dir.filePath(QStringLiteral("kvr-xlsx")),
                                     dir.filePath(QStringLiteral("../libexec/kvr/kvr-xlsx"))})
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    return QStringLiteral(KVR_BUILD_PROGRAM_DIR "/kvr-xlsx");
}

XlsxWriter::XlsxWriter(QIODevice &out, const QStringList &header, int rowsPerSheet)
    : d(std::make_unique<State>())
{
    d->out = &out;
    d->rowsPerSheet = std::clamp(rowsPerSheet, 2, MaxRowsPerSheet);
    d->headerRows = header.isEmpty() ? 0 : 1;
    if (!d->scratch.isValid()) {
        setError(QStringLiteral("No scratch folder for the workbook: %1").arg(d->scratch.errorString()));
        return;
    }
    d->buf.reserve(Chunk + 4096);
    d->helper.setProcessChannelMode(QProcess::SeparateChannels);
    d->helper.setStandardOutputFile(QProcess::nullDevice());
    d->helper.start(HelperPath(), {d->scratch.filePath(QStringLiteral("book.xlsx")), d->scratch.path(),
                                   QString::number(d->rowsPerSheet)});
    if (!d->helper.waitForStarted(30000)) {
        setError(QStringLiteral("The workbook writer %1 cannot be started: %2").arg(HelperPath(), d->helper.errorString()));
        return;
    }
    d->buf.push_back('H');
    for (const QString &h : header) {
        const QByteArray t = h.toUtf8();
        d->buf.push_back('T');
        PutU32(d->buf, uint32_t(t.size()));
        d->buf.append(t.constData(), size_t(t.size()));
    }
    d->buf.push_back('\n');
}

XlsxWriter::~XlsxWriter()
{
    if (d->helper.state() != QProcess::NotRunning) {
        d->helper.kill();
        d->helper.waitForFinished(30000);
    }
}

void XlsxWriter::setError(const QString &why)
{
    if (d->ok) {
        d->ok = false;
        d->error = why;
    }
}

int XlsxWriter::sheetCount() const
{
    if (!d->finished || !d->ok)
        return 0;
    const qint64 perSheet = d->rowsPerSheet - d->headerRows;
    return int(std::max<qint64>(1, (d->rows + perSheet - 1) / perSheet));
}

void XlsxWriter::send(const char *data, qint64 size)
{
    // The helper takes the rows as fast as it writes them; what it has not
    // taken yet is held back to a few megabytes.
    while (d->ok && size > 0) {
        if (d->helper.write(data, size) != size) {
            setError(QStringLiteral("The workbook writer stopped: %1").arg(d->helper.errorString()));
            return;
        }
        size = 0;
        while (d->helper.bytesToWrite() > qint64(4 * Chunk)) {
            if (!d->helper.waitForBytesWritten(-1)) {
                setError(QStringLiteral("The workbook writer stopped: %1")
                             .arg(QString::fromUtf8(d->helper.readAllStandardError()).trimmed()));
                return;
            }
        }
    }
}

void XlsxWriter::addText(const char *utf8, int size)
{
    if (!utf8 || size <= 0) {
        addEmpty();
        return;
    }
    d->buf.push_back('T');
    PutU32(d->buf, uint32_t(size));
    d->buf.append(utf8, size_t(size));
}

void XlsxWriter::addText(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    addText(bytes.constData(), int(bytes.size()));
}

void XlsxWriter::addNumber(double value)
{
    d->buf.push_back('N');
    d->buf.append(reinterpret_cast<const char *>(&value), sizeof value);
}

void XlsxWriter::addEmpty()
{
    d->buf.push_back('E');
}

void XlsxWriter::endRow()
{
    d->buf.push_back('\n');
    ++d->rows;
    if (d->buf.size() >= Chunk) {
        send(d->buf.data(), qint64(d->buf.size()));
        d->buf.clear();
    }
}

void XlsxWriter::addRow(const QStringList &cells)
{
    for (const QString &c : cells)
        addText(c);
    endRow();
}

bool XlsxWriter::finish(QString *error)
{
    auto fail = [&]() {
        if (error)
            *error = d->error;
        return false;
    };
    if (d->finished)
        setError(QStringLiteral("The workbook was already finished."));
    d->finished = true;
    if (!d->ok)
        return fail();
    send(d->buf.data(), qint64(d->buf.size()));
    d->buf.clear();
    if (!d->ok)
        return fail();
    d->helper.closeWriteChannel();
    if (!d->helper.waitForFinished(-1) || d->helper.exitStatus() != QProcess::NormalExit
        || d->helper.exitCode() != 0) {
        const QString why = QString::fromUtf8(d->helper.readAllStandardError()).trimmed();
        setError(QStringLiteral("The workbook cannot be written: %1")
                     .arg(why.isEmpty() ? d->helper.errorString() : why));
        return fail();
    }
    // The finished workbook, copied to the device a chunk at a time.
    QFile book(d->scratch.filePath(QStringLiteral("book.xlsx")));
    if (!book.open(QIODevice::ReadOnly)) {
        setError(book.errorString());
        return fail();
    }
    std::vector<char> buf(Chunk);
    for (;;) {
        const qint64 n = book.read(buf.data(), qint64(buf.size()));
        if (n < 0) {
            setError(book.errorString());
            return fail();
        }
        if (n == 0)
            break;
        if (d->out->write(buf.data(), n) != n) {
            setError(d->out->errorString());
            return fail();
        }
    }
    return true;
}
