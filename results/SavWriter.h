#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <string>

class QIODevice;

// A table written as an SPSS system file (.sav) with libreadstat: variables
// with ASCII names, variable labels, value labels for numeric variables,
// strings in UTF-8 (the file says so, so SPSS and PSPP read Persian as it
// is), rows compressed the usual way. A .sav file states its number of
// rows and each string's width before the first row, so the caller surveys
// the data first; the rows then go out as they arrive.
class SavWriter
{
public:
    enum class Measure { Nominal, Ordinal, Scale };

    struct Variable {
        QByteArray name;   // ASCII, starting with a letter, at most 64 bytes
        QString label;     // cut to 255 bytes of UTF-8
        bool numeric = true;
        int width = 1;     // bytes, for a string variable (1 to 32767)
        Measure measure = Measure::Nominal;
        QByteArray format; // print format of a numeric variable, for example "F2.0"
        QList<QPair<double, QString>> valueLabels; // each cut to 120 bytes of UTF-8
    };

    static constexpr int MaxStringWidth = 32767;

    explicit SavWriter(QIODevice &out);
    ~SavWriter();
    SavWriter(const SavWriter &) = delete;
    SavWriter &operator=(const SavWriter &) = delete;

    // Writes the dictionary. rows is the exact number of rows that follow.
    bool begin(const QList<Variable> &variables, qint64 rows, QString *error = nullptr);

    // The cells of a row, one per variable in order. A text for a string
    // variable longer than its width is cut on a character boundary; a
    // number for a numeric variable; an empty cell is missing.
    void addText(const char *utf8, int size);
    void addNumber(double value);
    void addEmpty();
    void endRow();

    bool finish(QString *error = nullptr);

    // The longest prefix of a UTF-8 text that fits in bytes without
    // splitting a character.
    static int Utf8Prefix(const char *utf8, int size, int bytes);

private:
    struct State;
    void setError(const QString &why);
    bool startCell();
    std::unique_ptr<State> d;
};
