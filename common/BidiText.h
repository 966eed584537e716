#pragma once
// Left-to-right text (a path, an address, an English system message) inside
// a right-to-left line keeps its own order: "C:/KVR/backup.KVR" must not show
// its slashes at the wrong ends. Unicode isolates do that without changing
// what the text says.
#include <QString>

namespace Bidi {

// The text as one left-to-right unit (LRI ... PDI).
QString LeftToRight(const QString &text);

// True when the first letter of the text that has a direction of its own
// reads left to right.
bool StartsLeftToRight(const QString &text);

// Every line (split at LF) that starts left to right becomes one
// left-to-right unit; right-to-left lines stay as they are.
QString KeepLineDirections(const QString &text);

} // namespace Bidi
