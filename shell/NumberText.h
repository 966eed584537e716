#pragma once
#include "common/Digits.h"

#include <QChar>
#include <QString>

// The theme-number and question-number fields take digits only. A Persian
// keyboard types Extended Arabic-Indic digits (U+06F0..U+06F9) and some
// layouts Arabic-Indic ones (U+0660..U+0669); both stand for the same digit.
namespace NumberText {

using Digits::AsciiDigit;

enum class Key {
    Pass,   // not a typing key (arrows, Tab, shortcuts): the field handles it
    Accept, // backspace, Enter or a digit
    Refuse  // any other character: beep and tell the user
};
// Judges a key press by the text it types (QKeyEvent::text()) and its key.
Key Classify(int qtKey, const QString &typed);

// The text a number field holds after its change handling: empty gives "1",
// a number above max gives max, below 1 gives "1". A text that is not a
// plain decimal number (pasted in) is read by its leading number, with
// Persian digits taken as digits, and written back in plain form.
QString Corrected(const QString &text, int max);

} // namespace NumberText
