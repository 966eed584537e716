#pragma once
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;

// A table written as an Office Open XML workbook (.xlsx) with libxlsxwriter in
// its constant-memory mode, so a long table needs no more memory than a short
// one. The sheets read right to left, their header row is bold and stays in
// view (frozen). A sheet holds 1,048,575 rows under its header; a longer table
// continues on further sheets ("Sheet1", "Sheet2", ...), each with the header.
//
// libxlsxwriter runs in a helper process, kvr-xlsx, beside the program: the
// program also loads QuaZip, whose bundled zip functions carry the names of
// the zip library libxlsxwriter calls, so the two cannot share a process. The
// rows go to the helper as they arrive; it writes the workbook into a scratch
// folder and finish() copies it to the device, so the caller decides how the
// target is written (a SafeFile replaces it only when complete).
class XlsxWriter
{
public:
    static constexpr int MaxRowsPerSheet = 1048576;

    // rowsPerSheet: the rows a sheet holds, header included (tests lower it).
    explicit XlsxWriter(QIODevice &out, const QStringList &header = QStringList(),
                        int rowsPerSheet = MaxRowsPerSheet);
    ~XlsxWriter();
    XlsxWriter(const XlsxWriter &) = delete;
    XlsxWriter &operator=(const XlsxWriter &) = delete;

    void addText(const char *utf8, int size); // null or empty: an empty cell
    void addText(const QString &text);
    void addNumber(double value);
    void addEmpty();
    void endRow();
    void addRow(const QStringList &cells);

    bool finish(QString *error = nullptr);

    // Sheets written (known after finish()).
    int sheetCount() const;

    // The helper program: kvr-xlsx beside the running program, else the one
    // of this build.
    static QString HelperPath();

private:
    struct State;
    void send(const char *data, qint64 size);
    void setError(const QString &why);
    std::unique_ptr<State> d;
};
