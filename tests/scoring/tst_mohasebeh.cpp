#include "scoring/Mohasebeh.h"
#include "scoring/CsvScoring.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>

using namespace Mohasebeh;

namespace {

const QString kMale = QStringLiteral("مرد");
const QString kFemale = QStringLiteral("زن");

QStringList Repeat(const QString &answer) { return QStringList(40, answer).toList(); }

QStringList Cycling()
{
    QStringList a;
    for (int i = 0; i < 40; ++i)
        a << QString::number(i % 3);
    return a;
}

QStringList With(QStringList answers, int item, const QString &text)
{
    answers[item - 1] = text;
    return answers;
}

QList<int> Ints(std::initializer_list<int> v) { return QList<int>(v); }

template <typename A>
QList<int> ToList(const A &a)
{
    QList<int> l;
    for (auto v : a)
        l << int(v);
    return l;
}

// ---- An independent model, written from the printed key and norm tables ----

// Factor scale of items 1..40 (Q=Q3, C, L, O, F=Q4) and whether the item is
// scored reversed (R) or by its entry (E).
const char kScaleOfItem[] = "QQQQCCCLLOOOOOOFFFFF" "QQQQCCCLLOOOOOOFFFFF";
const char kDirOfItem[] = "REERRERREEERRERRERER" "REERRERRERERRERRERER";

// Sten per raw score (index = raw score, 'A' = 10; beyond the end: 10).
const char *const kMaleLookup[8] = {
    "012345567889A", "00123456789A", "00134578A", "000001123445567789A", "000112334455677889A",
    "0000000000112233444556667788899A", "0000000112223334445566677788899A",
    "0000000000000000001111222223333344445555556666777788888999A"};
const char *const kFemaleLookup[8] = {
    "02344567889A", "001234566789A", "00134679A", "0000012233445667889A", "0001123344556678899A",
    "000000000112233344555667778899A", "0000000111222333445556667788999A",
    "0000000000000000011112222223333344445555566667777788889999A"};

int ModelSten(const char *lookup, int raw)
{
    if (raw < 0)
        return 0;
    const int n = int(qstrlen(lookup));
    const char c = lookup[qMin(raw, n - 1)];
    return c == 'A' ? 10 : c - '0';
}

double ModelEntry(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^[ \\t]*([+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+))"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return 0;
    QString num = m.captured(1);
    if (num.endsWith(u'.'))
        num.chop(1);
    return QLocale::c().toDouble(num);
}

double ModelReversed(const QString &text)
{
    if (text.isEmpty())
        return 0;
    if (text == QLatin1String("0"))
        return 2;
    if (text == QLatin1String("1"))
        return 1;
    return 0; // "2" and everything else
}

int Model16(double v)
{
    const double r = std::nearbyint(v); // default rounding: to nearest, ties to even
    return int(qBound(-32768.0, r, 32767.0));
}

QList<int> ModelRaw(const QStringList &answers)
{
    double sums[7] = {};
    const QByteArray order("QCLOF");
    for (int i = 0; i < 40; ++i) {
        const double v = kDirOfItem[i] == 'R' ? ModelReversed(answers[i]) : ModelEntry(answers[i]);
        sums[order.indexOf(kScaleOfItem[i])] += v;
        sums[i < 20 ? 5 : 6] += v;
    }
    QList<int> raw;
    for (double s : sums)
        raw << Model16(s);
    raw << Model16(QString::number(raw[5]).toDouble() + QString::number(raw[6]).toDouble());
    return raw;
}

} // namespace

class TestMohasebeh : public QObject {
    Q_OBJECT
private slots:
    void entryValue_data();
    void entryValue();
    void reversedText_data();
    void reversedText();
    void toRaw_data();
    void toRaw();
    void rawScores_data();
    void rawScores();
    void stensFromAnswers_data();
    void stensFromAnswers();
    void bandBoundaries_data();
    void bandBoundaries();
    void unknownGenderLeavesStens_data();
    void unknownGenderLeavesStens();
    void keyCoversEveryItemOnce();
    void captions();
    void agreesWithIndependentModel();
};

