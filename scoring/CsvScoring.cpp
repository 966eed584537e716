#include "scoring/CsvScoring.h"

#include "scoring/Mohasebeh.h"

#include <cstring>

using namespace Mohasebeh;

namespace {

constexpr int kFields = 2 + ItemCount;

// "مرد" and "زن" in UTF-8, compared byte for byte.
constexpr char kMaleUtf8[] = "\xd9\x85\xd8\xb1\xd8\xaf";
constexpr char kFemaleUtf8[] = "\xd8\xb2\xd9\x86";

bool Equals(const char *b, const char *e, const char *lit, std::size_t n)
{
    return std::size_t(e - b) == n && std::memcmp(b, lit, n) == 0;
}

char *PutInt(char *p, int v)
{
    if (v < 0) {
        *p++ = '-';
        v = -v; // v >= -32768 here, no overflow
    }
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

// An answer as a warning shows it: in quotes, control characters and quotes
// escaped, a long text cut short.
QString Shown(const char *b, const char *e)
{
    constexpr int kMaxShown = 40;
    const QString text = QString::fromUtf8(b, int(e - b));
    QString shown = QStringLiteral("\"");
    int n = 0;
    for (QChar c : text) {
        if (++n > kMaxShown) {
            shown += QStringLiteral("...");
            break;
        }
        if (c.unicode() < 0x20 || c == QLatin1Char('"') || c == QLatin1Char('\\'))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown + QLatin1Char('"');
}

} // namespace

CsvScorer::CsvScorer()
{
    out_ = Header();
}

QByteArray CsvScorer::Header()
{
    QByteArray h("code");
    for (const char *prefix : {"raw_", "sten_"}) {
        for (int row = 0; row < ScaleCount; ++row) {
            h += ',';
            h += prefix;
            h += ScaleName(row);
        }
    }
    h += ",norms\n";
    return h;
}

void CsvScorer::Feed(const char *data, std::size_t size)
{
    const char *p = data;
    const char *end = data + size;
    if (!pending_.empty()) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size));
        if (!nl) {
            pending_.append(p, size);
            return;
        }
        pending_.append(p, std::size_t(nl - p));
        Line(pending_.data(), pending_.data() + pending_.size());
        pending_.clear();
        p = nl + 1;
    }
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
        if (!nl) {
            pending_.assign(p, std::size_t(end - p));
            return;
        }
        Line(p, nl);
        p = nl + 1;
    }
}

void CsvScorer::Finish()
{
    if (!pending_.empty()) {
        Line(pending_.data(), pending_.data() + pending_.size());
        pending_.clear();
    }
}

void CsvScorer::Line(const char *b, const char *e)
{
    ++lineNo_;
    if (e > b && e[-1] == '\r')
        --e;
    if (lineNo_ == 1 && e - b >= 3 && std::memcmp(b, "\xef\xbb\xbf", 3) == 0)
        b += 3;
    if (b == e)
        return;

    const char *starts[kFields];
    const char *ends[kFields];
    int count = 0;
    const char *f = b;
    for (const char *p = b;; ++p) {
        if (p == e || *p == ',') {
            if (count < kFields) {
                starts[count] = f;
                ends[count] = p;
            }
            ++count;
            f = p + 1;
            if (p == e)
                break;
        }
    }

    const bool first = !headerSeen_;
    headerSeen_ = true;
    if (first && Equals(starts[0], ends[0], "code", 4))
        return;

    if (count != kFields) {
        ++refused_;
        errors_ << QStringLiteral("line %1: expected %2 fields (code,gender,a1,...,a40), found %3")
                       .arg(lineNo_)
                       .arg(kFields)
                       .arg(count);
        return;
    }

    double entry[ItemCount];
    double reversed[ItemCount];
    bool warned = false;
    for (int i = 0; i < ItemCount; ++i) {
        const char *ab = starts[2 + i];
        const char *ae = ends[2 + i];
        const std::size_t n = std::size_t(ae - ab);
        if (n == 0) {
            entry[i] = 0.0;
            reversed[i] = 0.0;
        } else if (n == 1 && *ab >= '0' && *ab <= '2') {
            entry[i] = double(*ab - '0');
            reversed[i] = double('2' - *ab);
        } else {
            entry[i] = EntryValue(ab, ae);
            reversed[i] = ReversedValue(ab, ae);
            warnings_ << QStringLiteral("line %1, item %2: unexpected answer %3 (expected \"\", \"0\", \"1\" or "
                                        "\"2\"); scored as the program scores it")
                             .arg(lineNo_)
                             .arg(i + 1)
                             .arg(Shown(ab, ae));
            warned = true;
        }
    }
    if (warned)
        ++warned_;
    const RawScores raw = RawScoresFrom(entry, reversed);

    Norms norms = Norms::None;
    if (Equals(starts[1], ends[1], kMaleUtf8, sizeof kMaleUtf8 - 1))
        norms = Norms::Male;
    else if (Equals(starts[1], ends[1], kFemaleUtf8, sizeof kFemaleUtf8 - 1))
        norms = Norms::Female;
    Stens stens{};
    StensFor(norms, raw, stens);

    // The code goes out as it came, quoted CSV-style only when it holds a quote
    // so that the output stays one field per column.
    const char *cb = starts[0];
    const char *ce = ends[0];
    if (std::memchr(cb, '"', std::size_t(ce - cb))) {
        out_ += '"';
        for (const char *p = cb; p != ce; ++p) {
            if (*p == '"')
                out_ += '"';
            out_ += *p;
        }
        out_ += '"';
    } else {
        out_.append(cb, ce - cb);
    }

    char buf[128];
    char *p = buf;
    for (qint16 v : raw) {
        *p++ = ',';
        p = PutInt(p, v);
    }
    for (int s : stens) {
        *p++ = ',';
        if (norms != Norms::None)
            p = PutInt(p, s);
    }
    static const char *const names[] = {",none\n", ",male\n", ",female\n"};
    const char *tail = names[int(norms)];
    const std::size_t tn = std::strlen(tail);
    std::memcpy(p, tail, tn);
    p += tn;
    out_.append(buf, p - buf);
    ++scored_;
}

QByteArray ScoreCsv(const QByteArray &input, QStringList *errors, QStringList *warnings)
{
    CsvScorer scorer;
    scorer.Feed(input.constData(), std::size_t(input.size()));
    scorer.Finish();
    if (errors)
        *errors = scorer.Errors();
    if (warnings)
        *warnings = scorer.Warnings();
    return scorer.Output();
}
