// kvr-cli: the command-line companion of KVR. No windows: it scores answer
// rows, prints Solar Hijri dates, exports the data, imports a filled answer
// template, writes profiles and tells its version. Each command is one
// function in the table below; a new command is one more row.

#include "capture/AnswerImport.h"
#include "capture/ImportMessages.h"
#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "results/ExcelExport.h"
#include "results/ExportTable.h"
#include "results/ProfileReport.h"
#include "results/ProfileSource.h"
#include "results/ReportRenderer.h"
#include "scoring/CsvScoring.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Err(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
}

void Out(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

// A path the caller gave, relative to the folder the caller is in. Every
// command takes its path arguments through here, before anything it runs
// (the report makes the program folder current) could change that folder.
QString PathArg(const QString &arg)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(arg));
}

QString VersionText()
{
    return QStringLiteral("%1.%2.%3").arg(KVR_VERSION_MAJOR).arg(KVR_VERSION_MINOR).arg(KVR_VERSION_PATCH);
}

// score [FILE]: scores answer rows read from FILE or standard input.
int RunScore(const QStringList &args)
{
    if (args.size() > 1) {
        Err(QStringLiteral("score: at most one input file"));
        return 2;
    }
    std::FILE *in = stdin;
    if (!args.isEmpty()) {
        in = std::fopen(QFile::encodeName(args.first()).constData(), "rb");
        if (!in) {
            Err(QStringLiteral("score: cannot open %1: %2").arg(args.first(), QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
    }

    CsvScorer scorer;
    std::vector<char> buf(1 << 20);
    bool writeFailed = false;
    auto drain = [&](bool all) {
        QByteArray &out = scorer.Output();
        if (!out.isEmpty() && (all || out.size() >= (1 << 20))) {
            if (std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout) != std::size_t(out.size()))
                writeFailed = true;
            out.clear();
        }
        for (const QString &e : std::as_const(scorer.Errors()))
            Err(e);
        scorer.Errors().clear();
    };
    bool readFailed = false;
    for (;;) {
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n > 0)
            scorer.Feed(buf.data(), n);
        drain(false);
        if (n < buf.size()) {
            readFailed = std::ferror(in) != 0;
            break;
        }
    }
    scorer.Finish();
    drain(true);
    if (in != stdin)
        std::fclose(in);
    if (std::fflush(stdout) != 0)
        writeFailed = true;
    if (readFailed)
        Err(QStringLiteral("score: reading the input failed"));
    if (writeFailed)
        Err(QStringLiteral("score: writing the output failed"));
    if (scorer.RefusedCount() > 0)
        Err(QStringLiteral("score: %1 line(s) refused, %2 scored").arg(scorer.RefusedCount()).arg(scorer.ScoredCount()));
    return (readFailed || writeFailed || scorer.RefusedCount() > 0) ? 1 : 0;
}

// date [YYYY-MM-DD] [LAYOUT]: the Solar Hijri text of a day.
int RunDate(const QStringList &args)
{
    if (args.size() > 2) {
        Err(QStringLiteral("date: too many arguments"));
        return 1;
    }
    QDate date = QDate::currentDate();
    if (!args.isEmpty()) {
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        date = iso.match(args[0]).hasMatch() ? QDate::fromString(args[0], Qt::ISODate) : QDate();
        if (!date.isValid()) {
            Err(QStringLiteral("date: \"%1\" is not a date of the form YYYY-MM-DD").arg(args[0]));
            return 1;
        }
    }
    int layout = 0;
    if (args.size() == 2) {
        static const QRegularExpression digits(QStringLiteral("^[0-4]$"));
        if (!digits.match(args[1]).hasMatch()) {
            Err(QStringLiteral("date: layout must be a number from 0 to 4, not \"%1\"").arg(args[1]));
            return 1;
        }
        layout = args[1].toInt();
    }
    const QString text = SolarDateText(date, layout);
    if (text.isEmpty()) {
        Err(QStringLiteral("date: %1 is outside the Solar Hijri conversion (it starts on 1953-03-21)")
                .arg(date.toString(Qt::ISODate)));
        return 1;
    }
    Out(text);
    return 0;
}

// export [--scores] OUT.{xls,xlsx,sav,csv} [DATABASE]: every examinee of
// QueryMe in the format the extension names.
int RunExport(const QStringList &args)
{
    QStringList rest = args;
    ExcelExport::Options options;
    options.scores = rest.removeAll(QStringLiteral("--scores")) > 0;
    if (rest.isEmpty() || rest.size() > 2) {
        Err(QStringLiteral("export: usage: kvr-cli export [--scores] OUT.xls|OUT.xlsx|OUT.sav|OUT.csv [DATABASE]"));
        return 2;
    }
    // A name with none of the four extensions gets ".xls", as before.
    if (!ExcelExport::FormatOfName(rest[0], &options.format))
        options.format = ExcelExport::Format::Xls;
    const QString target = PathArg(ExcelExport::TargetPath(rest[0], options.format));
    const QString database = rest.size() > 1 ? PathArg(rest[1]) : QString();
    const ExcelExport::Outcome outcome = ExcelExport::Write(target, options, database);
    if (!outcome.ok) {
        Err(QStringLiteral("export: %1").arg(outcome.error));
        return 1;
    }
    if (options.format == ExcelExport::Format::Xls || options.format == ExcelExport::Format::Xlsx)
        Out(QStringLiteral("%1: %2 examinee(s), %3 worksheet(s)").arg(target).arg(outcome.rows).arg(outcome.sheets));
    else
        Out(QStringLiteral("%1: %2 examinee(s)").arg(target).arg(outcome.rows));
    return 0;
}

// import CODE FILE: one examinee's answers from a filled answer template,
// with the import screen's rules and messages.
int RunImport(const QStringList &args)
{
    if (args.size() != 2) {
        Err(QStringLiteral("import: usage: kvr-cli import CODE FILE"));
        return 2;
    }
    const QString code = args[0];
    const QString file = PathArg(args[1]);
    DataControl answers;
    const AnswerImport::Report report = AnswerImport::Run(answers, code, file);
    const ImportMessages::Message message = ImportMessages::For(report);
    const QString text = message.caption + QLatin1Char('\n') + message.text.trimmed();
    if (report.outcome != AnswerImport::Outcome::Imported) {
        Err(text);
        if (!report.reason.isEmpty() && report.reason != message.text)
            Err(report.reason);
        return 1;
    }
    Out(text);
    Out(QStringLiteral("%1: examinee %2, %3 answer(s) changed").arg(file, code).arg(report.changed));
    return 0;
}

// The template, or why it cannot be read. The program's own run shows an
// empty page without its template; a file made here would look like a
// profile and hold none, so it is refused.
bool LoadTemplate(ReportTemplate &report, const char *command)
{
    QString why;
    if (report.Load(ProgramFile(ReportTemplateFileName()), &why))
        return true;
    Err(QStringLiteral("%1: the template %2 cannot be read: %3")
            .arg(QLatin1String(command), ProgramFile(ReportTemplateFileName()), why));
    return false;
}

// report --all DIR: one profile per examinee with a known gender, named by
// the examinee's code, then a summary line.
int RunReportAll(const QString &dirArg)
{
    const QString dir = PathArg(dirArg);
    if (!QDir().mkpath(dir)) {
        Err(QStringLiteral("report: the folder %1 cannot be made").arg(dir));
        return 1;
    }
    ReportTemplate blank;
    if (!LoadTemplate(blank, "report"))
        return 1;
    ProfileInputs clinic;
    QString why;
    if (!ProfileSource::ReadSettings(clinic, &why)) {
        Err(QStringLiteral("report: the settings cannot be read: %1").arg(why));
        return 1;
    }
    const QImage logo = ReadLogo();
    if (clinic.printLogo == 1 && logo.isNull())
        Err(QStringLiteral("report: note: the logo %1 cannot be read; the profiles are printed without it")
                .arg(ProgramFile(LogoFileName())));

    ExportTable::Reader reader;
    if (!reader.Open(ProgramFile(KvrDatabase::FileName()), true, &why)) {
        Err(QStringLiteral("report: the examinees cannot be read: %1").arg(why));
        return 1;
    }
    static const QRegularExpression codeName(QStringLiteral("^[0-9]{1,18}$"));
    const int first = reader.ColumnCount() - (2 * Mohasebeh::ScaleCount + 1);
    QSet<QString> written;
    int noGender = 0;
    int failed = 0;
    auto text = [&](int c) {
        const ExportTable::Cell &cell = reader.Row()[c];
        return QString::fromUtf8(cell.text, cell.size);
    };
    while (reader.Next()) {
        if (reader.RowNorms() == Mohasebeh::Norms::None) {
            ++noGender;
            continue;
        }
        const QString code = text(0);
        if (!codeName.match(code).hasMatch()) {
            Err(QStringLiteral("report: the examinee \"%1\" has the code \"%2\", which cannot name a file; left out")
                    .arg(text(1), code));
            ++failed;
            continue;
        }
        if (written.contains(code)) {
            Err(QStringLiteral("report: the code %1 belongs to more than one examinee; only the first one's profile "
                               "was written").arg(code));
            ++failed;
            continue;
        }
        ProfileInputs inputs = clinic;
        inputs.summaryLine = ProfileSummaryLine(text(1), text(2), text(3), text(4), text(5));
        for (int r = 0; r < Mohasebeh::ScaleCount; ++r) {
            inputs.rawScores[std::size_t(r)] = text(first + r);
            inputs.stens[std::size_t(r)] = text(first + Mohasebeh::ScaleCount + r);
        }
        const QString pdf = QDir(dir).filePath(code + QStringLiteral(".pdf"));
        QString error;
        if (!WriteReportPdf(FillProfileReport(inputs, blank, logo), pdf, &error)) {
            Err(QStringLiteral("report: %1").arg(error));
            ++failed;
            continue;
        }
        written.insert(code);
    }
    if (!reader.Error().isEmpty()) {
        Err(QStringLiteral("report: reading the examinees failed: %1").arg(reader.Error()));
        ++failed;
    }
    Out(QStringLiteral("%1: %2 profile(s) written, %3 examinee(s) without a known gender left out, %4 failed")
            .arg(dir)
            .arg(written.size())
            .arg(noGender)
            .arg(failed));
    return failed > 0 ? 1 : 0;
}

// report CODE OUT.pdf: the printed profile of one examinee as a PDF.
// report --all DIR: the profile of every examinee with a known gender.
int RunReport(const QStringList &args)
{
    if (args.size() == 2 && args[0] == QLatin1String("--all"))
        return RunReportAll(args[1]);
    if (args.size() != 2) {
        Err(QStringLiteral("report: usage: kvr-cli report CODE OUT.pdf | kvr-cli report --all DIR"));
        return 2;
    }
    const QString out = PathArg(args[1]);
    const ProfileSource::Outcome source = ProfileSource::ForExaminee(args[0]);
    if (!source.ok) {
        Err(QStringLiteral("report: %1").arg(source.error));
        return 1;
    }
    QImage logo;
    const ReportTemplate report = FillProfileReport(source.inputs, &logo);
    if (!report.IsLoaded()) {
        ReportTemplate probe;
        LoadTemplate(probe, "report");
        return 1;
    }
    if (source.inputs.printLogo == 1 && logo.isNull())
        Err(QStringLiteral("report: note: the logo %1 cannot be read; the profile is printed without it")
                .arg(ProgramFile(LogoFileName())));
    QString error;
    if (!WriteReportPdf(report, out, &error)) {
        Err(QStringLiteral("report: %1").arg(error));
        return 1;
    }
    Out(QStringLiteral("%1: profile of examinee %2").arg(out, args[0]));
    return 0;
}

int RunVersion(const QStringList &)
{
    Out(VersionText());
    return 0;
}

int RunHelp(const QStringList &);

struct Command {
    const char *name;
    const char *usage;
    const char *help;
    int (*run)(const QStringList &args);
};

const Command kCommands[] = {
    {"score", "score [FILE]",
     "Scores answer rows \"code,gender,a1,...,a40\" (UTF-8 CSV, answers \"0\", \"1\", \"2\" or\n"
     "    empty, an optional header line starting with \"code\") read from FILE or standard\n"
     "    input. Writes CSV \"code,raw_Q3,...,raw_Total,sten_Q3,...,sten_Total,norms\" to\n"
     "    standard output; norms is male, female or none (stens empty for none).\n"
     "    Lines with the wrong number of fields are reported on standard error by line\n"
     "    number and skipped; the exit status is then 1.",
     RunScore},
    {"date", "date [YYYY-MM-DD] [LAYOUT]",
     "Prints the Solar Hijri text of the day (today by default) in layout 0 to 4\n"
     "    (0 by default): 0 \"1402/07/13\", 1 day month-name year, 2 weekday 1402/7/13,\n"
     "    3 weekday day month-name year, 4 \"1402.7.13\".",
     RunDate},
    {"export", "export [--scores] OUT.xls|OUT.xlsx|OUT.sav|OUT.csv [DATABASE]",
     "Writes every examinee of the stored query QueryMe, with the 40 answers, as the\n"
     "    results screen's export does, in the format the extension names: Excel\n"
     "    97-2003 (.xls; added when the name has none of the four), Excel (.xlsx), SPSS\n"
     "    (.sav) or CSV (UTF-8). Codes, ages and answers that are plain whole numbers\n"
     "    are numbers. With --scores every row also has the raw scores, the stens and\n"
     "    the norms used (male, female or none; no stens for none). Reads KVRDB.mdb in\n"
     "    the program folder, or DATABASE. The file replaces OUT only once complete.",
     RunExport},
    {"import", "import CODE FILE",
     "Stores the answers of a filled answer template FILE (.xlsx or .xls) for the\n"
     "    examinee with that code, with the import screen's rules and messages: an\n"
     "    empty cell clears an answer, 0, 1 and 2 replace it, anything else leaves it.\n"
     "    Exit status 0 only when the answers were stored.",
     RunImport},
    {"report", "report CODE OUT.pdf | report --all DIR",
     "Writes the printed profile of the examinee with that code to the PDF file\n"
     "    OUT.pdf: the template KVR.fr3, the scores computed from the stored answers,\n"
     "    the clinic details and logo of the settings row, as the profile button\n"
     "    prints them. Reads KVRDB.mdb, KVR.fr3 and LogoKVR.jpg in the program folder.\n"
     "    An unknown code, or an examinee whose gender is neither of the two values,\n"
     "    is an error. With --all, writes DIR/CODE.pdf for every examinee with a known\n"
     "    gender and ends with a summary line.",
     RunReport},
    {"--version", "--version", "Prints the program version.", RunVersion},
    {"--help", "--help", "Prints this help.", RunHelp},
};

int RunHelp(const QStringList &)
{
    QString text = QStringLiteral("Usage: kvr-cli COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const Command &c : kCommands)
        text += QStringLiteral("  %1\n    %2\n").arg(QLatin1String(c.usage), QString::fromUtf8(c.help));
    text += QStringLiteral("\nExit status: 0 on success, 1 when a command failed or refused input, 2 on wrong usage.");
    Out(text);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing a report needs fonts, hence a GUI application; without a
    // display it draws off screen.
    const bool drawing = argc > 1 && std::strcmp(argv[1], "report") == 0;
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application =
        drawing ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvr-cli"));
    QCoreApplication::setApplicationVersion(VersionText());

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        RunHelp({});
        return 2;
    }
    const QString name = args.takeFirst();
    for (const Command &c : kCommands) {
        if (name == QLatin1String(c.name) || (name == QLatin1String("-h") && qstrcmp(c.name, "--help") == 0))
            return c.run(args);
    }
    Err(QStringLiteral("kvr-cli: unknown command \"%1\"; see kvr-cli --help").arg(name));
    return 2;
}
