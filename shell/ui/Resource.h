#pragma once
#include "shell/Themes.h"

// The skins. Every window of the program is drawn with the look of the theme
// number on the settings screen.

// Reads the theme number from the settings screen's TxtRang, applies its look
// to the whole program (any number outside 1..23 gives the plain system look)
// and gives the main window's Resizer1 the settings screen's background
// colour. The main window is built and shown before the settings screen is
// loaded (hidden, right after): until then the number is the saved one, the
// one the screen shows once loaded.
void ApplyTheme();

// The clinic's name as the settings screen's first field holds it, or, while
// the screen is not loaded yet, as saved.
QString ClinicNameText();

// Applies the look of one row of the theme table; the empty row, or a row
// whose style files are missing, gives the plain system look. Returns false in
// the latter case.
bool LoadSkin(const ThemeRow &row);

// The row applied last (empty for the plain look).
ThemeRow CurrentSkin();
