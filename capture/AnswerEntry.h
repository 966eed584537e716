#pragma once
// Small rules shared by the two answer screens.
#include <QString>

namespace AnswerEntry {

// The characters an answer slot takes: "0", "1", "2" (options الف, ب, ج).
QString AcceptedKeys();

// Which option a stored answer selects on the test screen: 0, 1 or 2; -1
// for an empty answer (no option selected); -2 for any other text, which
// leaves the options as they are.
int OptionOf(const QString &answer);
constexpr int kNoOption = -1;
constexpr int kLeaveOptions = -2;

// The number an item-number text stands for: its leading whole number after
// blanks, 0 when it has none (as the item procedure reads it).
int ItemNumber(const QString &text);

// The key counter of the answer sheet: every key in a slot counts, and every
// tenth one asks for the answers to be written.
class KeyCounter
{
public:
    // Counts one key; true when this key makes ten (the count starts again).
    bool Count();
    int Value() const { return m_value; }
    void Reset() { m_value = 0; }

private:
    int m_value = 0;
};

} // namespace AnswerEntry
