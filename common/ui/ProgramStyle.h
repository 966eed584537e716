#pragma once
// The program's widget style: a Qt style chosen by name, drawn as Qt draws
// it, except that the pictures Qt reads by guessing their format are read
// here with the format given. Guessing loads every image format plugin
// installed (the toolbar's overflow arrow did that while the main window was
// made, before it could be shown).
#include <QString>

class QStyle;

// A new style around Qt's style of that name; null when Qt has no such style.
QStyle *ProgramStyle(const QString &name);

// Whether the style is one ProgramStyle() made.
bool IsProgramStyle(const QStyle *style);

// The name of the Qt style underneath (empty for a style sheet's style).
QString StyleName(const QStyle *style);
