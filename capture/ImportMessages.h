#pragma once
// What the answer import tells the user, the same on the import screen
// (Frm_File, in a message box) and from "kvr-cli import" (on the terminal):
// the caption, the text and the kind of icon of each outcome.
#include "capture/AnswerImport.h"

#include <QString>

namespace ImportMessages {

enum class Icon { Information, Warning, Critical };

struct Message {
    QString caption;
    QString text;
    Icon icon = Icon::Information;
};

// No workbook was chosen: "Error A3".
Message NoFileChosen();
// The message for the outcome of an import: "Error A1" for a wrong marker,
// "Error A4" for a file that cannot be read, "خطا" with the reason when the
// answers could not be stored or the program cannot read .xlsx files,
// "ورود اطلاعات" on success.
Message For(const AnswerImport::Report &report);
// The five lines of the "Error A4" box.
QString ErrorA4Text();

} // namespace ImportMessages
