// kvr-cli: the command-line companion of KVR. No windows: it scores answer
// rows, prints Solar Hijri dates, exports the data, imports a filled answer
// template, prints profiles, backs up and restores the database and tells its
// version. Each command is
// one function in the table below; a new command is one more row.
//
// Every path a command is given counts from the folder the caller was in when
// kvr-cli started, whatever the program does with its own current folder
// later (the report makes the program folder current). No command writes over
// the live database, its journal files or a file delivered with the program.
//
// The records are where this computer's settings put them (the file, or a
// PostgreSQL server), or on the server named by "--server CONNECTION" before
// the command.

#include "capture/AnswerImport.h"
#include "capture/ImportMessages.h"
#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "common/ProtectedTarget.h"
#include "maintenance/Backup.h"
#include "maintenance/BackupTexts.h"
#include "results/ExcelExport.h"
#include "results/ExportTable.h"
#include "results/ProfileReport.h"
#include "results/ProfileSource.h"
#include "results/ReportRenderer.h"
#include "scoring/CsvScoring.h"
#include "store/DataControl.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/KvrDatabase.h"
#include "store/LiveDatabase.h"
#include "store/LiveServer.h"
#include "store/ServerDatabase.h"

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

// The caller's current folder, taken before anything can change it.
QString &CallerFolder()
{
    static QString folder;
    return folder;
}

// A path as the caller meant it: a relative one counts from the caller's
// folder. ".." is left for the system to resolve, as it would be for the
// caller. An empty path stays empty.
QString FromCaller(const QString &path)
{
    return path.isEmpty() ? path : QDir(CallerFolder()).absoluteFilePath(path);
}

