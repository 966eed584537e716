#pragma once
// Frm_Pasoch: keying in a paper answer sheet. The operator double-clicks an
// examinee, and after 2000 ms the 40 answer slots show that examinee's
// stored answers; digits 0, 1, 2 are typed slot after slot and saved with
// the save button or, unasked, on every tenth key pressed in the slots.
// The answers go into the examinee's existing Answer1 row; this screen never
// makes one.
#include <QWidget>

#include "capture/AnswerEntry.h"

class BoundGrid;
class DataControl;
class HelpPanel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class Frm_Pasoch : public QWidget
{
    Q_OBJECT
public:
    // Opens the screen: the examinee list and the answer rows, the main
    // window disabled, the answer panel hidden.
    explicit Frm_Pasoch(QWidget *parent = nullptr);
    ~Frm_Pasoch() override;

    // What the menu does.
    static Frm_Pasoch *Open();

    DataControl *Adodc1() const { return m_adodc1; }
    DataControl *Adodc2() const { return m_adodc2; }
    BoundGrid *VSFlexGrid1() const { return m_grid; }
    QLineEdit *FlatEdit1(int k) const { return k >= 0 && k < 40 ? m_slot[k] : nullptr; }
    QLabel *Label1(int k) const { return k >= 0 && k < 40 ? m_label[k] : nullptr; }
    QTimer *Timer1() const { return m_timer1; }
    // The examinee whose answers the slots show (empty before the first).
    QString ShownCode() const { return m_shownCode; }

    // Choosing the list's current examinee (the double-click): writes the
    // answers on screen, hides the panel and starts the 2000 ms timer.
    void ChooseExaminee();
    // Writes the answers on screen and reads them back. False when the write
    // failed (reported in a box; the typed answers stay on screen).
    bool Saveee();
    // The save button: Saveee, then "ذخيره شد" when it succeeded.
    void SaveButton();

    static QString HelpText();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUi();
    void setUpList();
    void onTimer1();
    void onSlotEdited(int k);
    void onSlotKey();
    bool writePending();
    void reportWriteFailure();

    DataControl *m_adodc1 = nullptr;
    DataControl *m_adodc2 = nullptr;
    BoundGrid *m_grid = nullptr;
    QLineEdit *m_text4 = nullptr;
    QLineEdit *m_flatEdit4 = nullptr;
    QGroupBox *m_groupBox1 = nullptr;
    HelpPanel *m_groupBox4 = nullptr;
    QLineEdit *m_slot[40] = {};
    QLabel *m_label[40] = {};
    QPushButton *m_save = nullptr;
    QPushButton *m_exit = nullptr;
    QPushButton *m_help = nullptr;
    QTimer *m_timer1 = nullptr;
    AnswerEntry::KeyCounter m_keys;
    QString m_shownCode;
};