void TestMohasebeh::entryValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("0") << "0" << 0.0;
    QTest::newRow("1") << "1" << 1.0;
    QTest::newRow("2") << "2" << 2.0;
    QTest::newRow("leading blank") << " 1" << 1.0;
    QTest::newRow("leading tab") << "\t2" << 2.0;
    QTest::newRow("trailing text") << "2 x" << 2.0;
    QTest::newRow("fraction") << "1.5" << 1.5;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("full stop, no fraction") << "3." << 3.0;
    QTest::newRow("negative") << "-1" << -1.0;
    QTest::newRow("plus") << "+3" << 3.0;
    QTest::newRow("two digits") << "10" << 10.0;
    QTest::newRow("letter") << "x" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("no exponent") << "1e3" << 1.0;
    QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0661") << 0.0;
    QTest::newRow("blank inside") << "1 2" << 1.0;
    QTest::newRow("long fraction") << "0.50000000000000000000001" << 0.5;
    QTest::newRow("long number") << "12345678901234567890" << 12345678901234567890.0;
    QTest::newRow("vanishing fraction") << "." + QString(400, u'0') + "1" << 0.0;
    QTest::newRow("huge") << QString(400, u'9') << qInf();
}

void TestMohasebeh::entryValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(EntryValue(text), value);
    const QByteArray bytes = text.toUtf8();
    QCOMPARE(EntryValue(bytes.constData(), bytes.constData() + bytes.size()), value);
}

void TestMohasebeh::reversedText_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("reversed");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << "0" << 0.0;
    QTest::newRow("0") << "0" << "2" << 2.0;
    QTest::newRow("1") << "1" << "1" << 1.0;
    QTest::newRow("2") << "2" << "0" << 0.0;
    QTest::newRow("leading blank") << " 1" << "" << 0.0;
    QTest::newRow("trailing blank") << "0 " << "" << 0.0;
    QTest::newRow("double zero") << "00" << "" << 0.0;
    QTest::newRow("letter") << "x" << "" << 0.0;
}

void TestMohasebeh::reversedText()
{
    QFETCH(QString, answer);
    QFETCH(QString, reversed);
    QFETCH(double, value);
    QCOMPARE(ReversedText(answer), reversed);
    QCOMPARE(ReversedValue(answer), value);
    QCOMPARE(EntryValue(ReversedText(answer)), value);
    const QByteArray bytes = answer.toUtf8();
    QCOMPARE(ReversedValue(bytes.constData(), bytes.constData() + bytes.size()), value);
}

void TestMohasebeh::toRaw_data()
{
    QTest::addColumn<double>("sum");
    QTest::addColumn<int>("raw");
    QTest::newRow("half to even 0") << 0.5 << 0;
    QTest::newRow("half to even 2") << 1.5 << 2;
    QTest::newRow("2.5 to 2") << 2.5 << 2;
    QTest::newRow("above half") << 2.51 << 3;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("top") << 32767.0 << 32767;
    QTest::newRow("just below top, half") << 32766.5 << 32766;
    QTest::newRow("clamped high") << 40000.0 << 32767;
    QTest::newRow("clamped low") << -40000.0 << -32768;
    QTest::newRow("infinite") << qInf() << 32767;
    QTest::newRow("minus infinite") << -qInf() << -32768;
    QTest::newRow("not a number") << qQNaN() << 0;
}

void TestMohasebeh::toRaw()
{
    QFETCH(double, sum);
    QFETCH(int, raw);
    QCOMPARE(int(ToRaw(sum)), raw);
}

