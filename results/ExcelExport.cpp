#include "results/ExcelExport.h"

#include "common/ProgramFolder.h"
#include "results/XlsWriter.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/ServerDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <sqlite3.h>

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

QString TargetPath(const QString &chosen)
{
    if (chosen.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QStringLiteral(".xls");
}

QString DialogFilter()
{
    return QStringLiteral("Excel (*.xls)");
}

namespace {

// Reads the query into the writer straight from SQLite, read-only: the texts
// go from the file into the workbook's string table as UTF-8, without a
// QString or QVariant per cell, which keeps a large export quick and small.
// Returns the failure's description, or an empty text when all rows were read.
QString readQueryMe(const QString &databaseFile, XlsWriter &writer, int *rows)
{
    QString why;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &db,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(RecordSource());
    if (opened != SQLITE_OK) {
        why = QStringLiteral("The database file %1 cannot be opened: %2")
                  .arg(databaseFile, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(opened)));
    } else if (!source.ok) {
        why = source.error;
    } else {
        sqlite3_busy_timeout(db, 2000);
        const QByteArray sql = source.Sql(false).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
            why = QString::fromUtf8(sqlite3_errmsg(db));
        } else {
            const int columns = sqlite3_column_count(stmt);
            const QStringList headings = Headings();
            QStringList header;
            for (int c = 0; c < columns; ++c)
                header << (c < headings.size() ? headings[c] : QString::fromUtf8(sqlite3_column_name(stmt, c)));
            writer.setHeader(header);
            int step;
            while ((step = sqlite3_step(stmt)) == SQLITE_ROW) {
                for (int c = 0; c < columns; ++c) {
                    switch (sqlite3_column_type(stmt, c)) {
                    case SQLITE_NULL:
                        writer.addCell(nullptr, 0);
                        break;
                    case SQLITE_FLOAT: {
                        // As the data controls show a real number: shortest form.
                        const QByteArray t = QString::number(sqlite3_column_double(stmt, c), 'g',
                                                             QLocale::FloatingPointShortest).toUtf8();
                        writer.addCell(t.constData(), int(t.size()));
                        break;
                    }
                    default: {
                        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
                        writer.addCell(text, sqlite3_column_bytes(stmt, c));
                        break;
                    }
                    }
                }
                writer.endRow();
                ++*rows;
            }
            if (step != SQLITE_DONE)
                why = QString::fromUtf8(sqlite3_errmsg(db));
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return why;
}

// The same from the server's QueryMe, its values as the server writes them.
QString readQueryMeFromServer(XlsWriter &writer, int *rows)
{
    const QStringList headings = Headings();
    const ServerDatabase::Outcome read = ServerDatabase::ReadQuery(
        RecordSource(),
        [&](const QStringList &names) {
            QStringList header;
            for (int c = 0; c < names.size(); ++c)
                header << (c < headings.size() ? headings[c] : names[c]);
            writer.setHeader(header);
        },
        [&](const QList<QByteArrayView> &values, const QList<bool> &nulls) {
            for (int c = 0; c < values.size(); ++c)
                writer.addCell(nulls[c] ? nullptr : values[c].data(), int(values[c].size()));
            writer.endRow();
            ++*rows;
            return true;
        });
    return read.ok ? QString() : read.error;
}

} // namespace

Outcome Write(const QString &target, const QString &databaseFile)
{
    Outcome out;
    if (databaseFile.isEmpty() && DatabaseLocation::OnServer()) {
        XlsWriter writer;
        int rows = 0;
        out.error = readQueryMeFromServer(writer, &rows);
        if (!out.error.isEmpty()) {
            out.reason = QString::fromUtf8("اطلاعات از بانک اطلاعاتي خوانده نشد.");
            return out;
        }
        if (!writer.save(target, &out.error, &out.reason))
            return out;
        out.ok = true;
        out.rows = rows;
        out.sheets = writer.sheetCount();
        return out;
    }
    const QString db = databaseFile.isEmpty() ? ProgramFile(KvrDatabase::FileName()) : databaseFile;
    if (!QFileInfo(db).isFile()) {
        out.error = QStringLiteral("The database file %1 does not exist.").arg(db);
        out.reason = QString::fromUtf8("فايل بانک اطلاعاتي پيدا نشد.");
        return out;
    }
    XlsWriter writer;
    int rows = 0;
    out.error = readQueryMe(db, writer, &rows);
    if (!out.error.isEmpty()) {
        out.reason = QString::fromUtf8("اطلاعات از بانک اطلاعاتي خوانده نشد.");
        return out;
    }
    if (!writer.save(target, &out.error, &out.reason))
        return out;
    out.ok = true;
    out.rows = rows;
    out.sheets = writer.sheetCount();
    return out;
}

} // namespace ExcelExport
