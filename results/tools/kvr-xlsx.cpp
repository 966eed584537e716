// kvr-xlsx: writes an .xlsx workbook with libxlsxwriter from rows read on
// standard input. The export runs it as a process of its own because the
// program also loads QuaZip, whose bundled zip functions carry the same names
// as the zip library libxlsxwriter is built on; in one process one of the two
// would call the other's. This program links libxlsxwriter alone.
//
//   kvr-xlsx OUT.xlsx SCRATCH-FOLDER [ROWS-PER-SHEET]
//
// Input, little-endian: 'H' then the header row, then the rows; a row is its
// cells followed by '\n'. A cell is 'T' u32 length and that many bytes of
// UTF-8, 'N' and an 8-byte double, or 'E' for an empty cell. A header row
// has text cells only. End of input ends the workbook. Exit status 0 when the
// workbook was written, else 1 with the reason on standard error.
//
// The workbook is written in constant-memory mode: each row goes to a scratch
// file as it arrives. Every sheet reads right to left with its header row bold
// and frozen; a sheet holds ROWS-PER-SHEET rows (1,048,576 unless given), the
// header included, and the rows go on on further sheets, each with the header.
#include <xlsxwriter.h>
#include <xlsxwriter/third_party/zip.h>
#include <zlib.h>

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The workbook's parts are deflated at zlib's fastest level instead of its
// default: an export is mostly a long sheet of small numbers, where the
// default level costs about three times the time for a file a little smaller.
// libxlsxwriter offers no setting for it, so its zip library's call is met
// here on its way to zlib.
extern "C" int deflateInit2_(z_streamp stream, int level, int method, int windowBits, int memLevel, int strategy,
                             const char *version, int streamSize)
{
    using Init = int (*)(z_streamp, int, int, int, int, int, const char *, int);
    static const Init real = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "deflateInit2_"));
    if (!real)
        return Z_VERSION_ERROR;
    return real(stream, level == Z_DEFAULT_COMPRESSION ? Z_BEST_SPEED : level, method, windowBits, memLevel,
                strategy, version, streamSize);
}

// libxlsxwriter writes each cell with one fprintf, and the C library's
// formatting ("%.16G" above all) makes up most of an export's time: an export
// is mostly whole numbers (the answers, codes, ages and scores). The cell
// formats ("<c r=...") are met here on their way to the C library and written
// by hand when they hold only %s, %d and whole numbers below 10^15 under
// "%.16G" (the same digits the C library gives); every other call goes on to
// the C library unchanged.
extern "C" int __vfprintf_chk(FILE *stream, int flag, const char *format, va_list ap);

namespace {

// A format taken apart once: literal runs, each followed by a conversion
// ('s', 'd', 'G' for "%.16G", or 0 at the end).
struct Piece {
    const char *text;
    size_t length;
    char conversion;
};
struct Format {
    const char *format = nullptr;
    bool cell = false; // a cell format with only the conversions above
    std::vector<Piece> pieces;
};

const Format &Parsed(const char *format)
{
    static std::vector<Format> known; // the library's formats are few and fixed
    for (const Format &f : known)
        if (f.format == format)
            return f;
    Format f;
    f.format = format;
    f.cell = std::strncmp(format, "<c r=", 5) == 0;
    for (const char *p = format; f.cell;) {
        const char *percent = std::strchr(p, '%');
        if (!percent) {
            f.pieces.push_back({p, std::strlen(p), 0});
            break;
        }
        char conversion = 0;
        const char *next = percent + 2;
        if (percent[1] == 's' || percent[1] == 'd') {
            conversion = percent[1];
        } else if (std::strncmp(percent, "%.16G", 5) == 0) {
            conversion = 'G';
            next = percent + 5;
        } else {
            f.cell = false;
        }
        f.pieces.push_back({p, static_cast<size_t>(percent - p), conversion});
        p = next;
    }
    static Format passOn;
    if (known.size() >= 64) {
        passOn = Format();
        return passOn;
    }
    known.push_back(std::move(f));
    return known.back();
}

bool WriteCell(FILE *stream, const Format &format, va_list ap, int *written)
{
    static std::string cell; // the helper writes from one thread
    cell.clear();
    char digits[24];
    for (const Piece &piece : format.pieces) {
        cell.append(piece.text, piece.length);
        if (piece.conversion == 's') {
            cell += va_arg(ap, const char *);
        } else if (piece.conversion == 'd') {
            cell.append(digits, std::to_chars(digits, digits + sizeof digits, va_arg(ap, int)).ptr);
        } else if (piece.conversion == 'G') {
            const double v = va_arg(ap, double);
            if (!(std::fabs(v) < 1e15 && v == std::trunc(v) && !(v == 0 && std::signbit(v))))
                return false;
            cell.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v)).ptr);
        }
    }
    const size_t n = cell.size();
    *written = fwrite_unlocked(cell.data(), 1, n, stream) == n ? static_cast<int>(n) : -1;
    return true;
}

} // namespace

