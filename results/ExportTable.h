#pragma once
// The table every data export writes: one row per examinee of the stored
// query QueryMe (code, name, age, gender, marital status, education and the
// 40 answers), optionally followed by the eight raw scores, the eight stens
// and the norms used. Rows are read from the database one at a time, so
// the table is never held whole, whatever the number of examinees.
#include "scoring/Mohasebeh.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

namespace ExportTable {

enum class Kind {
    Code,   // examinee code: a number when it is a plain whole number
    Text,   // name, gender, marital status, education, unknown extra columns
    Age,    // a number when it is a plain whole number
    Answer, // item 1 to 40: a number when it is a plain whole number
    Raw,    // raw score of a scale, always a number
    Sten,   // sten of a scale; empty when no norm table applies
    Norms,  // "male", "female" or "none"
};

struct Column {
    QString heading;  // the heading in a workbook or CSV file
    QByteArray name;  // an ASCII variable name, for statistics files
    QString label;    // a longer description, for statistics files
    Kind kind = Kind::Text;
    int index = 0;    // the item (1-40) of an answer, the scale row (0-7) of a score
};

// One cell of a row: the stored text as UTF-8 (not NUL-terminated; empty for
// an empty or NULL value), and whether the cell is written as a number.
struct Cell {
    const char *text = nullptr;
    int size = 0;
    bool isNumber = false;
    double number = 0;
};

// True when the text is a plain whole number: ASCII digits only, 1 to 15 of
// them (so the value is exact in a double), without sign, blank, separator or
// a leading zero ("0" itself is one). "02" stays text, so a spreadsheet shows
// exactly what is stored; Persian or Arabic-Indic digits stay text as well.
bool IsPlainWholeNumber(const char *text, int size, double *value = nullptr);

// The 20 score headings, as kvr-cli score names them: raw_Q3 ... raw_Total,
// sten_Q3 ... sten_Total, then norms.
QStringList ScoreHeadings();

// The norms text of a score row: "male", "female" or "none".
const char *NormsText(Mohasebeh::Norms norms);

class Reader
{
public:
    Reader();
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // Opens the database file read-only and starts reading QueryMe inside one
    // read transaction, so every pass sees the same rows. An empty name is
    // the program's database: the program folder's file, or the server when
    // the records live on one. With scores, 17 score columns follow the
    // query's columns.
    bool Open(const QString &databaseFile, bool scores, QString *error);

    const QList<Column> &Columns() const { return m_columns; }
    int ColumnCount() const { return int(m_columns.size()); }

    // Moves to the next row; false after the last row or on a failure, which
    // Error() then describes.
    bool Next();
    // The cells of the current row, ColumnCount() of them; valid until Next().
    const Cell *Row() const { return m_cells.data(); }
    // The current row's norms (with scores).
    Mohasebeh::Norms RowNorms() const { return m_norms; }
    // Starts again at the first row, in the same read transaction.
    bool Rewind();
    QString Error() const { return m_error; }

    // The three option texts of each item, from QUS (the first row of an item
    // when it has several); empty texts for an item QUS lacks.
    std::array<std::array<QString, 3>, Mohasebeh::ItemCount> OptionTexts();

private:
    struct Db;
    void close();
    bool fail(const QString &why);
    void score();

    std::unique_ptr<Db> m_db;
    QList<Column> m_columns;
    int m_queryColumns = 0;
    bool m_scores = false;
    std::vector<Cell> m_cells;
    std::vector<QByteArray> m_scratch; // texts made here: real numbers, scores
    Mohasebeh::Norms m_norms = Mohasebeh::Norms::None;
    QString m_error;
};

} // namespace ExportTable