// Refuses, with a message, a target that would write over the database or a
// delivered file of the program folder.
bool RefusedTarget(const char *command, const QString &target)
{
    QString hit;
    if (!IsProtectedTarget(target, &hit))
        return false;
    const QString what = QStringLiteral("the program's database or a file delivered with the program");
    if (QDir::cleanPath(target) == QDir::cleanPath(hit))
        Err(QStringLiteral("%1: refused: %2 is %3; choose another file").arg(QLatin1String(command), target, what));
    else
        Err(QStringLiteral("%1: refused: writing %2 would write over %3, %4; choose another file")
                .arg(QLatin1String(command), target, hit, what));
    return true;
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
        in = std::fopen(QFile::encodeName(FromCaller(args.first())).constData(), "rb");
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
        for (const QString &w : std::as_const(scorer.Warnings()))
            Err(QStringLiteral("warning: ") + w);
        scorer.Warnings().clear();
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
    if (scorer.RefusedCount() > 0 || scorer.WarnedCount() > 0)
        Err(QStringLiteral("score: %1 line(s) refused, %2 scored, %3 of them with unexpected answers")
                .arg(scorer.RefusedCount())
                .arg(scorer.ScoredCount())
                .arg(scorer.WarnedCount()));
    return (readFailed || writeFailed || scorer.RefusedCount() > 0 || scorer.WarnedCount() > 0) ? 1 : 0;
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

// Takes this process's shared lock on the program's database and prepares
// the file as the program does at its start; codes held twice are named on
// standard error. False when another program is restoring the database.
bool UseDatabase(const QString &command)
{
    if (DatabaseLocation::OnServer()) {
        QString why;
        int code = 0;
        if (!LiveServer::HoldShared(&why, &code)) {
            Err(command + QStringLiteral(": ") + DatabaseError::Text(code, why));
            return false;
        }
        why = ServerDatabase::Problem(&code);
        if (!why.isEmpty()) {
            Err(command + QStringLiteral(": ") + DatabaseError::Text(code, why));
            return false;
        }
        return true;
    }
    const QString live = Backup::LiveDatabasePath();
    QString why;
    if (!LiveDatabase::HoldShared(live, &why)) {
        Err(command + QStringLiteral(": ") + DatabaseError::Text(DatabaseError::RestoreElsewhere, why));
        return false;
    }
    if (QFileInfo(live).isFile()) {
        const QString duplicates = KvrDatabase::DuplicatesMessage(KvrDatabase::PrepareOnce(live));
        if (!duplicates.isEmpty())
            Err(command + QStringLiteral(": warning: ") + duplicates);
    }
    return true;
}

// export OUT.xls [DATABASE]: every examinee of QueryMe as an Excel workbook.
int RunExport(const QStringList &args)
{
    QStringList rest = args;
    ExcelExport::Options options;
    options.scores = rest.removeAll(QStringLiteral("--scores")) > 0;
    if (rest.isEmpty() || rest.size() > 2) {
        Err(QStringLiteral("export: usage: kvr-cli export [--scores] OUT.xls|OUT.xlsx|OUT.sav|OUT.csv [DATABASE]"));
        return 2;
    }
    // A name with none of the four extensions gets ".xls", as before. The
    // name as given is checked too: "export KVRDB.mdb" is a slip of the hand
    // even though ".xls" would be added to it.
    if (!ExcelExport::FormatOfName(rest[0], &options.format))
        options.format = ExcelExport::Format::Xls;
    const QString given = FromCaller(rest[0]);
    const QString target = ExcelExport::TargetPath(given, options.format);
    if (RefusedTarget("export", given) || RefusedTarget("export", target))
        return 1;
    const QString database = FromCaller(rest.value(1));
    // (Two files that do not exist compare equal, so only a database that is
    // there can be the target.)
    if (QFileInfo::exists(database) && (QFileInfo(target) == QFileInfo(database) || QFileInfo(given) == QFileInfo(database))) {
        Err(QStringLiteral("export: refused: %1 is the database being read; choose another file").arg(target));
        return 1;
    }
    if (database.isEmpty() && !UseDatabase(QStringLiteral("export")))
        return 1;
    const ExcelExport::Outcome outcome = ExcelExport::Write(target, options, database);
    if (!outcome.ok) {
        Err(QStringLiteral("export: %1 not written, an existing file of that name is unchanged: %2")
                .arg(target, outcome.error));
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
    const QString file = FromCaller(args[1]);
    if (!UseDatabase(QStringLiteral("import")))
        return 1;
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
    if (report.Load(DeliveredFile(ReportTemplateFileName()), &why))
        return true;
    Err(QStringLiteral("%1: the template %2 cannot be read: %3")
            .arg(QLatin1String(command), DeliveredFile(ReportTemplateFileName()), why));
    return false;
}

// report --all DIR: one profile per examinee with a known gender, named by
// the examinee's code, then a summary line.
int RunReportAll(const QString &dirArg)
{
    const QString dir = FromCaller(dirArg);
    if (!QDir().mkpath(dir)) {
        Err(QStringLiteral("report: the folder %1 cannot be made").arg(dir));
        return 1;
    }
    if (!UseDatabase(QStringLiteral("report")))
        return 1;
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
    if (!reader.Open(QString(), true, &why)) {
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
// report CODE OUT.pdf: the printed profile of one examinee as a PDF.
int RunReport(const QStringList &args)
{
    if (args.size() == 2 && args[0] == QLatin1String("--all"))
        return RunReportAll(args[1]);
    if (args.size() != 2) {
        Err(QStringLiteral("report: usage: kvr-cli report CODE OUT.pdf | kvr-cli report --all DIR"));
        return 2;
    }
    const QString target = FromCaller(args[1]);
    if (RefusedTarget("report", target) || !UseDatabase(QStringLiteral("report")))
        return 1;
    const ProfileSource::Outcome source = ProfileSource::ForExaminee(args[0]);
    if (!source.ok) {
        Err(QStringLiteral("report: %1").arg(source.error));
        return 1;
    }
    QImage logo;
    const ReportTemplate report = FillProfileReport(source.inputs, &logo);
    // The program's own run shows an empty page without its template; a file
    // made here would look like a profile and hold none, so it is refused.
    if (!report.IsLoaded()) {
        ReportTemplate probe;
        LoadTemplate(probe, "report");
        return 1;
    }
    if (source.inputs.printLogo == 1 && logo.isNull())
        Err(QStringLiteral("report: note: the logo %1 cannot be read; the profile is printed without it")
                .arg(ProgramFile(LogoFileName())));
    QString error;
    if (!WriteReportPdf(report, target, &error)) {
        Err(QStringLiteral("report: %1 not written, an existing file of that name is unchanged: %2")
                .arg(target, error));
        return 1;
    }
    Out(QStringLiteral("%1: profile of examinee %2").arg(target, args[0]));
    return 0;
}

// backup OUT.KVR: the live database to a backup file, as the backup screen
// makes it.
int RunBackup(const QStringList &args)
{
    if (args.size() != 1) {
        Err(QStringLiteral("backup: usage: kvr-cli backup OUT.KVR"));
        return 2;
    }
    // The database itself under another name gets the backup screen's own
    // message, from the copy; the delivered files are refused here.
    const QString target = FromCaller(args[0]);
    if ((!LiveDatabase::IsDatabaseOrCompanion(target, Backup::LiveDatabasePath()) && RefusedTarget("backup", target))
        || !UseDatabase(QStringLiteral("backup")))
        return 1;
    const Backup::CopyResult r = Backup::BackUpDatabase(target);
    if (!r.ok) {
        Err(QStringLiteral("backup: ") + MaintenanceText::CopyFailed() + QLatin1Char('\n') + r.error);
        return 1;
    }
    Err(QStringLiteral("backup: ") + MaintenanceText::BackupMade() + QStringLiteral(": ") + target);
    return 0;
}

// restore FILE.KVR: a backup file in place of the live database, as the
// backup screen restores it; refused while a program window has it open.
int RunRestore(const QStringList &args)
{
    if (args.size() != 1) {
        Err(QStringLiteral("restore: usage: kvr-cli restore FILE.KVR"));
        return 2;
    }
    const QString source = FromCaller(args[0]);
    if (!UseDatabase(QStringLiteral("restore")))
        return 1;
    const Backup::RestoreResult r = Backup::RestoreDatabase(source);
    if (!r.ok) {
        Err(QStringLiteral("restore: ")
            + (r.refused ? r.error : MaintenanceText::CopyFailed() + QLatin1Char('\n') + r.error));
        return 1;
    }
    Err(QStringLiteral("restore: ") + MaintenanceText::Restored() + QStringLiteral(": ") + source);
    if (!r.safetyCopy.isEmpty())
        Err(QStringLiteral("restore: the database as it was before: ") + r.safetyCopy);
    return 0;
}

// The server commands need a server: --server or this computer's settings.
bool NeedServer(const char *command)
{
    if (DatabaseLocation::OnServer())
        return true;
    Err(QStringLiteral("%1: needs a server: kvr-cli --server 'host=... dbname=... user=...' %1 ...")
            .arg(QLatin1String(command)));
    return false;
}

QString CountsText(const ServerDatabase::Counts &c)
{
    return QStringLiteral("%1 examinee(s), %2 answer row(s), %3 question(s), %4 settings row(s)")
        .arg(c.examinees)
        .arg(c.answers)
        .arg(c.questions)
        .arg(c.settings);
}

// server-init: the tables, QueryMe and the delivered rows in an empty
// database on the server.
int RunServerInit(const QStringList &args)
{
    if (!args.isEmpty()) {
        Err(QStringLiteral("server-init: usage: kvr-cli --server CONNECTION server-init"));
        return 2;
    }
    if (!NeedServer("server-init"))
        return 2;
    const ServerDatabase::Outcome o = ServerDatabase::Init();
    if (!o.ok) {
        Err(QStringLiteral("server-init: ") + (o.refused ? o.error : DatabaseError::Text(o.code, o.error)));
        return 1;
    }
    Out(QStringLiteral("%1: ready, %2").arg(DatabaseLocation::CurrentServer().Describe(), CountsText(o.counts)));
    return 0;
}

// migrate FILE: a clinic's database file into the server.
int RunMigrate(const QStringList &args)
{
    if (args.size() != 1) {
        Err(QStringLiteral("migrate: usage: kvr-cli --server CONNECTION migrate KVRDB.mdb"));
        return 2;
    }
    if (!NeedServer("migrate"))
        return 2;
    QString why;
    int code = 0;
    if (!LiveServer::HoldShared(&why, &code)) {
        Err(QStringLiteral("migrate: ") + DatabaseError::Text(code, why));
        return 1;
    }
    const QString file = FromCaller(args[0]);
    const ServerDatabase::Outcome o = ServerDatabase::Migrate(file);
    if (!o.ok) {
        Err(QStringLiteral("migrate: ") + (o.refused ? o.error : DatabaseError::Text(o.code, o.error)));
        return 1;
    }
    Out(QStringLiteral("%1 -> %2: %3 copied, and compared with the file")
            .arg(file, DatabaseLocation::CurrentServer().Describe(), CountsText(o.counts)));
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
     "    number and skipped. An answer other than \"\", \"0\", \"1\" or \"2\" is scored as the\n"
     "    program scores such a stored answer and warned about on standard error by\n"
     "    line and item. The exit status is 1 when any line was skipped or warned about.",
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
     "    prints them. Reads KVRDB.mdb, KVR.fr3 and LogoKVR.jpg (see Files).\n"
     "    An unknown code, or an examinee whose gender is neither of the two values,\n"
     "    is an error. When the file cannot be written (a full disk included) an\n"
     "    existing OUT.pdf stays as it was. With --all, writes DIR/CODE.pdf for every\n"
     "    examinee with a known gender and ends with a summary line.",
     RunReport},
    {"backup", "backup OUT.KVR",
     "Copies the database KVRDB.mdb of the program folder to the backup file OUT.KVR\n"
     "    (relative to the current folder), as the backup screen does: every committed\n"
     "    row, the file replaced only once the copy is complete. Messages go to standard\n"
     "    error; the exit status is 0 only when the backup file is complete.",
     RunBackup},
    {"restore", "restore FILE.KVR",
     "Puts the backup file FILE.KVR in place of the database KVRDB.mdb of the program\n"
     "    folder, as the backup screen does: the file is checked first, the database\n"
     "    as it was is kept in the folder KVR of the program folder, and nothing changes\n"
     "    on any failure. Refused while a KVR window or another kvr-cli has the database\n"
     "    open. Messages go to standard error.",
     RunRestore},
    {"server-init", "server-init",
     "Makes KVR's tables, the stored query QueryMe, the 40 questions and the settings\n"
     "    row of the delivered database in the empty database named by --server (or by\n"
     "    this computer's settings). A database that holds any table is refused.",
     RunServerInit},
    {"migrate", "migrate KVRDB.mdb",
     "Copies a clinic's database file into the server's database in one transaction:\n"
     "    the tables are made first when the database is empty, and the file's\n"
     "    questions and settings row replace the delivered ones. Every row is then read\n"
     "    back and compared with the file; any difference takes everything back.\n"
     "    Refused while the server holds examinees, or while a KVR window or kvr-cli\n"
     "    of any computer is connected to it.",
     RunMigrate},
    {"--version", "--version", "Prints the program version.", RunVersion},
    {"--help", "--help", "Prints this help.", RunHelp},
};

int RunHelp(const QStringList &)
{
    QString text = QStringLiteral("Usage: kvr-cli [--server CONNECTION] COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const Command &c : kCommands)
        text += QStringLiteral("  %1\n    %2\n").arg(QLatin1String(c.usage), QString::fromUtf8(c.help));
    text += QStringLiteral("\nFile names count from the current folder. No command writes over the program's\n"
                           "database (KVRDB.mdb and its -journal, -wal and -shm files) or a file delivered\n"
                           "with the program; such a name is refused.\n");
    text += QStringLiteral(
        "\nFiles:\n"
        "  KVRDB.mdb, LogoKVR.jpg\n"
        "    The database and the clinic's logo, in the program folder. For the installed\n"
        "    package that is the user's data folder ~/.local/share/KVR ($XDG_DATA_HOME/KVR),\n"
        "    which gets a copy of the delivered database on first use; for a build folder\n"
        "    or a portable copy it is the folder of kvr-cli (the user's data folder when\n"
        "    that folder cannot be written).\n"
        "  KVR.fr3\n"
        "    The report template, delivered with the program: beside kvr-cli, or in\n"
        "    /usr/share/kvr for the installed package.\n");
    text += QStringLiteral(
        "\nServer:\n"
        "  --server CONNECTION\n"
        "    Works on a PostgreSQL server instead of the file KVRDB.mdb; CONNECTION is a\n"
        "    libpq connection string, e.g. 'host=db.clinic dbname=kvr user=reception'.\n"
        "    The password comes from PGPASSWORD or ~/.pgpass. Without --server every\n"
        "    command works where this computer's settings (the program's settings screen)\n"
        "    put the records. On a server, export reads the server's QueryMe, backup\n"
        "    writes the same .KVR file from one snapshot of the server's data, and restore\n"
        "    replaces the server's data in one transaction, refused while a KVR window or\n"
        "    kvr-cli of any computer is connected.\n");
    text += QStringLiteral("\nExit status: 0 on success, 1 when a command failed or refused input, 2 on wrong usage.");
    Out(text);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing a report needs fonts, hence a GUI application; without a
    // display it draws off screen.
    const int commandAt = argc > 2 && std::strcmp(argv[1], "--server") == 0 ? 3 : 1;
    const bool drawing = argc > commandAt && std::strcmp(argv[commandAt], "report") == 0;
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application =
        drawing ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    CallerFolder() = QDir::currentPath();
    QCoreApplication::setApplicationName(QStringLiteral("kvr-cli"));
    QCoreApplication::setApplicationVersion(VersionText());

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        RunHelp({});
        return 2;
    }
    if (args.first() == QLatin1String("--server")) {
        args.removeFirst();
        DatabaseLocation::Server server;
        QString password, error;
        if (args.isEmpty() || !DatabaseLocation::ParseConnectionString(args.takeFirst(), &server, &password, &error)) {
            Err(QStringLiteral("kvr-cli: --server needs a connection string such as 'host=db.clinic dbname=kvr "
                               "user=reception'%1")
                    .arg(error.isEmpty() ? QString() : QStringLiteral(": ") + error));
            return 2;
        }
        DatabaseLocation::UseServer(server);
        DatabaseLocation::SetPassword(password);
        if (args.isEmpty()) {
            RunHelp({});
            return 2;
        }
    } else {
        DatabaseLocation::UseSaved();
    }
    const QString name = args.takeFirst();
    // Commands that work on the program's files: an installed program makes
    // the user's data folder, with the delivered database, on its first use.
    static const QStringList usesProgramFiles{QStringLiteral("export"), QStringLiteral("report"),
                                              QStringLiteral("import"), QStringLiteral("backup"),
                                              QStringLiteral("restore")};
    QString error;
    if (usesProgramFiles.contains(name) && !PrepareProgramFolder(&error)) {
        Err(QStringLiteral("%1: %2").arg(name, error));
        return 1;
    }
    for (const Command &c : kCommands) {
        if (name == QLatin1String(c.name) || (name == QLatin1String("-h") && qstrcmp(c.name, "--help") == 0))
            return c.run(args);
    }
    Err(QStringLiteral("kvr-cli: unknown command \"%1\"; see kvr-cli --help").arg(name));
    return 2;
}