extern "C" int __fprintf_chk(FILE *stream, int flag, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = 0;
    const Format &parsed = Parsed(format);
    if (parsed.cell) {
        va_list look;
        va_copy(look, ap);
        const bool done = WriteCell(stream, parsed, look, &n);
        va_end(look);
        if (done) {
            va_end(ap);
            return n;
        }
    }
    n = __vfprintf_chk(stream, flag, format, ap);
    va_end(ap);
    return n;
}

// A cell's name ("A1", "XFD1048576") for each cell written, without the C
// library's formatting.
extern "C" void lxw_rowcol_to_cell(char *cell_name, lxw_row_t row, lxw_col_t col)
{
    char letters[4];
    int n = 0;
    for (unsigned c = unsigned(col) + 1; c > 0 && n < 4; c = (c - 1) / 26)
        letters[n++] = static_cast<char>('A' + (c - 1) % 26);
    char *p = cell_name;
    while (n > 0)
        *p++ = letters[--n];
    p = std::to_chars(p, cell_name + LXW_MAX_CELL_NAME_LENGTH - 1, static_cast<unsigned long>(row) + 1).ptr;
    *p = '\0';
}

// A sheet's rows are deflated while they are written. libxlsxwriter writes
// a sheet's rows to a scratch file, copies that file into the sheet's part
// when the workbook is closed, and only then deflates the part into the zip:
// a large export's hundred megabytes of XML are written, copied and read back
// again, then deflated on one core while the program that sent the rows
// waits. Here a sheet's rows file is a stream of our own instead: a second
// thread deflates the rows as they arrive, and only the deflated rows go to a
// scratch file. When the library copies the rows into the sheet's part it
// reads a short token in their place; the zip library's functions, met here
// as well, deflate every part themselves and put the deflated rows where the
// token stands.
//
// A deflate stream may be made of pieces deflated apart, none referring to
// anything before it, when every piece but the last ends on a byte boundary
// (a sync flush); their CRCs combine. Nothing the library writes into a part
// holds a NUL byte, so a token that starts with one is never met by chance.
// An error of zlib or of the scratch file, a token met twice, or rows whose
// token never reached the zip fail the workbook. Where the zip library's
// functions cannot be found, the rows file is a plain scratch file as before.
namespace {

constexpr size_t Block = size_t(1) << 20;

using ZipOpen = int (*)(zipFile, const char *, const zip_fileinfo *, const void *, uInt, const void *, uInt,
                        const char *, int, int, int, int, int, int, const char *, uLong, uLong, uLong, int);
using ZipWrite = int (*)(zipFile, const void *, unsigned);
using ZipClose = int (*)(zipFile);
using ZipCloseRaw = int (*)(zipFile, ZPOS64_T, uLong);

struct RealZip
{
    ZipOpen open = reinterpret_cast<ZipOpen>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
    ZipWrite write = reinterpret_cast<ZipWrite>(dlsym(RTLD_NEXT, "zipWriteInFileInZip"));
    ZipClose close = reinterpret_cast<ZipClose>(dlsym(RTLD_NEXT, "zipCloseFileInZip"));
    ZipCloseRaw closeRaw = reinterpret_cast<ZipCloseRaw>(dlsym(RTLD_NEXT, "zipCloseFileInZipRaw64"));
    bool complete() const { return open && write && close && closeRaw; }
};

const RealZip &Zip()
{
    static const RealZip real;
    return real;
}

// The first reason something failed here, for standard error.
std::mutex failureLock;
std::string failure;

void NoteFailure(const std::string &why)
{
    const std::lock_guard<std::mutex> lock(failureLock);
    if (failure.empty())
        failure = why;
}

std::string Failure()
{
    const std::lock_guard<std::mutex> lock(failureLock);
    return failure;
}

// A raw deflate stream at zlib's fastest level; what it makes goes to a sink,
// a callable taking (const char *, size_t) and returning false on failure.
class Deflater
{
public:
    Deflater() = default;
    ~Deflater()
    {
        if (m_started)
            deflateEnd(&m_z);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    // A fresh stream, referring to nothing deflated before.
    bool restart()
    {
        if (m_started)
            return check(deflateReset(&m_z));
        m_out.resize(size_t(1) << 18);
        m_z = z_stream{};
        m_started = check(deflateInit2(&m_z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
        return m_started;
    }

    // flush: Z_NO_FLUSH; Z_SYNC_FLUSH, after which the output so far ends on
    // a byte boundary; or Z_FINISH.
    template <class Sink>
    bool feed(const char *data, size_t size, int flush, Sink &&sink)
    {
        do {
            const size_t slice = std::min<size_t>(size, size_t(1) << 30);
            m_z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
            m_z.avail_in = uInt(slice);
            data += slice;
            size -= slice;
            const int mode = size > 0 ? Z_NO_FLUSH : flush;
            int r;
            do {
                m_z.next_out = m_out.data();
                m_z.avail_out = uInt(m_out.size());
                r = deflate(&m_z, mode);
                if (r != Z_OK && r != Z_BUF_ERROR && r != Z_STREAM_END)
                    return check(r);
                const size_t made = m_out.size() - m_z.avail_out;
                if (made > 0 && !sink(reinterpret_cast<const char *>(m_out.data()), made))
                    return false;
            } while (m_z.avail_out == 0);
            if (m_z.avail_in != 0 || (mode == Z_FINISH && r != Z_STREAM_END))
                return check(Z_STREAM_ERROR);
        } while (size > 0);
        return true;
    }

private:
    bool check(int r)
    {
        if (r == Z_OK)
            return true;
        NoteFailure(std::string("deflating failed: ") + (m_z.msg ? m_z.msg : zError(r)));
        return false;
    }
    z_stream m_z{};
    bool m_started = false;
    std::vector<Bytef> m_out;
};

// A sheet's rows file: what is written is deflated by a thread of its own
// into a scratch file; read back, the file holds the token that stands for
// the rows in the zip.
class RowStream
{
public:
    RowStream(FILE *scratch, size_t index) : m_scratch(scratch)
    {
        char token[64];
        const int n = std::snprintf(token, sizeof token, "%ckvr-xlsx rows %010zu%c", 0, index, 0);
        m_token.assign(token, size_t(n));
    }
    ~RowStream()
    {
        finish();
        if (m_scratch)
            std::fclose(m_scratch);
    }
    RowStream(const RowStream &) = delete;
    RowStream &operator=(const RowStream &) = delete;

    static cookie_io_functions_t Functions()
    {
        cookie_io_functions_t f{};
        f.read = [](void *c, char *buf, size_t n) { return static_cast<RowStream *>(c)->read(buf, n); };
        f.write = [](void *c, const char *buf, size_t n) { return static_cast<RowStream *>(c)->write(buf, n); };
        f.seek = [](void *c, off64_t *offset, int whence) { return static_cast<RowStream *>(c)->seek(offset, whence); };
        f.close = [](void *c) { return static_cast<RowStream *>(c)->finish() ? 0 : -1; };
        return f;
    }

    // The stream's buffer, as long as the stream lives.
    char *buffer() { return m_buffer.data(); }

    // Gives the scratch file back (the stream is not used).
    FILE *release() { return std::exchange(m_scratch, nullptr); }

    const std::string &token() const { return m_token; }
    uint64_t length() const { return m_length; }
    uLong crc() const { return m_crc; }
    bool spliced() const { return m_spliced; }

    // Waits for the rows to be deflated; false when that failed.
    bool finish()
    {
        if (!m_finished) {
            m_finished = true;
            if (m_worker.joinable()) {
                {
                    const std::lock_guard<std::mutex> lock(m_lock);
                    m_ending = true;
                }
                m_cv.notify_all();
                m_worker.join();
            }
        }
        const std::lock_guard<std::mutex> lock(m_lock);
        return !m_failed;
    }

    // Hands the deflated rows to sink, once.
    template <class Sink>
    bool sendDeflated(Sink &&sink)
    {
        if (m_spliced) {
            NoteFailure("a sheet's rows were met twice");
            return false;
        }
        m_spliced = true;
        if (!finish() || !m_scratch)
            return false;
        if (std::fseek(m_scratch, 0, SEEK_SET) != 0)
            return scratchFailed("the deflated rows cannot be read back: ");
        std::vector<char> buf(Block);
        uint64_t sent = 0;
        for (;;) {
            const size_t n = std::fread(buf.data(), 1, buf.size(), m_scratch);
            if (n == 0)
                break;
            if (!sink(buf.data(), n))
                return false;
            sent += n;
        }
        if (std::ferror(m_scratch) || sent != m_deflated)
            return scratchFailed("the deflated rows cannot be read back: ");
        std::fclose(std::exchange(m_scratch, nullptr));
        return true;
    }

private:
    bool scratchFailed(const char *what)
    {
        NoteFailure(what + std::string(errno ? std::strerror(errno) : "short read"));
        const std::lock_guard<std::mutex> lock(m_lock);
        m_failed = true;
        return false;
    }

    ssize_t write(const char *buf, size_t n)
    {
        if (n == 0)
            return 0;
        if (m_finished) {
            NoteFailure("rows were written after their sheet was closed");
            const std::lock_guard<std::mutex> lock(m_lock);
            m_failed = true;
            return 0;
        }
        if (!m_worker.joinable()) {
            try {
                m_worker = std::thread([this] { run(); });
            } catch (const std::system_error &e) {
                NoteFailure(std::string("no thread to deflate the rows: ") + e.what());
                const std::lock_guard<std::mutex> lock(m_lock);
                m_failed = true;
                return 0;
            }
        }
        std::unique_lock<std::mutex> lock(m_lock);
        // A few blocks wait at most; the rows are written no faster than
        // they are deflated.
        m_cv.wait(lock, [this] { return m_queue.size() < 4 || m_failed; });
        if (m_failed)
            return 0;
        std::vector<char> block;
        if (!m_spare.empty()) {
            block = std::move(m_spare.back());
            m_spare.pop_back();
        }
        lock.unlock();
        block.assign(buf, buf + n);
        lock.lock();
        m_queue.push_back(std::move(block));
        m_length += n;
        lock.unlock();
        m_cv.notify_all();
        return ssize_t(n);
    }

    ssize_t read(char *buf, size_t n)
    {
        if (!finish())
            return -1;
        const size_t shown = m_length > 0 ? m_token.size() : 0;
        const size_t k = std::min(n, shown - std::min(shown, m_readPos));
        std::memcpy(buf, m_token.data() + m_readPos, k);
        m_readPos += k;
        return ssize_t(k);
    }

    int seek(off64_t *offset, int whence)
    {
        if (whence == SEEK_SET && *offset == 0) {
            m_readPos = 0;
            return 0;
        }
        if (whence == SEEK_CUR && *offset == 0) {
            *offset = off64_t(m_finished ? m_readPos : m_length);
            return 0;
        }
        errno = EINVAL;
        return -1;
    }

    void run()
    {
        Deflater deflater;
        bool ok = deflater.restart();
        uLong crc = crc32(0, nullptr, 0);
        uint64_t deflated = 0;
        auto sink = [&](const char *data, size_t n) {
            if (std::fwrite(data, 1, n, m_scratch) != n) {
                NoteFailure(std::string("the deflated rows cannot be written: ") + std::strerror(errno));
                return false;
            }
            deflated += n;
            return true;
        };
        for (;;) {
            std::vector<char> block;
            {
                std::unique_lock<std::mutex> lock(m_lock);
                m_cv.wait(lock, [this] { return !m_queue.empty() || m_ending; });
                if (m_queue.empty())
                    break;
                block = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_cv.notify_all();
            if (ok) {
                crc = crc32_z(crc, reinterpret_cast<const Bytef *>(block.data()), block.size());
                ok = deflater.feed(block.data(), block.size(), Z_NO_FLUSH, sink);
            }
            const std::lock_guard<std::mutex> lock(m_lock);
            m_spare.push_back(std::move(block));
            m_failed = m_failed || !ok;
        }
        ok = ok && deflater.feed(nullptr, 0, Z_SYNC_FLUSH, sink);
        if (ok && std::fflush(m_scratch) != 0) {
            NoteFailure(std::string("the deflated rows cannot be written: ") + std::strerror(errno));
            ok = false;
        }
        const std::lock_guard<std::mutex> lock(m_lock);
        m_crc = crc;
        m_deflated = deflated;
        m_failed = m_failed || !ok;
        m_spare.clear();
    }

    FILE *m_scratch;
    std::vector<char> m_buffer = std::vector<char>(Block);
    std::string m_token;
    std::thread m_worker;
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<std::vector<char>> m_queue;
    std::vector<std::vector<char>> m_spare;
    bool m_ending = false;
    bool m_failed = false;
    bool m_finished = false; // the writing side's own
    bool m_spliced = false;
    uint64_t m_length = 0;
    uint64_t m_deflated = 0;
    uLong m_crc = 0;
    size_t m_readPos = 0;
};

std::vector<std::unique_ptr<RowStream>> rowStreams;
bool nextTmpfileHoldsRows = false; // set while a sheet is added

// The zip part being written (the zip library writes one at a time).
struct Part
{
    bool ours = false;
    zipFile file = nullptr;
    bool ok = true;
    Deflater deflater;
    uLong crc = 0;
    uint64_t length = 0;
    std::string pending; // bytes from a NUL on: perhaps a token
} part;

bool PartSend(const char *data, size_t n)
{
    while (n > 0) {
        const unsigned k = unsigned(std::min<size_t>(n, size_t(1) << 30));
        const int r = Zip().write(part.file, data, k);
        if (r != ZIP_OK) {
            NoteFailure("the zip file cannot be written" + std::string(r == ZIP_ERRNO ? ": " : "")
                        + (r == ZIP_ERRNO ? std::strerror(errno) : ""));
            return false;
        }
        data += k;
        n -= k;
    }
    return true;
}

bool PartAdd(const char *data, size_t n)
{
    part.crc = crc32_z(part.crc, reinterpret_cast<const Bytef *>(data), n);
    part.length += n;
    return part.deflater.feed(data, n, Z_NO_FLUSH, PartSend);
}

// The pending bytes are whole: the rows they stand for, or text as it is.
bool PartResolve()
{
    std::string bytes;
    bytes.swap(part.pending);
    for (const std::unique_ptr<RowStream> &rows : rowStreams) {
        if (rows->token() != bytes)
            continue;
        if (!part.deflater.feed(nullptr, 0, Z_SYNC_FLUSH, PartSend) || !rows->sendDeflated(PartSend))
            return false;
        part.crc = crc32_combine(part.crc, rows->crc(), z_off_t(rows->length()));
        part.length += rows->length();
        return part.deflater.restart();
    }
    return PartAdd(bytes.data(), bytes.size());
}

bool PartTake(const char *data, size_t n)
{
    const size_t tokenLength = rowStreams.empty() ? 0 : rowStreams.front()->token().size();
    while (n > 0) {
        if (!part.pending.empty()) {
            const size_t k = std::min(n, tokenLength - part.pending.size());
            part.pending.append(data, k);
            data += k;
            n -= k;
            if (part.pending.size() == tokenLength && !PartResolve())
                return false;
            continue;
        }
        const char *nul = tokenLength > 0 ? static_cast<const char *>(std::memchr(data, 0, n)) : nullptr;
        const size_t plain = nul ? size_t(nul - data) : n;
        if (plain > 0 && !PartAdd(data, plain))
            return false;
        data += plain;
        n -= plain;
        if (nul) {
            part.pending.assign(1, '\0');
            ++data;
            --n;
        }
    }
    return true;
}

} // namespace

extern "C" FILE *lxw_tmpfile(char *tmpdir)
{
    using Make = FILE *(*)(char *);
    static const Make real = reinterpret_cast<Make>(dlsym(RTLD_NEXT, "lxw_tmpfile"));
    FILE *f = real ? real(tmpdir) : nullptr;
    if (!f)
        return f;
    if (!nextTmpfileHoldsRows || !Zip().complete())
        return f;
    nextTmpfileHoldsRows = false;
    auto rows = std::make_unique<RowStream>(f, rowStreams.size());
    FILE *stream = fopencookie(rows.get(), "w+", RowStream::Functions());
    if (!stream)
        return rows->release();
    // The rows reach the stream in blocks of 1 MiB (the C library's own
    // buffer would be 8 KiB: it takes a size only with a buffer).
    std::setvbuf(stream, rows->buffer(), _IOFBF, Block);
    rowStreams.push_back(std::move(rows));
    return stream;
}

// Every deflated part is deflated here and handed to the zip library as it
// is ("raw"), with its length and CRC at the end; the part's header is the
// one the library would write.
extern "C" int zipOpenNewFileInZip4_64(zipFile file, const char *filename, const zip_fileinfo *zipfi,
                                       const void *extrafield_local, uInt size_extrafield_local,
                                       const void *extrafield_global, uInt size_extrafield_global,
                                       const char *comment, int method, int level, int raw, int windowBits,
                                       int memLevel, int strategy, const char *password, uLong crcForCrypting,
                                       uLong versionMadeBy, uLong flagBase, int zip64)
{
    const RealZip &zip = Zip();
    if (!zip.open)
        return ZIP_INTERNALERROR;
    const bool ours = zip.complete() && method == Z_DEFLATED && raw == 0 && password == nullptr;
    const int r = zip.open(file, filename, zipfi, extrafield_local, size_extrafield_local, extrafield_global,
                           size_extrafield_global, comment, method, level, ours ? 1 : raw, windowBits, memLevel,
                           strategy, password, crcForCrypting, versionMadeBy, flagBase, zip64);
    if (r != ZIP_OK || !ours)
        return r;
    part.ours = true;
    part.file = file;
    part.crc = crc32(0, nullptr, 0);
    part.length = 0;
    part.pending.clear();
    part.ok = part.deflater.restart();
    return part.ok ? ZIP_OK : ZIP_INTERNALERROR;
}

extern "C" int zipWriteInFileInZip(zipFile file, const void *buf, unsigned len)
{
    if (!part.ours || file != part.file)
        return Zip().write ? Zip().write(file, buf, len) : ZIP_INTERNALERROR;
    part.ok = part.ok && PartTake(static_cast<const char *>(buf), len);
    return part.ok ? ZIP_OK : ZIP_INTERNALERROR;
}

extern "C" int zipCloseFileInZip(zipFile file)
{
    if (!part.ours || file != part.file)
        return Zip().close ? Zip().close(file) : ZIP_INTERNALERROR;
    part.ours = false;
    if (part.ok && !part.pending.empty()) {
        std::string bytes;
        bytes.swap(part.pending);
        part.ok = PartAdd(bytes.data(), bytes.size());
    }
    part.ok = part.ok && part.deflater.feed(nullptr, 0, Z_FINISH, PartSend);
    const int r = Zip().closeRaw(file, part.length, part.crc);
    return part.ok ? r : ZIP_INTERNALERROR;
}

namespace {

constexpr int MaxCellChars = 32767;
constexpr int MaxColumns = 16384;

// The longest prefix of a UTF-8 text holding at most n UTF-16 units, ending
// on a character boundary and before any NUL.
size_t Prefix(const std::string &s, int n)
{
    int units = 0;
    size_t i = 0;
    while (i < s.size() && s[i] != '\0') {
        const uint8_t b = uint8_t(s[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        const int u = len == 4 ? 2 : 1;
        if (units + u > n || i + len > s.size())
            break;
        units += u;
        i += len;
    }
    return i;
}

class Input
{
public:
    bool byte(char *c)
    {
        if (m_pos == m_end && !fill())
            return false;
        *c = m_buf[m_pos++];
        return true;
    }
    bool bytes(void *out, size_t n)
    {
        char *p = static_cast<char *>(out);
        while (n > 0) {
            if (m_pos == m_end && !fill())
                return false;
            const size_t k = std::min(n, m_end - m_pos);
            std::memcpy(p, m_buf.data() + m_pos, k);
            p += k;
            m_pos += k;
            n -= k;
        }
        return true;
    }
    bool text(std::string &s)
    {
        uint8_t b[4];
        if (!bytes(b, 4))
            return false;
        const uint32_t n = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        s.resize(n);
        return bytes(s.data(), n);
    }

private:
    bool fill()
    {
        m_pos = 0;
        m_end = std::fread(m_buf.data(), 1, m_buf.size(), stdin);
        return m_end > 0;
    }
    std::vector<char> m_buf = std::vector<char>(size_t(1) << 20);
    size_t m_pos = 0;
    size_t m_end = 0;
};

int Fail(const char *what, lxw_error e = LXW_NO_ERROR)
{
    if (e != LXW_NO_ERROR)
        std::fprintf(stderr, "%s: %s\n", what, lxw_strerror(e));
    else
        std::fprintf(stderr, "%s\n", what);
    const std::string why = Failure();
    if (!why.empty())
        std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4)
        return Fail("usage: kvr-xlsx OUT.xlsx SCRATCH-FOLDER [ROWS-PER-SHEET]");
    long perSheet = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1048576L;
    if (perSheet < 2 || perSheet > 1048576L)
        perSheet = 1048576L;

    Input in;
    char tag = 0;
    std::vector<std::string> header;
    std::string text;
    if (!in.byte(&tag) || tag != 'H')
        return Fail("the input does not start with a header row");
    while (in.byte(&tag) && tag != '\n') {
        if (tag != 'T' || !in.text(text))
            return Fail("the header row is damaged");
        header.push_back(text.substr(0, Prefix(text, MaxCellChars)));
    }
    if (tag != '\n')
        return Fail("the header row is not ended");
    if (header.size() > size_t(MaxColumns))
        return Fail("the table has more columns than a worksheet holds");

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = argv[2];
    lxw_workbook *book = workbook_new_opt(argv[1], &options);
    if (!book)
        return Fail("the workbook cannot be started");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);

    lxw_worksheet *sheet = nullptr;
    int sheets = 0;
    lxw_row_t row = 0;
    auto startSheet = [&]() -> lxw_error {
        char name[32];
        std::snprintf(name, sizeof name, "Sheet%d", ++sheets);
        nextTmpfileHoldsRows = true;
        sheet = workbook_add_worksheet(book, name);
        nextTmpfileHoldsRows = false;
        if (!sheet)
            return LXW_ERROR_MEMORY_MALLOC_FAILED;
        worksheet_right_to_left(sheet);
        row = 0;
        if (header.empty())
            return LXW_NO_ERROR;
        worksheet_freeze_panes(sheet, 1, 0);
        for (size_t c = 0; c < header.size(); ++c) {
            if (header[c].empty())
                continue;
            const lxw_error e = worksheet_write_string(sheet, 0, lxw_col_t(c), header[c].c_str(), bold);
            if (e != LXW_NO_ERROR)
                return e;
        }
        row = 1;
        return LXW_NO_ERROR;
    };

    lxw_error e = startSheet();
    lxw_col_t col = 0;
    bool inRow = false;
    while (e == LXW_NO_ERROR && in.byte(&tag)) {
        if (!inRow && row >= lxw_row_t(perSheet))
            e = startSheet();
        inRow = true;
        if (tag == '\n') {
            ++row;
            col = 0;
            inRow = false;
            continue;
        }
        if (col >= lxw_col_t(MaxColumns)) {
            lxw_workbook_free(book);
            return Fail("a row has more columns than a worksheet holds");
        }
        if (tag == 'T') {
            if (!in.text(text))
                break;
            const size_t n = Prefix(text, MaxCellChars);
            if (n > 0) {
                text.resize(n);
                e = worksheet_write_string(sheet, row, col, text.c_str(), nullptr);
            }
        } else if (tag == 'N') {
            double v;
            if (!in.bytes(&v, sizeof v))
                break;
            e = worksheet_write_number(sheet, row, col, v, nullptr);
        } else if (tag != 'E') {
            lxw_workbook_free(book);
            return Fail("the input is damaged");
        }
        ++col;
    }
    if (e != LXW_NO_ERROR) {
        lxw_workbook_free(book);
        return Fail("writing a cell failed", e);
    }
    if (inRow || std::ferror(stdin)) {
        lxw_workbook_free(book);
        return Fail("the input ended in the middle of a row");
    }
    e = workbook_close(book);
    if (e != LXW_NO_ERROR)
        return Fail("the workbook cannot be written", e);
    for (const std::unique_ptr<RowStream> &rows : rowStreams)
        if (rows->length() > 0 && !rows->spliced())
            return Fail("the workbook cannot be written: a sheet's rows did not reach it");
    return 0;
}
