#pragma once
// Qt's own texts (standard buttons, file dialogs, the print preview) in
// Persian: Qt's Persian translation, with ours on top of it for what it
// lacks and for the program's own captions of the standard buttons ("تاييد",
// "بلي", "خير", "انصراف"). Called once at start, before the first window.
namespace Translations {

// Returns false when Qt's Persian translation is not installed (then the
// program's own texts still apply).
bool InstallPersian();

} // namespace Translations
