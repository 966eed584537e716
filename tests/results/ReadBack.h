#pragma once
// Reads exported files back with the programs a user would open them with:
// xlrd and openpyxl (through tests/results/readback.py), LibreOffice's
// headless conversion and PSPP. Every reader's view comes back as rows of
// JSON values: a number, a string, or null for an empty cell.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ReadSheet
{
    QString name;
    QList<QJsonArray> rows;
};

struct ReadBook
{
    QString error; // empty when the reader read the file
    QList<ReadSheet> sheets;
    QJsonObject object; // the JSON a layout or dictionary reader printed
};

namespace ReadBack {

inline QString Python()
{
    // Debian's interpreter, which has the Debian python3-* packages.
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

inline QString ScriptPath()
{
    return QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("tests/results/readback.py"));
}

// Runs a program; its standard output, or an error naming what went wrong.
inline bool Run(const QString &program, const QStringList &args, QByteArray *out, QString *error,
                const QString &workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForStarted(30000)) {
        *error = program + QStringLiteral(" does not start: ") + p.errorString();
        return false;
    }
    QByteArray collected;
    while (!p.waitForFinished(500))
        collected += p.readAllStandardOutput();
    collected += p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
            + QString::fromUtf8(p.readAllStandardError());
        return false;
    }
    *out = collected;
    return true;
}

inline ReadBook Parse(const QByteArray &text)
{
    ReadBook book;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        if (line.startsWith("#sheet ")) {
            book.sheets.append({QString::fromUtf8(line.mid(7)), {}});
            continue;
        }
        QJsonParseError e{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &e);
        if (e.error != QJsonParseError::NoError) {
            book.error = QStringLiteral("unreadable line from the reader: ") + QString::fromUtf8(line.left(200));
            return book;
        }
        if (doc.isObject()) {
            book.object = doc.object();
            continue;
        }
        if (book.sheets.isEmpty())
            book.sheets.append({QString(), {}});
        book.sheets.last().rows.append(doc.array());
    }
    return book;
}

// readback.py KIND FILE...
inline ReadBook Script(const QString &kind, const QStringList &files)
{
    QByteArray out;
    QString error;
    if (!Run(Python(), QStringList{ScriptPath(), kind} + files, &out, &error))
        return ReadBook{error, {}, {}};
    return Parse(out);
}

// LibreOffice converts the workbook to one CSV file per worksheet, every text
// cell quoted, values unformatted; readback.py reads those.
inline ReadBook LibreOffice(const QString &workbook, const QString &workDir)
{
    const QString outDir = QDir(workDir).filePath(QStringLiteral("lo-out"));
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
    const QString profile =
        QStringLiteral("-env:UserInstallation=file://") + QDir(workDir).filePath(QStringLiteral("lo-profile"));
    QByteArray out;
    QString error;
    if (!Run(QStringLiteral("soffice"),
             {profile, QStringLiteral("--headless"), QStringLiteral("--convert-to"),
              QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,true,false,false,false,-1"),
              QStringLiteral("--outdir"), outDir, workbook},
             &out, &error))
        return ReadBook{error, {}, {}};
    // One file per sheet: NAME-Sheet1.csv, NAME-Sheet2.csv, ...
    const QString base = QFileInfo(workbook).completeBaseName();
    QStringList files;
    for (int i = 1;; ++i) {
        const QString f = QDir(outDir).filePath(QStringLiteral("%1-Sheet%2.csv").arg(base).arg(i));
        if (!QFileInfo::exists(f))
            break;
        files << f;
    }
    if (files.isEmpty())
        return ReadBook{QStringLiteral("LibreOffice wrote no CSV: ") + QString::fromUtf8(out), {}, {}};
    return Script(QStringLiteral("lo-csv"), files);
}

// PSPP reads the .sav file: its dictionary (name -> [label, print format,
// {value: label}]) in book.object, the data as text rows (header first) in
// book.sheets[0].
inline ReadBook Pspp(const QString &sav, const QString &workDir)
{
    const QString syntax = QDir(workDir).filePath(QStringLiteral("read.sps"));
    const QString data = QDir(workDir).filePath(QStringLiteral("pspp-data.csv"));
    const QString dict = QDir(workDir).filePath(QStringLiteral("pspp-dict.csv"));
    QFile::remove(data);
    QFile::remove(dict);
    {
        QFile f(syntax);
        if (!f.open(QIODevice::WriteOnly))
            return ReadBook{f.errorString(), {}, {}};
        auto quoted = [](QString path) { return QLatin1Char('\'') + path.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\''); };
        f.write((QStringLiteral("GET FILE=%1.\nDISPLAY DICTIONARY.\n"
                                "SAVE TRANSLATE /OUTFILE=%2 /TYPE=CSV /REPLACE /FIELDNAMES /CELLS=VALUES.\n")
                     .arg(quoted(sav), quoted(data)))
                    .toUtf8());
    }
    QByteArray out;
    QString error;
    if (!Run(QStringLiteral("pspp"), {QStringLiteral("-O"), QStringLiteral("format=csv"), QStringLiteral("-o"), dict, syntax},
             &out, &error))
        return ReadBook{error, {}, {}};
    ReadBook rows = Script(QStringLiteral("pspp-data"), {data});
    if (!rows.error.isEmpty())
        return rows;
    const ReadBook dictionary = Script(QStringLiteral("pspp-dict"), {dict});
    if (!dictionary.error.isEmpty())
        return dictionary;
    rows.object = dictionary.object;
    return rows;
}

// A row as the readers print it: trailing empty cells left off.
inline QJsonArray Trimmed(QJsonArray row)
{
    while (!row.isEmpty() && row.last().isNull())
        row.removeLast();
    return row;
}

} // namespace ReadBack
