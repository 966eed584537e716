// kvr-cli: the command-line companion of KVR. No windows: it scores answer
// rows, prints Solar Hijri dates and tells its version. Each command is one
// function in the table below; a new command is one more row.

#include "common/ModuleDatum.h"
#include "results/ExcelExport.h"
#include "scoring/CsvScoring.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// export OUT.xls [DATABASE]: every examinee of QueryMe as an Excel workbook.
int RunExport(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 2) {
        Err(QStringLiteral("export: usage: kvr-cli export OUT.xls [DATABASE]"));
        return 2;
    }
    const QString target = ExcelExport::TargetPath(args[0]);
    const ExcelExport::Outcome outcome = ExcelExport::Write(target, args.value(1));
    if (!outcome.ok) {
        Err(QStringLiteral("export: %1").arg(outcome.error));
        return 1;
    }
    Out(QStringLiteral("%1: %2 examinee(s), %3 worksheet(s)").arg(target).arg(outcome.rows).arg(outcome.sheets));
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
    {"export", "export OUT.xls [DATABASE]",
     "Writes every examinee of the stored query QueryMe, with the 40 answers, to the\n"
     "    Excel 97-2003 workbook OUT.xls (\".xls\" is added when the name lacks it), as\n"
     "    the results screen's export does. Reads KVRDB.mdb in the program folder, or\n"
     "    DATABASE. The file replaces OUT.xls only once it is complete.",
     RunExport},
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
    QCoreApplication app(argc, argv);
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
