#include "results/SavWriter.h"

#include <QIODevice>

#include <readstat.h>

#include <algorithm>
#include <cstring>
#include <vector>

struct SavWriter::State
{
    QIODevice *out = nullptr;
    readstat_writer_t *writer = nullptr;
    std::vector<readstat_variable_t *> variables;
    std::vector<int> widths; // 0 for a numeric variable
    size_t next = 0;         // the variable the next cell belongs to
    bool rowOpen = false;
    bool begun = false;
    bool ok = true;
    QString error;
    std::string text;
};

namespace {

ssize_t WriteBytes(const void *data, size_t len, void *ctx)
{
    auto *out = static_cast<QIODevice *>(ctx);
    const qint64 n = out->write(static_cast<const char *>(data), qint64(len));
    return n == qint64(len) ? ssize_t(n) : -1;
}

QByteArray Cut(const QString &text, int bytes)
{
    const QByteArray utf8 = text.toUtf8();
    return utf8.left(SavWriter::Utf8Prefix(utf8.constData(), int(utf8.size()), bytes));
}

} // namespace

SavWriter::SavWriter(QIODevice &out)
    : d(std::make_unique<State>())
{
    d->out = &out;
}

SavWriter::~SavWriter()
{
    if (d->writer)
        readstat_writer_free(d->writer);
}