void TestMohasebeh::rawScores_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QList<int>>("raw"); // Q3 C L O Q4 Covert Overt Total
    QTest::newRow("all empty") << Repeat("") << Ints({0, 0, 0, 0, 0, 0, 0, 0});
    QTest::newRow("all 0") << Repeat("0") << Ints({8, 8, 4, 14, 12, 22, 24, 46});
    QTest::newRow("all 1") << Repeat("1") << Ints({8, 6, 4, 12, 10, 20, 20, 40});
    QTest::newRow("all 2") << Repeat("2") << Ints({8, 4, 4, 10, 8, 18, 16, 34});
    QTest::newRow("cycling 0,1,2") << Cycling() << Ints({8, 8, 6, 6, 9, 23, 14, 37});
    // Item 1 is scored reversed: " 1" has no reversed value. Item 2 is scored
    // by its entry: " 1" counts 1.
    QTest::newRow("' 1' on a reversed item") << With(Repeat("1"), 1, " 1") << Ints({7, 6, 4, 12, 10, 19, 20, 39});
    QTest::newRow("' 1' on an entry item") << With(Repeat("1"), 2, " 1") << Ints({8, 6, 4, 12, 10, 20, 20, 40});
    // Items 10 and 30 share a scale but not a direction.
    QTest::newRow("item 10 vs 30") << With(With(Repeat("1"), 10, "2"), 30, "2") << Ints({8, 6, 4, 12, 10, 21, 19, 40});
    // Fractions: sums rounded half to even per scale, Total from the rounded two.
    QTest::newRow("half rounds down to even") << With(Repeat("1"), 2, "1.5") << Ints({8, 6, 4, 12, 10, 20, 20, 40});
    QTest::newRow("half rounds up to even") << With(Repeat("1"), 2, "0.5") << Ints({8, 6, 4, 12, 10, 20, 20, 40});
    QTest::newRow("two halves") << With(With(Repeat("1"), 2, "1.5"), 3, "1.5") << Ints({9, 6, 4, 12, 10, 21, 20, 41});
    QTest::newRow("clamped high") << With(Repeat("0"), 2, "40000") << Ints({32767, 8, 4, 14, 12, 32767, 24, 32767});
    QTest::newRow("clamped low") << With(Repeat("0"), 22, "-40000") << Ints({-32768, 8, 4, 14, 12, 22, -32768, -32746});
    QTest::newRow("huge number") << With(Repeat("0"), 2, QString(400, u'9')) << Ints({32767, 8, 4, 14, 12, 32767, 24, 32767});
}

void TestMohasebeh::rawScores()
{
    QFETCH(QStringList, answers);
    QFETCH(QList<int>, raw);
    AnswerRecord rec;
    for (int i = 0; i < 40; ++i)
        rec.Answers[std::size_t(i)] = answers[i];
    Scorer s;
    s.ComputeRawScores(rec, kMale);
    QCOMPARE(ToList(s.Raw()), raw);
    QStringList texts;
    for (int v : raw)
        texts << QString::number(v);
    QCOMPARE(s.RawTexts(), texts);
    QCOMPARE(rec.Reversed[0], ReversedText(answers[0]));
}

void TestMohasebeh::stensFromAnswers_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("gender");
    QTest::addColumn<QStringList>("stens");
    QTest::addColumn<int>("norms");
    const QStringList zeros(8, QStringLiteral("0"));
    QTest::newRow("male, all 1") << Repeat("1") << kMale << QStringList{"7", "5", "4", "5", "5", "5", "6", "5"} << int(Norms::Male);
    QTest::newRow("female, all 1") << Repeat("1") << kFemale << QStringList{"8", "5", "4", "5", "5", "5", "5", "5"} << int(Norms::Female);
    QTest::newRow("male, all empty") << Repeat("") << kMale << zeros << int(Norms::Male);
    QTest::newRow("leading blank") << Repeat("1") << QStringLiteral(" مرد") << zeros << int(Norms::None);
    QTest::newRow("trailing blank") << Repeat("1") << QStringLiteral("مرد ") << zeros << int(Norms::None);
    QTest::newRow("empty gender") << Repeat("1") << QString() << zeros << int(Norms::None);
    QTest::newRow("gender with a line end") << Repeat("1") << QStringLiteral("زن\n") << zeros << int(Norms::None);
}

