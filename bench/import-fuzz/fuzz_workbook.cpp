// Feeds the workbook reader damaged and hostile files. Built as a libFuzzer
// target with clang, otherwise as a loop over mutated seed workbooks; see
// README.md for how to run it. With KVR_FUZZ_XLS_STREAM the input is the
// workbook stream of an .xls, handed to the record reader without its
// container, so the mutations reach the records rather than the sectors.
#include "capture/WorkbookReader.h"
#include "capture/XlsCellReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPair>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

static WorkbookReader::Status Check(const QByteArray &bytes)
{
#ifdef KVR_FUZZ_XLS_STREAM
    const WorkbookReader::Result r = XlsCellReader::ReadStream(bytes);
#else
    const WorkbookReader::Result r = WorkbookReader::ReadBytes(bytes);
#endif
    // Whatever the input, an Ok result carries the 40 answer cells and any
    // other result a reason.
    if (r.status == WorkbookReader::Status::Ok ? r.answers.size() != WorkbookReader::kItems : r.reason.isEmpty())
        __builtin_trap();
    // Without the zip plugin no .xlsx would reach the reader at all.
    if (r.status == WorkbookReader::Status::ReaderMissing) {
        std::fprintf(stderr, "%s\n", qPrintable(r.reason));
        std::abort();
    }
    return r.status;
}

// Qt's warnings (a zip library seeking past the end of a damaged archive)
// would only slow the run down. The application object tells the plugin
// loader the program's folder, where the zip plugin lies.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Check(QByteArray(reinterpret_cast<const char *>(data), int(qMin<size_t>(size, 64u << 20))));
    return 0;
}

#ifndef KVR_LIBFUZZER

namespace {

using Parts = QList<QPair<QString, QByteArray>>;

bool Unpack(const QByteArray &zipBytes, Parts *parts)
{
    QByteArray copy(zipBytes);
    QBuffer buffer(&copy);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip))
        return false;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile f(&zip);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        parts->append({zip.getCurrentFileName(), f.readAll()});
    }
    return true;
}

QByteArray Pack(const Parts &parts)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate))
        return {};
    for (const auto &p : parts) {
        QuaZipFile f(&zip);
        if (!f.open(QIODevice::WriteOnly, QuaZipNewInfo(p.first), nullptr, 0, Z_DEFLATED, 1))
            return {};
        f.write(p.second);
        f.close();
    }
    zip.close();
    return bytes;
}

class Mutator
{
public:
    explicit Mutator(unsigned seed) : m_rng(seed) {}

    int below(int n) { return n <= 1 ? 0 : int(m_rng() % unsigned(n)); }

    // Byte-level damage: flips, overwrites with edge values, cuts, copies.
    QByteArray bytes(QByteArray b)
    {
        const int rounds = 1 + below(8);
        for (int i = 0; i < rounds; ++i) {
            if (b.isEmpty()) {
                b.append(char(below(256)));
                continue;
            }
            const int at = below(int(b.size()));
            switch (below(7)) {
            case 0:
                b[at] = char(b[at] ^ (1 << below(8)));
                break;
            case 1: {
                static const char edge[] = {0, char(0xff), char(0x7f), char(0x80), '<', '>', '"', '&', '9'};
                b[at] = edge[below(int(sizeof edge))];
                break;
            }
            case 2:
                b.truncate(at);
                break;
            case 3: {
                const int len = qMin(int(b.size()) - at, 1 + below(64));
                b.insert(below(int(b.size())), b.mid(at, len));
                break;
            }
            case 4:
                b.remove(at, qMin(int(b.size()) - at, 1 + below(64)));
                break;
            case 5: // a 16- or 32-bit field set to an extreme
                for (int k = 0; k < 4 && at + k < b.size(); ++k)
                    b[at + k] = char(below(2) ? 0xff : 0x00);
                break;
            default:
                b.insert(at, QByteArray(1 + below(16), char(below(256))));
                break;
            }
        }
        return b;
    }

    // XML-level damage inside an archive: the parser sees well-packed but
    // broken or odd XML.
    QByteArray xml(QByteArray x)
    {
        static const char *const snippets[] = {
            "<row r=\"2\">", "</row>", "<c r=\"F2\" t=\"s\"><v>99999</v></c>", "<c r=\"Z3\" t=\"inlineStr\"><is><t>KVR</t></is></c>",
            "<c r=\"F3\" t=\"b\"><v>1</v></c>", "<c>", "</c>", "<v>1.5</v>", "<row>", "<c r=\"XFD1048576\"/>",
            "<!DOCTYPE x [<!ENTITY a \"aa\">]>", "&a;", "<sheetData>", "</sheetData>", "<si><t>KVR</t></si>",
            "<sheet name=\"KVR\" sheetId=\"9\" r:id=\"rId9\"/>", "Target=\"/xl/worksheets/sheet1.xml\"",
            "Target=\"../../../etc/passwd\"", "<row r=\"0\">", "<row r=\"4294967296\">", "t=\"s\"", "<rPh><t>x</t></rPh>",
        };
        const int rounds = 1 + below(4);
        for (int i = 0; i < rounds; ++i) {
            const int at = x.isEmpty() ? 0 : below(int(x.size()));
            if (below(3) == 0)
                x = bytes(x);
            else
                x.insert(at, snippets[below(int(sizeof snippets / sizeof *snippets))]);
        }
        return x;
    }

private:
    std::mt19937 m_rng;
};

} // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    const long runs = argc > 1 ? std::atol(argv[1]) : 20000;
    const QString seedDir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(KVR_SEED_DIR);
    QList<QByteArray> seeds;
    for (const QFileInfo &fi : QDir(seedDir).entryInfoList(QDir::Files)) {
        QFile f(fi.filePath());
        if (f.open(QIODevice::ReadOnly))
            seeds.append(f.readAll());
    }
    if (seeds.isEmpty()) {
        std::fprintf(stderr, "no seeds in %s\n", qPrintable(seedDir));
        return 2;
    }

    Mutator m(12345);
    QElapsedTimer clock;
    clock.start();
    long ok = 0, refused = 0;
    qint64 slowest = 0;
    for (long i = 0; i < runs; ++i) {
        const QByteArray &seed = seeds[m.below(int(seeds.size()))];
        QByteArray input;
        Parts parts;
        if (seed.startsWith("PK") && m.below(3) != 0 && Unpack(seed, &parts) && !parts.isEmpty()) {
            auto &part = parts[m.below(int(parts.size()))];
            part.second = m.xml(part.second);
            input = Pack(parts);
        } else {
            input = m.bytes(seed);
        }
        QElapsedTimer one;
        one.start();
        const WorkbookReader::Status status = Check(input);
        slowest = qMax(slowest, one.elapsed());
        (status == WorkbookReader::Status::Ok ? ok : refused)++;
    }
    std::printf("%ld inputs ran clean (%ld read, %ld refused) in %lld ms; slowest %lld ms\n", runs, ok, refused,
                static_cast<long long>(clock.elapsed()), static_cast<long long>(slowest));
    return 0;
}

#endif