int SavWriter::Utf8Prefix(const char *utf8, int size, int bytes)
{
    if (size <= bytes)
        return size;
    int n = bytes;
    // Step back over continuation bytes to the start of the cut character.
    while (n > 0 && (uint8_t(utf8[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

void SavWriter::setError(const QString &why)
{
    if (d->ok) {
        d->ok = false;
        d->error = why;
    }
}

bool SavWriter::begin(const QList<Variable> &variables, qint64 rows, QString *error)
{
    auto fail = [&](const QString &why) {
        setError(why);
        if (error)
            *error = d->error;
        return false;
    };
    if (d->begun || !d->ok)
        return fail(QStringLiteral("The statistics file was already started."));
    if (rows > 0x7FFFFFFF)
        return fail(QStringLiteral("A statistics file holds at most 2147483647 rows."));
    d->begun = true;
    d->writer = readstat_writer_init();
    if (!d->writer)
        return fail(QString::fromUtf8(readstat_error_message(READSTAT_ERROR_MALLOC)));
    readstat_set_data_writer(d->writer, WriteBytes);
    readstat_writer_set_compression(d->writer, READSTAT_COMPRESS_ROWS);

    // Label sets first, as the library wants them.
    std::vector<readstat_label_set_t *> sets(size_t(variables.size()), nullptr);
    for (int i = 0; i < variables.size(); ++i) {
        const Variable &v = variables[i];
        if (!v.numeric || v.valueLabels.isEmpty())
            continue;
        const QByteArray setName = "labels_" + v.name;
        sets[size_t(i)] = readstat_add_label_set(d->writer, READSTAT_TYPE_DOUBLE, setName.constData());
        for (const auto &vl : v.valueLabels)
            readstat_label_double_value(sets[size_t(i)], vl.first, Cut(vl.second, 120).constData());
    }
    for (int i = 0; i < variables.size(); ++i) {
        const Variable &v = variables[i];
        const int width = v.numeric ? 0 : std::clamp(v.width, 1, MaxStringWidth);
        readstat_variable_t *var = readstat_add_variable(
            d->writer, v.name.constData(), v.numeric ? READSTAT_TYPE_DOUBLE : READSTAT_TYPE_STRING, size_t(width));
        if (!var)
            return fail(QStringLiteral("The variable %1 cannot be added.").arg(QString::fromLatin1(v.name)));
        if (!v.label.isEmpty())
            readstat_variable_set_label(var, Cut(v.label, 255).constData());
        if (v.numeric && !v.format.isEmpty())
            readstat_variable_set_format(var, v.format.constData());
        readstat_variable_set_measure(var, v.measure == Measure::Scale     ? READSTAT_MEASURE_SCALE
                                           : v.measure == Measure::Ordinal ? READSTAT_MEASURE_ORDINAL
                                                                           : READSTAT_MEASURE_NOMINAL);
        readstat_variable_set_alignment(var, v.numeric ? READSTAT_ALIGNMENT_RIGHT : READSTAT_ALIGNMENT_LEFT);
        if (sets[size_t(i)])
            readstat_variable_set_label_set(var, sets[size_t(i)]);
        d->variables.push_back(var);
        d->widths.push_back(width);
    }
    const readstat_error_t e = readstat_begin_writing_sav(d->writer, d->out, long(rows));
    if (e != READSTAT_OK)
        return fail(e == READSTAT_ERROR_WRITE ? d->out->errorString() : QString::fromUtf8(readstat_error_message(e)));
    return true;
}

void SavWriter::addText(const char *utf8, int size)
{
    if (!startCell())
        return;
    const size_t v = d->next++;
    readstat_error_t e;
    if (!utf8 || size <= 0) {
        e = readstat_insert_missing_value(d->writer, d->variables[v]);
    } else if (d->widths[v] == 0) {
        setError(QStringLiteral("A text was given for the numeric variable %1.")
                     .arg(QString::fromUtf8(readstat_variable_get_name(d->variables[v]))));
        return;
    } else {
        // The library wants a NUL-terminated text; a NUL inside ends it.
        int n = Utf8Prefix(utf8, size, d->widths[v]);
        const void *nul = std::memchr(utf8, 0, size_t(n));
        if (nul)
            n = int(static_cast<const char *>(nul) - utf8);
        d->text.assign(utf8, size_t(n));
        e = readstat_insert_string_value(d->writer, d->variables[v], d->text.c_str());
    }
    if (e != READSTAT_OK)
        setError(QString::fromUtf8(readstat_error_message(e)));
}

void SavWriter::addNumber(double value)
{
    if (!startCell())
        return;
    const size_t v = d->next++;
    readstat_error_t e;
    if (d->widths[v] == 0) {
        e = readstat_insert_double_value(d->writer, d->variables[v], value);
    } else {
        // A string variable takes the number's text.
        const std::string t = QByteArray::number(value, 'g', 17).toStdString();
        e = readstat_insert_string_value(d->writer, d->variables[v], t.c_str());
    }
    if (e != READSTAT_OK)
        setError(QString::fromUtf8(readstat_error_message(e)));
}

void SavWriter::addEmpty()
{
    addText(nullptr, 0);
}

bool SavWriter::startCell()
{
    if (!d->ok)
        return false;
    if (!d->begun || d->next >= d->variables.size()) {
        setError(QStringLiteral("A row has more cells than the file has variables."));
        return false;
    }
    if (!d->rowOpen) {
        const readstat_error_t e = readstat_begin_row(d->writer);
        if (e != READSTAT_OK) {
            setError(QString::fromUtf8(readstat_error_message(e)));
            return false;
        }
        d->rowOpen = true;
    }
    return true;
}

void SavWriter::endRow()
{
    if (!d->ok)
        return;
    if (!d->rowOpen && !d->variables.empty() && !startCell())
        return;
    while (d->ok && d->next < d->variables.size())
        addEmpty();
    if (!d->ok)
        return;
    const readstat_error_t e = readstat_end_row(d->writer);
    if (e != READSTAT_OK)
        setError(e == READSTAT_ERROR_WRITE ? d->out->errorString() : QString::fromUtf8(readstat_error_message(e)));
    d->next = 0;
    d->rowOpen = false;
}

bool SavWriter::finish(QString *error)
{
    if (d->ok && !d->begun)
        setError(QStringLiteral("The statistics file was never started."));
    if (d->ok) {
        const readstat_error_t e = readstat_end_writing(d->writer);
        if (e != READSTAT_OK)
            setError(e == READSTAT_ERROR_WRITE ? d->out->errorString() : QString::fromUtf8(readstat_error_message(e)));
    }
    if (!d->ok && error)
        *error = d->error;
    return d->ok;
}
