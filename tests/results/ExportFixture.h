#pragma once
// Examinees for the export tests: what is stored, and what each kind of
// reader should see of it. A workbook shows a cell as a number or as text;
// CSV and PSPP's listing show every cell as text. The scores come from the
// scoring engine the results screen uses (Mohasebeh::Scorer).
#include "ReadBack.h"
#include "scoring/Mohasebeh.h"

#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

struct Examinee
{
    QString code, name, age, gender, marital, education;
    QStringList answers; // 40 texts, or none at all for an examinee without an answer row
    // How a workbook shows the stored texts: the code and the age as numbers
    // or as text, and the items (1-40) whose answer stays text.
    bool codeNumber = true;
    bool ageNumber = true;
    QList<int> textItems;
};

struct ExpectedRow
{
    QJsonArray typed; // a workbook's view
    QJsonArray text;  // CSV's view
};

inline QStringList ExportHeadings(bool scores)
{
    QStringList h = {QString::fromUtf8("کد_آزمودني"), QString::fromUtf8("نام_و_نام_خانوادگي"), QString::fromUtf8("سن"),
                     QString::fromUtf8("جنسيت"), QString::fromUtf8("تاهل"), QString::fromUtf8("تحصيلات")};
    for (int i = 1; i <= 40; ++i)
        h << QStringLiteral("S%1").arg(i);
    if (scores)
        h << QStringLiteral("raw_Q3") << QStringLiteral("raw_C") << QStringLiteral("raw_L") << QStringLiteral("raw_O")
          << QStringLiteral("raw_Q4") << QStringLiteral("raw_Covert") << QStringLiteral("raw_Overt")
          << QStringLiteral("raw_Total") << QStringLiteral("sten_Q3") << QStringLiteral("sten_C")
          << QStringLiteral("sten_L") << QStringLiteral("sten_O") << QStringLiteral("sten_Q4")
          << QStringLiteral("sten_Covert") << QStringLiteral("sten_Overt") << QStringLiteral("sten_Total")
          << QStringLiteral("norms");
    return h;
}

inline ExpectedRow Expect(const Examinee &e, bool scores)
{
    ExpectedRow row;
    auto text = [](const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); };
    auto cell = [&](const QString &t, bool number) {
        return t.isEmpty() ? QJsonValue() : number ? QJsonValue(t.toDouble()) : QJsonValue(t);
    };
    row.typed = {cell(e.code, e.codeNumber), text(e.name), cell(e.age, e.ageNumber),
                 text(e.gender), text(e.marital), text(e.education)};
    row.text = {text(e.code), text(e.name), text(e.age), text(e.gender), text(e.marital), text(e.education)};
    for (int i = 0; i < 40; ++i) {
        const QString a = e.answers.value(i);
        row.typed.append(cell(a, !e.textItems.contains(i + 1)));
        row.text.append(text(a));
    }
    if (scores) {
        Mohasebeh::AnswerRecord record;
        record.Code = e.code;
        for (int i = 0; i < 40; ++i)
            record.Answers[std::size_t(i)] = e.answers.value(i);
        Mohasebeh::Scorer scorer;
        const bool normed = scorer.ComputeRawScores(record, e.gender);
        for (int r = 0; r < 8; ++r) {
            row.typed.append(double(scorer.Raw()[std::size_t(r)]));
            row.text.append(QString::number(scorer.Raw()[std::size_t(r)]));
        }
        for (int r = 0; r < 8; ++r) {
            row.typed.append(normed ? QJsonValue(double(scorer.StenValues()[std::size_t(r)])) : QJsonValue());
            row.text.append(normed ? QJsonValue(QString::number(scorer.StenValues()[std::size_t(r)])) : QJsonValue());
        }
        const QString norms = scorer.AppliedNorms() == Mohasebeh::Norms::Male     ? QStringLiteral("male")
                              : scorer.AppliedNorms() == Mohasebeh::Norms::Female ? QStringLiteral("female")
                                                                                  : QStringLiteral("none");
        row.typed.append(norms);
        row.text.append(norms);
    }
    row.typed = ReadBack::Trimmed(row.typed);
    row.text = ReadBack::Trimmed(row.text);
    return row;
}

