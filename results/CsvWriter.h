#pragma once
#include <QString>
#include <QStringList>

#include <string>

class QIODevice;

// A table written as CSV for spreadsheets and statistics programs: UTF-8
// with a byte-order mark (so spreadsheet programs take the text as UTF-8),
// fields separated by commas, lines ended by CR LF, and a field enclosed in
// double quotes, its quotes doubled, when it holds a comma, a quote or a line
// break (RFC 4180). Texts are written exactly as given; rows go out as they
// arrive.
class CsvWriter
{
public:
    explicit CsvWriter(QIODevice &out, const QStringList &header = QStringList());

    void addText(const char *utf8, int size);
    void addText(const QString &text);
    void endRow();
    void addRow(const QStringList &cells);

    // Writes what is still buffered; the device stays open. On failure
    // returns false with the reason in *error.
    bool finish(QString *error = nullptr);

private:
    void flush();

    QIODevice &m_out;
    std::string m_buf;
    bool m_firstInRow = true;
    bool m_ok = true;
    QString m_error;
};
