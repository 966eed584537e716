#include "results/ProfileSource.h"

#include "scoring/Mohasebeh.h"
#include "store/DataControl.h"

#include <QRegularExpression>

namespace ProfileSource {

namespace {
// The results screen's list of examinees and its answer and settings rows.
const char *const ExamineeSource = "select id,FullName,Alter,Code,Geschlecht,Heirat,Bildung  from IDE order by id desc ";
const char *const AnswerSource = "SELECT * FROM Answer1 ";
const char *const ThemeSource = "SELECT * FROM Theme ";

bool isCode(const QString &code)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    return digits.match(code).hasMatch();
}
} // namespace

bool ReadSettings(ProfileInputs &inputs, QString *error)
{
    DataControl theme;
    if (!theme.Open(QLatin1String(ThemeSource))) {
        if (error)
            *error = theme.LastError();
        return false;
    }
    inputs.clinicName = theme.Value(QStringLiteral("Name"));
    inputs.clinicAddress = theme.Value(QStringLiteral("Adresse"));
    inputs.contactBlock = theme.Value(QStringLiteral("Mosch"));
    inputs.printLogo = theme.Value(QStringLiteral("Logo")).trimmed().toInt();
    return true;
}

Outcome ForExaminee(const QString &code)
{
    Outcome out;
    if (!isCode(code)) {
        out.error = QStringLiteral("\"%1\" is not an examinee code (a whole number)").arg(code);
        return out;
    }
    // The code holds digits only, so the filter text cannot carry anything else.
    const QString filter = QStringLiteral("code='") + code + QStringLiteral("'");

    DataControl examinee;
    if (!examinee.Open(QLatin1String(ExamineeSource))) {
        out.error = QStringLiteral("the examinees cannot be read: %1").arg(examinee.LastError());
        return out;
    }
    examinee.Filter(filter);
    if (examinee.RecordCount() == 0) {
        out.error = QStringLiteral("no examinee has the code %1").arg(code);
        return out;
    }
    const QString gender = examinee.Value(QStringLiteral("Geschlecht"));
    if (Mohasebeh::NormsFor(gender) == Mohasebeh::Norms::None) {
        out.error = QStringLiteral("the examinee with code %1 has the gender \"%2\", which is neither \"%3\" nor \"%4\": "
                                   "no norm table applies, so there are no stens to print")
                        .arg(code, gender, Mohasebeh::MaleText(), Mohasebeh::FemaleText());
        return out;
    }

    Mohasebeh::AnswerRecord record;
    record.Code = code;
    DataControl answers;
    if (!answers.Open(QLatin1String(AnswerSource))) {
        out.error = QStringLiteral("the answers cannot be read: %1").arg(answers.LastError());
        return out;
    }
    answers.Filter(filter);
    if (answers.RecordCount() > 0)
        for (int k = 0; k < Mohasebeh::ItemCount; ++k)
            record.Answers[std::size_t(k)] = answers.Value(QString::number(k + 1));

    Mohasebeh::Scorer scorer;
    scorer.ComputeRawScores(record, gender);
    const QStringList raw = scorer.RawTexts();
    const QStringList stens = scorer.StenTexts();
    for (int r = 0; r < 8; ++r) {
        out.inputs.rawScores[std::size_t(r)] = raw.value(r);
        out.inputs.stens[std::size_t(r)] = stens.value(r);
    }
    out.inputs.summaryLine = ProfileSummaryLine(
        examinee.Value(QStringLiteral("FullName")), examinee.Value(QStringLiteral("Alter")), gender,
        examinee.Value(QStringLiteral("Heirat")), examinee.Value(QStringLiteral("Bildung")));

    QString why;
    if (!ReadSettings(out.inputs, &why)) {
        out.error = QStringLiteral("the settings cannot be read: %1").arg(why);
        return out;
    }
    out.ok = true;
    return out;
}

} // namespace ProfileSource
