#pragma once
#include "common/ui/HelpPanel.h"
#include "results/ProfileReport.h"

#include <QDialog>

#include <array>
#include <functional>

class BoundGrid;
class DataControl;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Frm_Ergebnis: the result of the questionnaire for an examinee chosen from
// the list. A double-click on a line scores that examinee from the stored
// answers: the eight raw scores, and the eight stens when the gender is one
// of the two the norms know. From here the profile button prints the
// profile and the Excel button exports every examinee. Nothing on this
// screen writes to the database.
//
// The main window opens it modally; closing it, by any way, enables the main
// window again.
class Frm_Ergebnis : public QDialog
{
    Q_OBJECT
public:
    // Opening: Adodc1 reads every examinee, newest first, the list shows
    // their ids and names, all sixteen result captions read "0" and the
    // profile button is disabled.
    explicit Frm_Ergebnis(QWidget *parent = nullptr);
    ~Frm_Ergebnis() override;

    // Where a profile takes the clinic details from. The main window hands
    // in a reader of the settings screen's fields; without one they are read
    // from the settings row of the database.
    using SettingsReader = std::function<void(ProfileInputs &)>;
    void SetSettingsReader(SettingsReader reader) { m_settings = std::move(reader); }

    // What the menu does: the screen, modal over parent; returns when it has
    // been closed.
    static void ShowModal(QWidget *parent, SettingsReader settings = SettingsReader());

    DataControl *Adodc1() const { return m_adodc1; }
    BoundGrid *VSFlexGrid1() const { return m_grid; }
    // Hidden fields bound to the current examinee.
    QLineEdit *FlatEdit1() const { return m_flatEdit1; }     // Code
    QLineEdit *FlatEdit2() const { return m_flatEdit2; }     // FullName
    QLineEdit *FlatEdit3() const { return m_flatEdit3; }     // Alter
    QLineEdit *FEGeschlecht() const { return m_feGeschlecht; }
    QLineEdit *FlatEdit5() const { return m_flatEdit5; }     // Heirat
    QLineEdit *FlatEdit4() const { return m_flatEdit4; }     // Bildung
    QLineEdit *Txtid() const { return m_txtid; }             // the summary line
    // Result captions of row 0-7 (Q3, C, L, O, Q4, covert, overt, total).
    QLabel *LblKH(int row) const;
    QLabel *LblT(int row) const;
    QPushButton *PushBNem1() const { return m_pushBNem1; }   // profile
    QPushButton *PushButton7() const { return m_pushButton7; } // Excel
    QCheckBox *CheckBox1() const { return m_checkBox1; }     // export with scores
    QPushButton *PushButton1() const { return m_pushButton1; } // help
    QPushButton *PushButton2() const { return m_pushButton2; } // help panel: close
    QPushButton *PushB1() const { return m_pushB1; }         // exit
    HelpPanel *GroupBox3() const { return m_groupBox3; }
    QPlainTextEdit *TxtHelp() const { return m_txtHelp; }

    // The double-click: scores the list's current examinee.
    void ScoreCurrentExaminee();
    // The profile button: the report of the scores on screen.
    void ShowProfile();
    // The Excel button: the export of every examinee.
    void ExportToExcel();

    // What a profile run gets from this screen: Txtid, the sixteen captions
    // and the clinic details.
    ProfileInputs CurrentProfileInputs() const;

    static QString HelpText();

    void done(int result) override;

private:
    void buildUi();
    void setUpList();
    void resetCaptions();

    DataControl *m_adodc1 = nullptr;
    BoundGrid *m_grid = nullptr;
    QLineEdit *m_flatEdit1 = nullptr;
    QLineEdit *m_flatEdit2 = nullptr;
    QLineEdit *m_flatEdit3 = nullptr;
    QLineEdit *m_feGeschlecht = nullptr;
    QLineEdit *m_flatEdit5 = nullptr;
    QLineEdit *m_flatEdit4 = nullptr;
    QLineEdit *m_txtid = nullptr;
    std::array<QLabel *, 8> m_lblKH{};
    std::array<QLabel *, 8> m_lblT{};
    QPushButton *m_pushBNem1 = nullptr;
    QPushButton *m_pushButton7 = nullptr;
    QCheckBox *m_checkBox1 = nullptr;
    QPushButton *m_pushButton1 = nullptr;
    QPushButton *m_pushButton2 = nullptr;
    QPushButton *m_pushB1 = nullptr;
    HelpPanel *m_groupBox3 = nullptr;
    QPlainTextEdit *m_txtHelp = nullptr;
    SettingsReader m_settings;
};
