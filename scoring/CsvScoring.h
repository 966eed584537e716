#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <string>

// Scoring of answer rows in our CSV form, one examinee per line:
//   code,gender,a1,...,a40
// UTF-8, answers as stored ("0", "1", "2" or empty), an optional header line
// whose first field is "code", LF or CRLF line ends, an optional UTF-8 BOM.
// Fields are never unquoted: a quote is just a character of the text.
// Empty lines are skipped. The output is CSV with a header:
//   code,raw_Q3,...,raw_Total,sten_Q3,...,sten_Total,norms
// where norms is male, female or none (stens empty for none).
//
// Input is fed in chunks of any size; output collects in a buffer the caller
// drains. A line with the wrong number of fields is refused with a message
// naming its line number; the other lines are still scored. An answer that
// is none of "", "0", "1" and "2" is scored as the program scores such a
// stored answer, and gives a warning naming its line and item.
class CsvScorer {
public:
    CsvScorer();

    void Feed(const char *data, std::size_t size);
    // Scores a last line that has no line end.
    void Finish();

    // Output produced so far; the caller may write it out and clear it.
    QByteArray &Output() { return out_; }
    // Messages for refused lines produced so far ("line 3: ..."); the caller
    // may print and clear them.
    QStringList &Errors() { return errors_; }
    // Warnings for unexpected answers produced so far, one per answer
    // ("line 3, item 7: ..."); the caller may print and clear them.
    QStringList &Warnings() { return warnings_; }

    qint64 ScoredCount() const { return scored_; }
    qint64 RefusedCount() const { return refused_; }
    // Lines scored with at least one unexpected answer.
    qint64 WarnedCount() const { return warned_; }

    static QByteArray Header();

private:
    void Line(const char *begin, const char *end);

    QByteArray out_;
    QStringList errors_;
    QStringList warnings_;
    std::string pending_;
    qint64 lineNo_ = 0;
    qint64 scored_ = 0;
    qint64 refused_ = 0;
    qint64 warned_ = 0;
    bool started_ = false;   // BOM check done
    bool headerSeen_ = false; // the first line has been looked at
};

// The whole of an input text scored at once; refused lines' messages go to
// *errors and the warnings for unexpected answers to *warnings when given.
QByteArray ScoreCsv(const QByteArray &input, QStringList *errors = nullptr, QStringList *warnings = nullptr);
