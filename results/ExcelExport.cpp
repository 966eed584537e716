#include "results/ExcelExport.h"

#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "results/CsvWriter.h"
#include "results/ExportTable.h"
#include "results/SavWriter.h"
#include "results/XlsWriter.h"
#include "results/XlsxWriter.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace ExcelExport {

QString RecordSource()
{
    return QStringLiteral("SELECT * FROM QueryMe ");
}

QStringList Headings()
{
    QStringList h = {
        QString::fromUtf8("کد_آزمودني"), QString::fromUtf8("نام_و_نام_خانوادگي"), QString::fromUtf8("سن"),
        QString::fromUtf8("جنسيت"), QString::fromUtf8("تاهل"), QString::fromUtf8("تحصيلات"),
    };
    for (int i = 1; i <= 40; ++i)
        h << QStringLiteral("S") + QString::number(i);
    return h;
}

namespace {

struct FormatInfo
{
    Format format;
    const char *extension;
    const char *fileType;
};

const FormatInfo kFormats[] = {
    {Format::Xls, ".xls", "Excel (*.xls)"},
    {Format::Xlsx, ".xlsx", "Excel 2007 (*.xlsx)"},
    {Format::Sav, ".sav", "SPSS (*.sav)"},
    {Format::Csv, ".csv", "CSV UTF-8 (*.csv)"},
};

const FormatInfo &InfoOf(Format format)
{
    for (const FormatInfo &f : kFormats)
        if (f.format == format)
            return f;
    return kFormats[0];
}

} // namespace

QString Extension(Format format)
{
    return QLatin1String(InfoOf(format).extension);
}

bool FormatOfName(const QString &name, Format *format)
{
    for (const FormatInfo &f : kFormats) {
        if (name.endsWith(QLatin1String(f.extension), Qt::CaseInsensitive)) {
            if (format)
                *format = f.format;
            return true;
        }
    }
    return false;
}