void TestMohasebeh::stensFromAnswers()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, gender);
    QFETCH(QStringList, stens);
    QFETCH(int, norms);
    AnswerRecord rec;
    for (int i = 0; i < 40; ++i)
        rec.Answers[std::size_t(i)] = answers[i];
    Scorer s;
    QCOMPARE(s.ComputeRawScores(rec, gender), norms != int(Norms::None));
    QCOMPARE(int(s.AppliedNorms()), norms);
    QCOMPARE(s.StenTexts(), stens);
    // A second conversion for the same examinee changes nothing.
    QCOMPARE(s.ConvertToStens(gender), norms != int(Norms::None));
    QCOMPARE(s.StenTexts(), stens);
}

void TestMohasebeh::bandBoundaries_data()
{
    QTest::addColumn<int>("gender");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("sten");
    const int m = int(Norms::Male), f = int(Norms::Female);
    QTest::newRow("female Q3 1: no sten 1") << f << int(Q3) << 1 << 2;
    QTest::newRow("female Q3 0") << f << int(Q3) << 0 << 0;
    QTest::newRow("male Q3 4") << m << int(Q3) << 4 << 4;
    QTest::newRow("male Q3 12 open top") << m << int(Q3) << 12 << 10;
    QTest::newRow("male L 6") << m << int(L) << 6 << 7;
    QTest::newRow("male L 7") << m << int(L) << 7 << 8;
    QTest::newRow("female L 7") << f << int(L) << 7 << 9;
    QTest::newRow("male L 8") << m << int(L) << 8 << 10;
    QTest::newRow("female L 8") << f << int(L) << 8 << 10;
    QTest::newRow("male Total 57") << m << int(Total) << 57 << 9;
    QTest::newRow("male Total 58") << m << int(Total) << 58 << 10;
    QTest::newRow("female Covert 8") << f << int(Covert) << 8 << 0;
    QTest::newRow("female Covert 9") << f << int(Covert) << 9 << 1;
    QTest::newRow("negative") << m << int(O) << -5 << 0;
    QTest::newRow("far above") << f << int(Overt) << 32767 << 10;
}

void TestMohasebeh::bandBoundaries()
{
    QFETCH(int, gender);
    QFETCH(int, row);
    QFETCH(int, raw);
    QFETCH(int, sten);
    const NormTable &table = gender == int(Norms::Male) ? MaleNorms() : FemaleNorms();
    QCOMPARE(StenOf(table, row, raw), sten);
    // And every raw score of every scale against the per-score lookup.
    const char *const *lookup = gender == int(Norms::Male) ? kMaleLookup : kFemaleLookup;
    for (int r = 0; r < ScaleCount; ++r) {
        for (int x = -3; x < 70; ++x)
            QVERIFY2(StenOf(table, r, x) == ModelSten(lookup[r], x), qPrintable(QStringLiteral("row %1 raw %2").arg(r).arg(x)));
    }
}

void TestMohasebeh::unknownGenderLeavesStens_data()
{
    QTest::addColumn<QString>("gender");
    QTest::newRow("leading blank") << QStringLiteral(" مرد");
    QTest::newRow("empty") << QString();
    QTest::newRow("trailing blank") << QStringLiteral("مرد ");
}

void TestMohasebeh::unknownGenderLeavesStens()
{
    QFETCH(QString, gender);
    AnswerRecord rec;
    rec.Answers.fill(QStringLiteral("1"));
    Scorer s;
    QVERIFY(s.ComputeRawScores(rec, kMale));
    const QStringList male = s.StenTexts();
    QVERIFY(!s.ConvertToStens(gender));
    QVERIFY(!s.NormsApplied());
    QCOMPARE(s.StenTexts(), male);
    // A fresh computation starts the stens from "0".
    QVERIFY(!s.ComputeRawScores(rec, gender));
    QCOMPARE(s.StenTexts(), QStringList(8, QStringLiteral("0")));
}

