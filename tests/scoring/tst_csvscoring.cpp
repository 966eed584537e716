#include "scoring/CsvScoring.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

QByteArray Answers(const char *answer)
{
    QByteArrayList a;
    for (int i = 0; i < 40; ++i)
        a << answer;
    return a.join(',');
}

const QByteArray kMale = QStringLiteral("مرد").toUtf8();
const QByteArray kFemale = QStringLiteral("زن").toUtf8();
const QByteArray kHead = "code,gender," + [] {
    QByteArrayList h;
    for (int i = 1; i <= 40; ++i)
        h << "a" + QByteArray::number(i);
    return h.join(',');
}();

// Scores of all-"1" answers for men, for women, and with no norms.
const QByteArray kOnesMale = ",8,6,4,12,10,20,20,40,7,5,4,5,5,5,6,5,male\n";
const QByteArray kOnesFemale = ",8,6,4,12,10,20,20,40,8,5,4,5,5,5,5,5,female\n";
const QByteArray kOnesNone = ",8,6,4,12,10,20,20,40,,,,,,,,,none\n";

} // namespace

class TestCsvScoring : public QObject {
    Q_OBJECT
private slots:
    void score_data();
    void score();
    void chunkBoundariesDoNotMatter();
    void unexpectedAnswersWarn_data();
    void unexpectedAnswersWarn();
    void commandLine_data();
    void commandLine();
};

void TestCsvScoring::score_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output"); // after the header
    QTest::addColumn<QStringList>("errors");
    const QByteArray ones = Answers("1");

    QTest::newRow("empty input") << QByteArray() << QByteArray() << QStringList();
    QTest::newRow("header skipped") << kHead + "\n7," + kMale + "," + ones + "\n" << "7" + kOnesMale << QStringList();
    QTest::newRow("no header") << "7," + kFemale + "," + ones + "\n" << "7" + kOnesFemale << QStringList();
    QTest::newRow("CRLF") << kHead + "\r\n7," + kMale + "," + ones + "\r\n8," + kFemale + "," + ones + "\r\n"
                          << "7" + kOnesMale + "8" + kOnesFemale << QStringList();
    QTest::newRow("BOM and header") << "\xef\xbb\xbf" + kHead + "\n7," + kMale + "," + ones + "\n" << "7" + kOnesMale << QStringList();
    QTest::newRow("BOM, no header") << "\xef\xbb\xbf" "7," + kMale + "," + ones << "7" + kOnesMale << QStringList();
    QTest::newRow("last line without line end") << "7," + kMale + "," + ones << "7" + kOnesMale << QStringList();
    QTest::newRow("unknown genders")
        << "1, " + kMale + "," + ones + "\n2,," + ones + "\n3," + kMale + " ," + ones + "\n4,male," + ones + "\n"
        << "1" + kOnesNone + "2" + kOnesNone + "3" + kOnesNone + "4" + kOnesNone << QStringList();
    QTest::newRow("wrong field counts, others still scored")
        << kHead + "\n7," + kMale + "," + ones + "\n8," + kMale + ",1,2\n\n9," + kFemale + "," + ones + ",1\n10," + kFemale + "," + ones + "\n"
        << "7" + kOnesMale + "10" + kOnesFemale
        << QStringList{"line 3: expected 42 fields (code,gender,a1,...,a40), found 4",
                       "line 5: expected 42 fields (code,gender,a1,...,a40), found 43"};
    QTest::newRow("header only on the first line")
        << "7," + kMale + "," + ones + "\ncode," + kMale + "," + ones + "\n" << "7" + kOnesMale + "code" + kOnesMale << QStringList();
    // Quotes are plain text: a quoted answer is not an answer, a quoted comma
    // splits, and a quoted code comes out as one CSV field.
    QTest::newRow("quoted answer is text")
        << "7," + kMale + ",\"1\"," + Answers("1").mid(2) + "\n" << QByteArray("7,7,6,4,12,10,19,20,39,6,5,4,5,5,5,6,5,male\n") << QStringList();
    QTest::newRow("quoted code") << "\"7\"," + kMale + "," + ones + "\n" << "\"\"\"7\"\"\"" + kOnesMale << QStringList();
    QTest::newRow("quoted comma splits")
        << "\"7,1\"," + kMale + "," + ones + "\n" << QByteArray() << QStringList{"line 1: expected 42 fields (code,gender,a1,...,a40), found 43"};
    QTest::newRow("odd answers") << "7," + kMale + "," + Answers("x") + "\n" << QByteArray("7,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,male\n") << QStringList();
}

void TestCsvScoring::score()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QFETCH(QStringList, errors);
    QStringList gotErrors;
    const QByteArray out = ScoreCsv(input, &gotErrors);
    QVERIFY(out.startsWith(CsvScorer::Header()));
    QCOMPARE(out.mid(CsvScorer::Header().size()), output);
    QCOMPARE(gotErrors, errors);
}

void TestCsvScoring::chunkBoundariesDoNotMatter()
{
    const QByteArray input = "\xef\xbb\xbf" + kHead + "\r\n7," + kMale + "," + Answers("0") + "\r\n8,x,1\r\n9," + kFemale + ","
                             + Answers("2") + "\r\n10," + kMale + "," + Answers("") + "\r\n";
    QStringList wholeErrors;
    const QByteArray whole = ScoreCsv(input, &wholeErrors);
    QCOMPARE(wholeErrors.size(), 1);
    for (int step : {1, 2, 3, 7, 64}) {
        CsvScorer scorer;
        for (int i = 0; i < input.size(); i += step)
            scorer.Feed(input.constData() + i, std::size_t(qMin(step, int(input.size()) - i)));
        scorer.Finish();
        QCOMPARE(scorer.Output(), whole);
        QCOMPARE(scorer.Errors(), wholeErrors);
        QCOMPARE(scorer.ScoredCount(), 3);
        QCOMPARE(scorer.RefusedCount(), 1);
    }
}

