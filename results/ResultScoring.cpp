#include "results/ResultScoring.h"

#include "store/DataControl.h"

namespace ResultScoring {

QString ExamineeListSource()
{
    return QStringLiteral("select id,FullName,Alter,Code,Geschlecht,Heirat,Bildung  from IDE order by id desc ");
}

QString AnswerSource() { return QStringLiteral("SELECT * FROM Answer1 "); }

QString CodeFilter(const QString &code)
{
    QString quoted = code;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("code='") + quoted + QLatin1Char('\'');
}

Mohasebeh::AnswerRecord LoadAnswers(DataControl &answers, const QString &code)
{
    Mohasebeh::AnswerRecord record;
    record.Code = code;
    // A filter that is refused leaves every row visible; the first of them
    // belongs to someone else, so nothing is read then.
    if (!answers.Filter(CodeFilter(code)) || answers.RecordCount() == 0)
        return record;
    answers.SetCurrentRow(0);
    for (int k = 0; k < Mohasebeh::ItemCount; ++k)
        record.Answers[std::size_t(k)] = answers.Value(QString::number(k + 1));
    return record;
}

Mohasebeh::AnswerRecord ReadAnswers(const QString &code)
{
    DataControl answers;
    answers.setObjectName(QStringLiteral("Adodc2"));
    if (!answers.Open(AnswerSource())) {
        Mohasebeh::AnswerRecord record;
        record.Code = code;
        return record;
    }
    return LoadAnswers(answers, code);
}

} // namespace ResultScoring