void TestMohasebeh::keyCoversEveryItemOnce()
{
    const QByteArray order("QCLOF");
    for (int i = 0; i < ItemCount; ++i) {
        QCOMPARE(int(Key()[std::size_t(i)].factor), order.indexOf(kScaleOfItem[i]));
        QCOMPARE(Key()[std::size_t(i)].reversed, kDirOfItem[i] == 'R');
    }
}

void TestMohasebeh::captions()
{
    QCOMPARE(ScaleCaption(0), QStringLiteral("فقدان توحيد يافتگي يا انسجام هشياري نسبت به خود ( Q3)"));
    QCOMPARE(ScaleCaption(7), QStringLiteral("نمره کل اضطراب"));
    QVERIFY(ScaleCaption(8).isEmpty());
    for (int row = 0; row < ScaleCount; ++row) {
        // The system's own letters: Arabic yeh, never the Persian form.
        QVERIFY(!ScaleCaption(row).contains(QChar(0x06CC)));
    }
    QVERIFY(GenderUnknownMessage().startsWith(QStringLiteral("جنسيت")));
}

void TestMohasebeh::agreesWithIndependentModel()
{
    const QStringList pool = {"0", "1", "2", "0", "1", "2", "0", "1", "2", "", "", " 1", "1.5", "x", "-1", "10", "2 ", "0.5", "\t0", "+2", "00"};
    const QStringList genders = {kMale, kFemale, kMale, kFemale, QStringLiteral(" مرد"), QString(), QStringLiteral("مرد ")};
    QRandomGenerator rng(20261209);
    QByteArray csv;
    QByteArray expectedCsv = CsvScorer::Header();
    Scorer s;
    for (int n = 0; n < 5000; ++n) {
        QStringList answers;
        // Some records use only the ordinary answers so high and low scores turn up.
        const int spread = n % 4 == 0 ? int(pool.size()) : 3;
        for (int i = 0; i < 40; ++i)
            answers << pool[int(rng.bounded(spread))];
        const QString gender = genders[int(rng.bounded(int(genders.size())))];

        AnswerRecord rec;
        for (int i = 0; i < 40; ++i)
            rec.Answers[std::size_t(i)] = answers[i];
        const bool applied = s.ComputeRawScores(rec, gender);

        const QList<int> raw = ModelRaw(answers);
        const char *const *lookup = gender == kMale ? kMaleLookup : gender == kFemale ? kFemaleLookup : nullptr;
        QList<int> stens;
        for (int r = 0; r < 8; ++r)
            stens << (lookup ? ModelSten(lookup[r], raw[r]) : 0);

        const QString where = QStringLiteral("record %1: %2 / %3").arg(n).arg(answers.join(u'|'), gender);
        QVERIFY2(ToList(s.Raw()) == raw, qPrintable(where));
        QVERIFY2(ToList(s.StenValues()) == stens, qPrintable(where));
        QCOMPARE(applied, lookup != nullptr);
        if (spread == 3) // whole answers: Total is the sum of the five factors
            QCOMPARE(raw[7], raw[0] + raw[1] + raw[2] + raw[3] + raw[4]);

        // The same record through the CSV path.
        csv += QByteArray::number(n) + ',' + gender.toUtf8() + ',' + answers.join(u',').toUtf8() + '\n';
        QStringList fields{QString::number(n)};
        for (int v : raw)
            fields << QString::number(v);
        for (int v : stens)
            fields << (lookup ? QString::number(v) : QString());
        fields << (gender == kMale ? "male" : gender == kFemale ? "female" : "none");
        expectedCsv += fields.join(u',').toUtf8() + '\n';
    }
    QStringList errors;
    const QByteArray out = ScoreCsv(csv, &errors);
    QVERIFY(errors.isEmpty());
    const QList<QByteArray> got = out.split('\n');
    const QList<QByteArray> want = expectedCsv.split('\n');
    QCOMPARE(got.size(), want.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i], want[i]);
}

QTEST_MAIN(TestMohasebeh)
#include "tst_mohasebeh.moc"