QString TargetPath(const QString &chosen, Format format)
{
    const QString extension = Extension(format);
    if (chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    return chosen + extension;
}

QString DialogFilter()
{
    QStringList types;
    for (const FormatInfo &f : kFormats)
        types << QLatin1String(f.fileType);
    return types.join(QStringLiteral(";;"));
}

Format FormatOfFilter(const QString &fileType)
{
    for (const FormatInfo &f : kFormats)
        if (fileType == QLatin1String(f.fileType))
            return f.format;
    return Format::Xls;
}

namespace {

using ExportTable::Cell;
using ExportTable::Kind;

// Numbers go out as numbers where the format has them; CSV takes every
// cell's stored text.
template <bool Numbers, class Writer>
bool CopyRows(ExportTable::Reader &reader, Writer &writer, int *rows)
{
    const int columns = reader.ColumnCount();
    while (reader.Next()) {
        const Cell *cell = reader.Row();
        for (int c = 0; c < columns; ++c) {
            if constexpr (Numbers) {
                if (cell[c].isNumber) {
                    writer.addNumber(cell[c].number);
                    continue;
                }
            }
            writer.addText(cell[c].text, cell[c].size);
        }
        writer.endRow();
        ++*rows;
    }
    return reader.Error().isEmpty();
}

// What the .sav dictionary needs to know before the first row: how many
// rows there are, how long each text column's longest text is, and which of
// the columns that may hold numbers hold nothing else.
struct Survey
{
    qint64 rows = 0;
    std::vector<int> maxBytes;
    std::vector<bool> allNumbers;
};

bool SurveyRows(ExportTable::Reader &reader, Survey &s)
{
    const int columns = reader.ColumnCount();
    s.maxBytes.assign(size_t(columns), 0);
    s.allNumbers.assign(size_t(columns), true);
    while (reader.Next()) {
        const Cell *cell = reader.Row();
        for (int c = 0; c < columns; ++c) {
            s.maxBytes[size_t(c)] = std::max(s.maxBytes[size_t(c)], cell[c].size);
            if (cell[c].size > 0 && !cell[c].isNumber)
                s.allNumbers[size_t(c)] = false;
        }
        ++s.rows;
    }
    return reader.Error().isEmpty() && reader.Rewind();
}

QList<SavWriter::Variable> SavDictionary(ExportTable::Reader &reader, const Survey &survey)
{
    const auto options = reader.OptionTexts();
    QList<SavWriter::Variable> vars;
    const QList<ExportTable::Column> &columns = reader.Columns();
    for (int c = 0; c < columns.size(); ++c) {
        const ExportTable::Column &col = columns[c];
        SavWriter::Variable v;
        v.name = col.name;
        v.label = col.label;
        const int digits = std::max(1, survey.maxBytes[size_t(c)]);
        switch (col.kind) {
        case Kind::Code:
        case Kind::Age:
        case Kind::Answer:
            // Numeric when every stored text is a plain whole number (or
            // empty); otherwise the texts are kept as they are.
            v.numeric = survey.allNumbers[size_t(c)];
            v.format = "F" + QByteArray::number(digits) + ".0";
            v.measure = col.kind == Kind::Age ? SavWriter::Measure::Scale
                        : col.kind == Kind::Answer ? SavWriter::Measure::Ordinal
                                                   : SavWriter::Measure::Nominal;
            if (col.kind == Kind::Answer && v.numeric) {
                const auto &texts = options[size_t(col.index - 1)];
                for (int k = 0; k < 3; ++k)
                    if (!texts[size_t(k)].isEmpty())
                        v.valueLabels.append({double(k), texts[size_t(k)]});
            }
            break;
        case Kind::Raw:
            v.format = "F2.0";
            v.measure = SavWriter::Measure::Scale;
            break;
        case Kind::Sten:
            v.format = "F2.0";
            v.measure = SavWriter::Measure::Ordinal;
            break;
        case Kind::Norms:
        case Kind::Text:
            v.numeric = false;
            break;
        }
        if (!v.numeric)
            v.width = std::clamp(survey.maxBytes[size_t(c)], 1, SavWriter::MaxStringWidth);
        vars << v;
    }
    return vars;
}

bool WriteSav(ExportTable::Reader &reader, QIODevice &out, int *rows, QString *error)
{
    Survey survey;
    if (!SurveyRows(reader, survey)) {
        *error = reader.Error();
        return false;
    }
    const QList<SavWriter::Variable> vars = SavDictionary(reader, survey);
    SavWriter writer(out);
    if (!writer.begin(vars, survey.rows, error))
        return false;
    const int columns = reader.ColumnCount();
    while (reader.Next()) {
        const Cell *cell = reader.Row();
        for (int c = 0; c < columns; ++c) {
            if (vars[c].numeric) {
                if (cell[c].isNumber)
                    writer.addNumber(cell[c].number);
                else
                    writer.addEmpty();
            } else {
                writer.addText(cell[c].text, cell[c].size);
            }
        }
        writer.endRow();
        ++*rows;
    }
    if (!reader.Error().isEmpty()) {
        *error = reader.Error();
        return false;
    }
    if (*rows != survey.rows) {
        *error = QStringLiteral("The examinees changed while they were being exported.");
        return false;
    }
    return writer.finish(error);
}

QStringList HeadingsOf(const ExportTable::Reader &reader)
{
    QStringList h;
    for (const ExportTable::Column &c : reader.Columns())
        h << c.heading;
    return h;
}

} // namespace

Outcome WriteTo(QIODevice &out, const Options &options, const QString &databaseFile)
{
    Outcome outcome;
    // The program's database on a server is read there.
    const bool server = databaseFile.isEmpty() && DatabaseLocation::OnServer();
    const QString db = server ? QString() : databaseFile.isEmpty() ? ProgramFile(KvrDatabase::FileName()) : databaseFile;
    if (!server && !QFileInfo(db).isFile()) {
        outcome.error = QStringLiteral("The database file %1 does not exist.").arg(db);
        outcome.reason = QString::fromUtf8("فايل بانک اطلاعاتي پيدا نشد.");
        return outcome;
    }
    ExportTable::Reader reader;
    if (!reader.Open(db, options.scores, &outcome.error)) {
        outcome.reason = QString::fromUtf8("اطلاعات از بانک اطلاعاتي خوانده نشد.");
        return outcome;
    }

    int rows = 0;
    bool ok = false;
    QString why;
    switch (options.format) {
    case Format::Xls: {
        XlsWriter writer(out, HeadingsOf(reader));
        ok = CopyRows<true>(reader, writer, &rows);
        why = reader.Error();
        ok = ok && writer.finish(&why);
        outcome.sheets = writer.sheetCount();
        break;
    }
    case Format::Xlsx: {
        XlsxWriter writer(out, HeadingsOf(reader));
        ok = CopyRows<true>(reader, writer, &rows);
        why = reader.Error();
        ok = ok && writer.finish(&why);
        outcome.sheets = writer.sheetCount();
        break;
    }
    case Format::Csv: {
        CsvWriter writer(out, HeadingsOf(reader));
        ok = CopyRows<false>(reader, writer, &rows);
        why = reader.Error();
        ok = ok && writer.finish(&why);
        break;
    }
    case Format::Sav:
        ok = WriteSav(reader, out, &rows, &why);
        break;
    }
    if (!ok) {
        outcome.error = why;
        outcome.reason = reader.Error().isEmpty() ? QString::fromUtf8("فايل خروجي نوشته نشد.")
                                                  : QString::fromUtf8("اطلاعات از بانک اطلاعاتي خوانده نشد.");
        outcome.sheets = 0;
        return outcome;
    }
    outcome.ok = true;
    outcome.rows = rows;
    return outcome;
}

Outcome Write(const QString &target, const Options &options, const QString &databaseFile)
{
    // A failure of the file itself (a full disk included) is said as the
    // system says it; the earlier file stays as it was.
    SafeFile file(target);
    const auto fileFailed = [&file](Outcome outcome) {
        outcome.ok = false;
        outcome.error = file.errorString();
        outcome.reason = SafeFile::PersianReasonFor(file.SystemError());
        return outcome;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fileFailed(Outcome());
    Outcome outcome = WriteTo(file, options, databaseFile);
    if (file.FailedStep() != SafeFile::Step::None)
        return fileFailed(outcome);
    if (!outcome.ok) {
        file.cancel();
        return outcome;
    }
    if (!file.commit())
        return fileFailed(outcome);
    return outcome;
}

Outcome Write(const QString &target, const QString &databaseFile)
{
    return Write(target, Options(), databaseFile);
}

} // namespace ExcelExport