// Stores the examinees in registration order, in one transaction.
inline bool AddExaminees(QSqlDatabase db, const QList<Examinee> &people, QString *error)
{
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery ide(db), ans(db);
    // Every name quoted: the server keeps the program's capitals only so,
    // and the file reads quoted names as it reads the others.
    bool ok = ide.prepare(QStringLiteral("INSERT INTO \"IDE\" (\"Code\", \"FullName\", \"Alter\", \"Geschlecht\", "
                                         "\"Heirat\", \"Bildung\") VALUES (?,?,?,?,?,?)"));
    QString cols = QStringLiteral("\"Code\""), marks = QStringLiteral("?");
    for (int i = 1; i <= 40; ++i) {
        cols += QStringLiteral(",\"%1\"").arg(i);
        marks += QStringLiteral(",?");
    }
    ok = ok && ans.prepare(QStringLiteral("INSERT INTO \"Answer1\" (%1) VALUES (%2)").arg(cols, marks));
    for (const Examinee &e : people) {
        if (!ok)
            break;
        for (const QString &v : {e.code, e.name, e.age, e.gender, e.marital, e.education})
            ide.addBindValue(v);
        ok = ide.exec();
        if (ok && !e.answers.isEmpty()) {
            ans.addBindValue(e.code.toLongLong());
            for (int i = 0; i < 40; ++i)
                ans.addBindValue(e.answers.value(i));
            ok = ans.exec();
        }
    }
    if (!ok) {
        *error = ide.lastError().text() + QLatin1Char(' ') + ans.lastError().text();
        db.rollback();
        return false;
    }
    return db.commit();
}

// The first difference between what a reader saw and what it should see, or
// an empty text.
inline QString Difference(const QString &reader, const QList<QJsonArray> &got, const QList<QJsonArray> &want,
                          int firstRow = 0)
{
    for (int r = 0; r < std::max(got.size(), want.size()); ++r) {
        if (r >= got.size())
            return QStringLiteral("%1: row %2 missing").arg(reader).arg(firstRow + r);
        if (r >= want.size())
            return QStringLiteral("%1: extra row %2").arg(reader).arg(firstRow + r);
        if (got[r] != want[r])
            return QStringLiteral("%1: row %2\n  got  %3\n  want %4")
                .arg(reader)
                .arg(firstRow + r)
                .arg(QString::fromUtf8(QJsonDocument(got[r]).toJson(QJsonDocument::Compact)),
                     QString::fromUtf8(QJsonDocument(want[r]).toJson(QJsonDocument::Compact)));
    }
    return QString();
}

// A workbook's sheets: the header row on each, then the rows in order, at
// most perSheet of them a sheet.
inline QString WorkbookDifference(const QString &reader, const ReadBook &book, const QJsonArray &header,
                                  const QList<QJsonArray> &rows, int perSheet)
{
    if (!book.error.isEmpty())
        return reader + QStringLiteral(": ") + book.error;
    const int sheets = std::max<int>(1, int((rows.size() + perSheet - 1) / perSheet));
    if (book.sheets.size() != sheets)
        return QStringLiteral("%1: %2 sheets, want %3").arg(reader).arg(book.sheets.size()).arg(sheets);
    for (int s = 0; s < sheets; ++s) {
        if (book.sheets[s].name != QStringLiteral("Sheet%1").arg(s + 1))
            return QStringLiteral("%1: sheet %2 is named %3").arg(reader).arg(s + 1).arg(book.sheets[s].name);
        QList<QJsonArray> want{header};
        want += rows.mid(s * perSheet, perSheet);
        const QString d = Difference(QStringLiteral("%1 sheet %2").arg(reader).arg(s + 1), book.sheets[s].rows, want);
        if (!d.isEmpty())
            return d;
    }
    return QString();
}
