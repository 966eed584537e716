#pragma once
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

class QIODevice;

// A table written as an Office Open XML workbook (.xlsx) with libxlsxwriter in
// its constant-memory mode: each row goes to the library's scratch file as it
// arrives, so a long table needs no more memory than a short one. The sheets
// read right to left, their header row is bold and stays in view (frozen).
// A sheet holds 1,048,575 rows under its header; a longer table continues on
// further sheets ("Sheet1", "Sheet2", ...), each with the header row again.
//
// The library writes to a file of its own in a scratch folder; finish() then
// copies that file to the device, so the caller decides how the target is
// written (a SafeFile replaces it only when complete).
class XlsxWriter
{
public:
    static constexpr int MaxRowsPerSheet = 1048576;
    static constexpr int MaxCellChars = 32767;

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

    int sheetCount() const;

private:
    struct State;
    void startSheet();
    void setError(const QString &why);
    bool cellAllowed();
    std::unique_ptr<State> d;
};
