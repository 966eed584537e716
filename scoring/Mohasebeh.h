#pragma once
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <cstddef>

// Mohasebeh: scoring of the 40-item anxiety questionnaire.
//
// Every answer is read two ways: its entry value (the leading number of the
// answer text) and its reversed value (derived from the exact answer text).
// A fixed key adds those up into eight raw scores, and a norm table picked by
// the examinee's gender turns each raw score into a sten from 0 to 10.
// Nothing here knows about widgets: a screen asks for the texts to show and
// whether a norm table applied, and shows its own message when none did.
namespace Mohasebeh {

constexpr int ItemCount = 40;
constexpr int ScaleCount = 8;

// Rows of the result, in the order the results screen and report use them.
enum Scale { Q3 = 0, C, L, O, Q4, Covert, Overt, Total };

// The Persian caption of a row (0-7) as the results screen shows it; empty
// for any other row.
QString ScaleCaption(int row);
// Short Latin name of a row: "Q3", "C", "L", "O", "Q4", "Covert", "Overt", "Total".
const char *ScaleName(int row);

// The two gender texts that select a norm table. Compared exactly: " مرد"
// or "مرد " is not male.
QString MaleText();
QString FemaleText();
// Shown by a screen when no norm table applies.
QString GenderUnknownMessage();

enum class Norms { None, Male, Female };
Norms NormsFor(QStringView gender);

// The entry value of an answer text, read like a classic Val(): leading
// blanks and tabs are skipped, then an optional sign, digits and an optional
// fraction after a full stop. Empty or non-numeric text reads as 0. Only ASCII
// digits count.
double EntryValue(QStringView text);
// Same reading for UTF-8 / Latin-1 bytes.
double EntryValue(const char *begin, const char *end);

// The reversed text of an answer, by exact comparison: "" -> "0", "0" -> "2",
// "1" -> "1", "2" -> "0", anything else (" 1" included) -> "".
QString ReversedText(QStringView answer);
// The reversed text read as a number (2, 1 or 0).
double ReversedValue(QStringView answer);
double ReversedValue(const char *begin, const char *end);

// Turns a score sum into the stored 16-bit raw score: rounded to nearest with
// ties to even. Sums beyond the 16-bit signed range (only answers holding
// numbers in the thousands get there) are clamped to -32768 or 32767 rather
// than wrapped; a sum that is not a number (infinite answers of both signs)
// gives 0.
qint16 ToRaw(double sum);

// One examinee's answers: the code and the 40 answer texts (item k in
// Answers[k-1]), with the reversed texts kept beside them.
struct AnswerRecord {
    QString Code;
    std::array<QString, ItemCount> Answers;
    std::array<QString, ItemCount> Reversed;
};

// Rebuilds all 40 reversed texts from the answers; done before every scoring.
void FillReversedValues(AnswerRecord &record);

// The key: for each item (0-based) its factor scale (Q3..Q4) and whether the
// reversed value is scored. Items 1-20 also count to Covert, 21-40 to Overt.
struct KeyItem {
    Scale factor;
    bool reversed;
};
const std::array<KeyItem, ItemCount> &Key();

using RawScores = std::array<qint16, ScaleCount>;
using Stens = std::array<int, ScaleCount>;

// The raw scores from the 40 entry values and 40 reversed values. Each scale
// is summed in double in item order and turned into 16 bits by ToRaw; Total
// is Covert + Overt (their decimal texts read back, i.e. the two whole
// numbers) turned into 16 bits the same way.
RawScores RawScoresFrom(const double *entry, const double *reversed);

// A norm table: for every scale the highest raw score of stens 0 to 9; a
// sten no raw score gives repeats the bound before it. Anything above the
// sten 9 bound gives 10.
using NormTable = std::array<std::array<int, 10>, ScaleCount>;
const NormTable &MaleNorms();
const NormTable &FemaleNorms();
// The sten of a raw score in one scale of a table: the first band that holds it.
int StenOf(const NormTable &table, int row, int raw);
// All eight stens for a gender; zeros and false when no table applies.
bool StensFor(Norms norms, const RawScores &raw, Stens &stens);

// The scoring state between the raw-score step and the sten step, as the
// results screen uses it: ComputeRawScores, then ConvertToStens.
class Scorer {
public:
    // Rebuilds the reversed texts, computes the eight raw scores, resets the
    // stens to 0 and runs ConvertToStens with the gender. Returns whether a
    // norm table applied.
    bool ComputeRawScores(AnswerRecord &record, QStringView gender);
    // Picks the table by exact gender text. With an unknown gender no sten
    // is written (they keep what they held) and false is returned.
    bool ConvertToStens(QStringView gender);
    void MaleStens();
    void FemaleStens();

    const RawScores &Raw() const { return raw_; }
    const Stens &StenValues() const { return stens_; }
    Norms AppliedNorms() const { return norms_; }
    bool NormsApplied() const { return norms_ != Norms::None; }
    // Plain decimal texts, element i = row i.
    QStringList RawTexts() const;
    QStringList StenTexts() const;

private:
    RawScores raw_{};
    Stens stens_{};
    Norms norms_ = Norms::None;
};

} // namespace Mohasebeh
