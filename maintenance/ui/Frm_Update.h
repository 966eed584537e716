#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// The update check screen: reads the published version number and, when it
// is newer, closes itself and opens the download screen. Shown modally.
class Frm_Update : public QDialog
{
    Q_OBJECT
public:
    explicit Frm_Update(QWidget *parent = nullptr);
    // Shows the screen modally (toolbar command 143) and returns when it
    // has closed.
    static void Open(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QPushButton *PBCheck;
    QPushButton *PBExit;

    // "KVR 4.1"
    static QString TitleText();

private:
    void check();
};
