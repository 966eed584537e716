#pragma once
#include "shell/Themes.h"

// The skins. Every window of the program is drawn with the look of the theme
// number on the settings screen.

// Reads the theme number from the settings screen's TxtRang (loading the
// screen hidden when it is not loaded), applies its look to the whole program
// (any number outside 1..23 gives the plain system look) and gives the main
// window's Resizer1 the settings screen's background colour.
void ApplyTheme();

// Applies the look of one row of the theme table; the empty row, or a row
// whose style files are missing, gives the plain system look. Returns false in
// the latter case.
bool LoadSkin(const ThemeRow &row);

// The row applied last (empty for the plain look).
ThemeRow CurrentSkin();
