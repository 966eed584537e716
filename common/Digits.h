#pragma once
#include <QChar>
#include <QString>

// A Persian keyboard types Extended Arabic-Indic digits (U+06F0..U+06F9) and
// some layouts Arabic-Indic ones (U+0660..U+0669); every number field takes
// them as the same digits and stores "0" to "9".
namespace Digits {
// The ASCII digit a character stands for ('0'..'9'), or a null QChar.
QChar AsciiDigit(QChar c);
// The text with every Persian or Arabic-Indic digit written as ASCII.
QString ToAscii(const QString &text);
}
