#include "scoring/Mohasebeh.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace Mohasebeh {

namespace {

// Powers of ten that a double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

template <typename Ch>
double LeadingNumber(const Ch *p, const Ch *end)
{
    while (p != end && (*p == Ch(' ') || *p == Ch('\t')))
        ++p;
    bool negative = false;
    if (p != end && (*p == Ch('+') || *p == Ch('-'))) {
        negative = *p == Ch('-');
        ++p;
    }
    const Ch *const start = p;
    // Digits and fraction. Up to 15 significant digits the number is read as
    // a whole mantissa divided by a power of ten: both exact, so the quotient
    // is the correctly rounded value. Longer numbers go to from_chars.
    quint64 mantissa = 0;
    int digitCount = 0;
    int fractionDigits = 0;
    bool wholeNonZero = false;
    while (p != end && *p >= Ch('0') && *p <= Ch('9')) {
        wholeNonZero = wholeNonZero || *p != Ch('0');
        if (digitCount < 19)
            mantissa = mantissa * 10 + quint64(*p - Ch('0'));
        ++digitCount;
        ++p;
    }
    const Ch *const wholeEnd = p;
    const Ch *fractionEnd = p;
    if (p != end && *p == Ch('.')) {
        ++p;
        while (p != end && *p >= Ch('0') && *p <= Ch('9')) {
            if (digitCount < 19)
                mantissa = mantissa * 10 + quint64(*p - Ch('0'));
            ++digitCount;
            ++fractionDigits;
            ++p;
        }
        fractionEnd = p;
    }
    if (digitCount == 0)
        return 0.0;
    double value = 0.0;
    if (digitCount <= 15 && fractionDigits <= 22) {
        value = double(mantissa) / kPow10[fractionDigits];
    } else {
        std::string text(1, '0'); // a leading 0 keeps ".5" readable
        for (const Ch *q = start; q != wholeEnd; ++q)
            text.push_back(char(*q));
        if (fractionDigits > 0) {
            text.push_back('.');
            for (const Ch *q = wholeEnd + 1; q != fractionEnd; ++q)
                text.push_back(char(*q));
        }
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
        if (result.ec == std::errc::result_out_of_range) {
            // Beyond a double: a huge number reads as infinity, a vanishing
            // fraction as 0. ToRaw clamps either way.
            value = wholeNonZero ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    return negative ? -value : value;
}

template <typename Ch>
double Reversed(const Ch *p, const Ch *end)
{
    if (p == end)
        return 0.0; // empty -> "0"
    if (end - p != 1)
        return 0.0; // anything else -> "", reads as 0
    switch (*p) {
    case Ch('0'): return 2.0;
    case Ch('1'): return 1.0;
    default: return 0.0; // "2" -> "0", others -> ""
    }
}

// The key, typed scale by scale: items scored with the entry value (E) and
// with the reversed value (R). Covert and Overt follow from the item numbers.
struct ScaleItems {
    Scale scale;
    std::initializer_list<int> entryItems;
    std::initializer_list<int> reversedItems;
};

std::array<KeyItem, ItemCount> BuildKey()
{
    const ScaleItems scales[] = {
        {Q3, {2, 3, 22, 23}, {1, 4, 21, 24}},
        {C, {6, 26}, {5, 7, 25, 27}},
        {L, {9, 29}, {8, 28}},
        {O, {10, 11, 14, 31, 34}, {12, 13, 15, 30, 32, 33, 35}},
        {Q4, {17, 19, 37, 39}, {16, 18, 20, 36, 38, 40}},
    };
    std::array<KeyItem, ItemCount> key{};
    for (const ScaleItems &s : scales) {
        for (int item : s.entryItems)
            key[std::size_t(item - 1)] = {s.scale, false};
        for (int item : s.reversedItems)
            key[std::size_t(item - 1)] = {s.scale, true};
    }
    return key;
}

// Highest raw score of stens 0..9 per scale; an empty sten repeats the bound
// before it. Typed from the published male and female norm tables.
const NormTable kMale = {{
    {0, 1, 2, 3, 4, 6, 7, 8, 10, 11},          // Q3
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},           // C
    {1, 2, 2, 3, 4, 5, 5, 6, 7, 7},            // L
    {4, 6, 7, 8, 10, 12, 13, 15, 16, 17},      // O
    {2, 4, 5, 7, 9, 11, 12, 14, 16, 17},       // Q4
    {9, 11, 13, 15, 18, 20, 23, 25, 28, 30},   // Covert
    {6, 8, 11, 14, 17, 19, 22, 25, 28, 30},    // Overt
    {17, 21, 26, 31, 35, 41, 45, 49, 54, 57},  // Total
}};

const NormTable kFemale = {{
    {0, 0, 1, 2, 4, 5, 6, 7, 9, 10},           // Q3
    {1, 2, 3, 4, 5, 6, 8, 9, 10, 11},          // C
    {1, 2, 2, 3, 4, 4, 5, 6, 6, 7},            // L
    {4, 5, 7, 9, 11, 12, 14, 15, 17, 18},      // O
    {2, 4, 5, 7, 9, 11, 13, 14, 16, 18},       // Q4
    {8, 10, 12, 15, 17, 20, 22, 25, 27, 29},   // Covert
    {6, 9, 12, 15, 17, 20, 23, 25, 27, 30},    // Overt
    {16, 20, 26, 31, 35, 40, 44, 49, 53, 57},  // Total
}};

QString Number(int value) { return QString::number(value); }

} // namespace

const char *ScaleName(int row)
{
    static const char *const names[ScaleCount] = {"Q3", "C", "L", "O", "Q4", "Covert", "Overt", "Total"};
    return row >= 0 && row < ScaleCount ? names[row] : "";
}

Norms NormsFor(QStringView gender)
{
    if (gender == MaleText())
        return Norms::Male;
    if (gender == FemaleText())
        return Norms::Female;
    return Norms::None;
}

double EntryValue(QStringView text)
{
    return LeadingNumber(text.utf16(), text.utf16() + text.size());
}

double EntryValue(const char *begin, const char *end) { return LeadingNumber(begin, end); }

QString ReversedText(QStringView answer)
{
    if (answer.isEmpty())
        return QStringLiteral("0");
    if (answer == u"0")
        return QStringLiteral("2");
    if (answer == u"1")
        return QStringLiteral("1");
    if (answer == u"2")
        return QStringLiteral("0");
    return QString();
}

double ReversedValue(QStringView answer) { return Reversed(answer.utf16(), answer.utf16() + answer.size()); }

double ReversedValue(const char *begin, const char *end) { return Reversed(begin, end); }

qint16 ToRaw(double sum)
{
    if (sum > -32768.0 && sum < 32767.0) {
        const int whole = int(sum);
        if (double(whole) == sum)
            return qint16(whole);
    }
    if (std::isnan(sum))
        return 0;
    if (sum >= 32767.0)
        return 32767;
    if (sum <= -32768.0)
        return -32768;
    // Round half to even, independent of the floating-point rounding mode.
    double whole = std::floor(sum);
    const double diff = sum - whole;
    int result = int(whole); // within -32768..32766 here
    if (diff > 0.5 || (diff == 0.5 && (result & 1) != 0))
        ++result;
    return qint16(result);
}

void FillReversedValues(AnswerRecord &record)
{
    for (int i = 0; i < ItemCount; ++i)
        record.Reversed[std::size_t(i)] = ReversedText(record.Answers[std::size_t(i)]);
}

const std::array<KeyItem, ItemCount> &Key()
{
    static const std::array<KeyItem, ItemCount> key = BuildKey();
    return key;
}

RawScores RawScoresFrom(const double *entry, const double *reversed)
{
    const auto &key = Key();
    double sums[Total] = {};
    for (int i = 0; i < ItemCount; ++i) {
        const KeyItem &k = key[std::size_t(i)];
        const double v = k.reversed ? reversed[i] : entry[i];
        sums[k.factor] += v;
        sums[i < 20 ? Covert : Overt] += v;
    }
    RawScores raw{};
    for (int row = 0; row < Total; ++row)
        raw[std::size_t(row)] = ToRaw(sums[row]);
    // Total comes from the two stored 16-bit scores, not from the item sums.
    raw[Total] = ToRaw(double(raw[Covert]) + double(raw[Overt]));
    return raw;
}

const NormTable &MaleNorms() { return kMale; }
const NormTable &FemaleNorms() { return kFemale; }

namespace {
// Per-raw-score stens for the common range, filled once from the band bounds.
constexpr int kLookupSize = 128;
struct StenLookup {
    unsigned char sten[ScaleCount][kLookupSize];
    explicit StenLookup(const NormTable &table)
    {
        for (int row = 0; row < ScaleCount; ++row)
            for (int raw = 0; raw < kLookupSize; ++raw)
                sten[row][raw] = static_cast<unsigned char>(StenOf(table, row, raw));
    }
};
const StenLookup &LookupFor(const NormTable &table)
{
    static const StenLookup male(kMale);
    static const StenLookup female(kFemale);
    return &table == &kMale ? male : female;
}
} // namespace

int StenOf(const NormTable &table, int row, int raw)
{
    const auto &bounds = table[std::size_t(row)];
    for (int sten = 0; sten < 10; ++sten) {
        if (raw <= bounds[std::size_t(sten)])
            return sten;
    }
    return 10;
}

bool StensFor(Norms norms, const RawScores &raw, Stens &stens)
{
    if (norms == Norms::None) {
        stens.fill(0);
        return false;
    }
    const NormTable &table = norms == Norms::Male ? kMale : kFemale;
    const StenLookup &lookup = LookupFor(table);
    for (int row = 0; row < ScaleCount; ++row) {
        const int r = raw[std::size_t(row)];
        stens[std::size_t(row)] = r >= 0 && r < kLookupSize ? lookup.sten[row][r] : StenOf(table, row, r);
    }
    return true;
}

bool Scorer::ComputeRawScores(AnswerRecord &record, QStringView gender)
{
    FillReversedValues(record);
    double entry[ItemCount];
    double reversed[ItemCount];
    for (int i = 0; i < ItemCount; ++i) {
        entry[i] = EntryValue(record.Answers[std::size_t(i)]);
        reversed[i] = EntryValue(record.Reversed[std::size_t(i)]);
    }
    raw_ = RawScoresFrom(entry, reversed);
    stens_.fill(0);
    return ConvertToStens(gender);
}

bool Scorer::ConvertToStens(QStringView gender)
{
    norms_ = NormsFor(gender);
    if (norms_ == Norms::Male)
        MaleStens();
    if (norms_ == Norms::Female)
        FemaleStens();
    return norms_ != Norms::None;
}

void Scorer::MaleStens()
{
    for (int row = 0; row < ScaleCount; ++row)
        stens_[std::size_t(row)] = StenOf(kMale, row, raw_[std::size_t(row)]);
}

void Scorer::FemaleStens()
{
    for (int row = 0; row < ScaleCount; ++row)
        stens_[std::size_t(row)] = StenOf(kFemale, row, raw_[std::size_t(row)]);
}

QStringList Scorer::RawTexts() const
{
    QStringList texts;
    for (qint16 v : raw_)
        texts << Number(v);
    return texts;
}

QStringList Scorer::StenTexts() const
{
    QStringList texts;
    for (int v : stens_)
        texts << Number(v);
    return texts;
}

} // namespace Mohasebeh
