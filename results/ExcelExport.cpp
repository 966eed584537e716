#include "results/ExcelExport.h"

#include "common/ProgramFolder.h"
#include "results/XlsWriter.h"
#include "store/KvrDatabase.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

#include <atomic>

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

// Reads the query into the writer; returns the failure's description, or an
// empty text when all rows were read.
QString readQueryMe(const QString &databaseFile, XlsWriter &writer, int *rows)
{
    static std::atomic<int> counter{0};
    const QString connection = QStringLiteral("kvr_export_%1").arg(++counter);
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        // Read-only, and never making an empty file where none is.
        db.setDatabaseName(QUrl::fromLocalFile(databaseFile).toString(QUrl::FullyEncoded)
                           + QStringLiteral("?mode=ro"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open()) {
            why = QStringLiteral("The database file %1 cannot be opened: %2")
                      .arg(databaseFile, db.lastError().text());
        } else {
            const KvrDatabase::Source source = KvrDatabase::ParseRecordSource(RecordSource());
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!source.ok) {
                why = source.error;
            } else if (!q.exec(source.Sql(false))) {
                why = q.lastError().text();
            } else {
                const QSqlRecord record = q.record();
                const int columns = record.count();
                const QStringList headings = Headings();
                QStringList header;
                for (int c = 0; c < columns; ++c)
                    header << (c < headings.size() ? headings[c] : record.fieldName(c));
                writer.setHeader(header);
                QStringList row;
                row.resize(columns);
                while (q.next()) {
                    for (int c = 0; c < columns; ++c) {
                        const QVariant v = q.value(c);
                        row[c] = v.isNull() ? QString() : v.toString();
                    }
                    writer.addRow(row);
                    ++*rows;
                }
                if (q.lastError().isValid())
                    why = q.lastError().text();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return why;
}

} // namespace

Outcome Write(const QString &target, const QString &databaseFile)
{
    Outcome out;
    const QString db = databaseFile.isEmpty() ? ProgramFile(KvrDatabase::FileName()) : databaseFile;
    if (!QFileInfo(db).isFile()) {
        out.error = QStringLiteral("The database file %1 does not exist.").arg(db);
        return out;
    }
    XlsWriter writer;
    int rows = 0;
    out.error = readQueryMe(db, writer, &rows);
    if (!out.error.isEmpty())
        return out;
    if (!writer.save(target, &out.error))
        return out;
    out.ok = true;
    out.rows = rows;
    out.sheets = writer.sheetCount();
    return out;
}

} // namespace ExcelExport
