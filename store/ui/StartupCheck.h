#pragma once
class QWidget;

// Run at start-up before any window opens: when the program folder's
// KVRDB.mdb is missing or damaged, shows one error box naming the file and
// its full path and returns false; the program then ends. Never creates the
// file.
bool DatabaseReadyAtStart(QWidget *parent = nullptr);
