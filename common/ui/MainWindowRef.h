#pragma once
class QWidget;

// The main window as the other screens see it: they disable it while they are
// loaded and enable it again when they close. Set once by the main window.
void SetMainWindow(QWidget *window);
QWidget *MainWindow();
// Enables or disables the main window when there is one.
void EnableMainWindow(bool enabled);
