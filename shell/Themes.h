#pragma once
#include <QPalette>
#include <QString>

// The skin table: a theme number from 1 to 23 names a style and a colour
// scheme inside it; any other number names no skin (the system's own look).
// Several numbers share a look: 9 repeats 4, 20 repeats 14, 23 repeats 21.
struct ThemeRow {
    QString style;  // relative to the program folder, e.g. "/Styles/Office2010.cjstyles"
    QString scheme; // e.g. "NormalBlue.ini"
    bool isEmpty() const { return style.isEmpty() && scheme.isEmpty(); }
};

// The leading decimal number of a text after leading blanks (sign and
// fraction allowed), 0 when there is none: "12abc" gives 12, " 4.5" gives 4.5.
double LeadingNumber(const QString &text);

// The row for a number; a fraction, 0, a negative number or a number above 23
// gives the empty row.
ThemeRow ThemeRowFor(double number);

// One look, as a style folder's scheme file describes it.
struct Look {
    QString qtStyle;    // a QStyleFactory key; empty keeps the plain style
    QPalette palette;
    QString styleSheet;
    bool valid = false; // false when the scheme file is missing or unreadable
};

// Reads "<programFolder><row.style>/<row.scheme>" and the style sheet it
// names; the folder given is the one of the delivered files. An empty row
// or a missing file gives an invalid look.
Look LoadLook(const QString &programFolder, const ThemeRow &row);