// Each answer other than "", "0", "1" and "2" gives one warning naming its
// line and item; the line is still scored as before.
void TestCsvScoring::unexpectedAnswersWarn_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<int>("warnedLines");
    const QString tail = QStringLiteral(" (expected \"\", \"0\", \"1\" or \"2\"); scored as the program scores it");
    auto line = [](const QByteArray &code, QList<QPair<int, QByteArray>> odd) {
        QByteArrayList a(40, "1");
        for (const auto &o : odd)
            a[o.first - 1] = o.second;
        return code + "," + kMale + "," + a.join(',') + "\n";
    };
    QTest::newRow("expected answers only")
        << kHead + "\n" + line("7", {}) + "8," + kFemale + "," + Answers("") + "\n" + line("9", {{5, "0"}, {6, "2"}})
        << QStringList() << 0;
    QTest::newRow("two on one line, after the header")
        << kHead + "\n" + line("7", {}) + line("8", {{3, "x"}, {40, "1.5"}})
        << QStringList{"line 3, item 3: unexpected answer \"x\"" + tail,
                       "line 3, item 40: unexpected answer \"1.5\"" + tail}
        << 1;
    QTest::newRow("on two lines") << line("7", {{1, " 1"}}) + "\n" + line("8", {{2, "٢"}})
                                  << QStringList{"line 1, item 1: unexpected answer \" 1\"" + tail,
                                                 "line 3, item 2: unexpected answer \"٢\"" + tail}
                                  << 2;
    QTest::newRow("quotes and control characters shown escaped")
        << line("7", {{4, "\"2\""}, {5, "a\tb"}})
        << QStringList{"line 1, item 4: unexpected answer \"\\x222\\x22\"" + tail,
                       "line 1, item 5: unexpected answer \"a\\x09b\"" + tail}
        << 1;
    QTest::newRow("a long answer cut short") << line("7", {{6, QByteArray(60, 'y')}})
                                             << QStringList{"line 1, item 6: unexpected answer \""
                                                            + QString(40, QLatin1Char('y')) + "...\"" + tail}
                                             << 1;
    QTest::newRow("a refused line is not warned about") << "7," + kMale + ",x,x\n" << QStringList() << 0;
}

void TestCsvScoring::unexpectedAnswersWarn()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, warnings);
    QFETCH(int, warnedLines);
    CsvScorer scorer;
    scorer.Feed(input.constData(), std::size_t(input.size()));
    scorer.Finish();
    QCOMPARE(scorer.Warnings(), warnings);
    QCOMPARE(scorer.WarnedCount(), qint64(warnedLines));
    QStringList viaWhole;
    ScoreCsv(input, nullptr, &viaWhole);
    QCOMPARE(viaWhole, warnings);
}

void TestCsvScoring::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("stdoutStart");
    QTest::addColumn<QByteArray>("stderrHas");
    QTest::newRow("score with a refused line")
        << QStringList{"score"} << "7," + kMale + "," + Answers("1") + "\n8,x\n" << 1 << CsvScorer::Header() + "7" + kOnesMale
        << QByteArray("line 2: expected 42 fields");
    QTest::newRow("score with an unexpected answer, still scored")
        << QStringList{"score"} << "7," + kMale + ",\"1\"," + Answers("1").mid(2) + "\n" << 1
        << CsvScorer::Header() + "7,7,6,4,12,10,19,20,39,6,5,4,5,5,5,6,5,male\n"
        << QByteArray("warning: line 1, item 1: unexpected answer");
    QTest::newRow("score, all good") << QStringList{"score"} << "7," + kFemale + "," + Answers("1") + "\r\n" << 0
                                     << CsvScorer::Header() + "7" + kOnesFemale << QByteArray();
    QTest::newRow("version") << QStringList{"--version"} << QByteArray() << 0 << QByteArray("4.1.0\n") << QByteArray();
    QTest::newRow("bad layout") << QStringList{"date", "2024-03-20", "5"} << QByteArray() << 1 << QByteArray() << QByteArray("layout");
    QTest::newRow("bad date") << QStringList{"date", "2024-02-30"} << QByteArray() << 1 << QByteArray() << QByteArray("2024-02-30");
}

void TestCsvScoring::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, stdoutStart);
    QFETCH(QByteArray, stderrHas);
    const QString program = QDir(qEnvironmentVariable("KVR_PROGRAM_DIR")).filePath(QStringLiteral("kvr-cli"));
    QVERIFY2(QFile::exists(program), qPrintable(program));
    QProcess p;
    p.start(program, args);
    QVERIFY(p.waitForStarted());
    p.write(input);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    const QByteArray out = p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(out.startsWith(stdoutStart), out.constData());
    if (stderrHas.isEmpty())
        QVERIFY2(err.isEmpty(), err.constData());
    else
        QVERIFY2(err.contains(stderrHas), err.constData());
}

QTEST_MAIN(TestCsvScoring)
#include "tst_csvscoring.moc"
