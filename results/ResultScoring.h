#pragma once
#include "scoring/Mohasebeh.h"

#include <QString>

class DataControl;

// What the results screen reads when an examinee is chosen: the list of
// examinees and the answer row of one of them. The scoring itself is
// Mohasebeh's; the summary line is ProfileSummaryLine (ProfileReport.h).
namespace ResultScoring {

// Record sources, kept as the screen writes them.
QString ExamineeListSource(); // all examinees, newest first
QString AnswerSource();

// The filter that picks the answer row of a code: code='CODE', with a quote
// inside the code doubled so the filter still reads the code whole.
QString CodeFilter(const QString &code);

// The code's answers from a control opened on the answers: the first row
// whose Code equals the code gives slot k the text of column k+1. When no
// row matches, or the filter cannot be applied, every slot is empty (all raw
// scores 0): the slots never keep another examinee's answers. The control is
// left filtered.
Mohasebeh::AnswerRecord LoadAnswers(DataControl &answers, const QString &code);

// Opens the answers afresh, loads the code's record and releases them again.
// A database that cannot be read gives the all-empty record as well.
Mohasebeh::AnswerRecord ReadAnswers(const QString &code);

} // namespace ResultScoring
