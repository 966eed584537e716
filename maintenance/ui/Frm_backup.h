#pragma once
#include "common/ui/HelpPanel.h"

#include <QPlainTextEdit>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The backup and restore screen: copies the live database to a dated .KVR
// file and a chosen backup file back over it. Modeless; it disables the main
// window while it is open. During a copy the screen keeps repainting and its
// clock keeps running, but input waits until the copy has ended, so no second
// copy and no write from another screen can start meanwhile.
class Frm_backup : public QWidget
{
    Q_OBJECT
public:
    explicit Frm_backup(QWidget *parent = nullptr);
    // Opens the screen modeless (toolbar command 144); it deletes itself
    // when closed.
    static Frm_backup *Open();
    ~Frm_backup() override;

    QLabel *Label1;   // today's date (layout 4)
    QLabel *Label2;   // the clock, h.mm
    QLabel *Label3;   // copy of Label1; the default name takes its date here
    QLineEdit *Text1; // backup destination
    QPushButton *b1;
    QPushButton *VisualButtonEx2; // BACKUP
    QLineEdit *Text2;             // backup file to restore
    QPushButton *b2;
    QPushButton *VisualButtonEx3; // REASTOR
    QPushButton *PBHelp;
    HelpPanel *GroupBox1; // help panel
    QPlainTextEdit *Text3;
    QPushButton *PBClose;
    QPushButton *PBExit;
    QTimer *Timer1; // the clock, 1000 ms

    bool IsCopying() const { return m_copying; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chooseBackupFile();
    void chooseRestoreFile();
    void makeBackup();
    void restore();
    void showHelp();
    bool betweenChunks();

    QString m_lastOpened; // the open dialog keeps the last name it returned
    bool m_copying = false;
};
