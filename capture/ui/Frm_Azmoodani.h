#pragma once
// Frm_Azmoodani: the examinee registry. Examinees are registered, edited,
// listed and deleted here, and a double-click on one starts the on-screen
// test for them. The only place where IDE and Answer1 rows are made or
// removed and where codes are handed out.
//
// Modes (which of PushButton6(0..4) are enabled; Exit always is):
//   browse   New, Edit, Delete   fields locked (the date field never is)
//   waiting  none                after New, until Timer1 fires (3000 ms)
//   new      Save, Cancel        Timer1 gave the code and today's date
//   edit     New, Edit, Save, Cancel
//   deleting none                after Delete, until Timer2 fires (3000 ms)
#include <QPointer>
#include <QWidget>

class BoundGrid;
class DataControl;
class Frm_Test;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class Frm_Azmoodani : public QWidget
{
    Q_OBJECT
public:
    // Loads the screen: opens its four data controls, locks the fields,
    // disables the main window and shows the newest examinee.
    explicit Frm_Azmoodani(QWidget *parent = nullptr);
    ~Frm_Azmoodani() override;

    // What the menu does: shows the loaded screen again, or loads it.
    static Frm_Azmoodani *Open();
    // The loaded screen, if any.
    static Frm_Azmoodani *Instance();

    DataControl *Adodc(int n) const; // 1..4
    QLineEdit *TxtAnmeldung(int i) const; // 0..6
    QPushButton *PushButton6(int i) const; // 0..5
    BoundGrid *VSFlexGrid1() const { return m_grid; }
    QTimer *Timer1() const { return m_timer1; }
    QTimer *Timer2() const { return m_timer2; }
    // The test screen the last double-click opened.
    Frm_Test *TestScreen() const { return m_test; }

    // The buttons.
    void New();
    void Edit();
    // True when the examinee was saved.
    bool Save();
    void Cancel();
    void Delete();
    void Exit();

    // Opens the test for the list's current examinee and hides this screen.
    void StartTest();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUi();
    void buildFields();
    void buildChoices();
    QGridLayout *buildDetails();
    QHBoxLayout *buildButtons();
    void buildList();
    void buildTimers();
    void lockFields(bool locked);
    void setListHeadings();
    void enableButtons(std::initializer_list<int> buttons, bool enabled);
    void onTimer1();
    void onTimer2();
    void onListClicked();
    void showListCode();
    void showSaved(const QString &code);
    void reportFailure(const QString &lead, const QString &reason);

    DataControl *m_adodc[4] = {};
    QLineEdit *m_txt[7] = {};
    QLabel *m_lbl[9] = {};
    QComboBox *m_combo1 = nullptr;
    QComboBox *m_combo2 = nullptr;
    QLineEdit *m_feGeschlecht = nullptr;
    QLineEdit *m_feHeirat = nullptr;
    BoundGrid *m_grid = nullptr;
    QPushButton *m_button[6] = {};
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
    QWidget *m_picture1 = nullptr;
    QPointer<Frm_Test> m_test;
};
