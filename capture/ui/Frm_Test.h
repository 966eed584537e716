#pragma once
// Frm_Test: the on-screen test. The examinee answers the 40 items one at a
// time by choosing one of three options; each answer goes into the
// examinee's Answer1 row, in the column named by the item number, as "0",
// "1" or "2". Opened by the registry, which sets the name and the code.
//
// The item number lives in the hidden field Text6; every change of it runs
// the item procedure, which keeps it within 1..40 (0 is the position Back
// reaches from item 1: item 1 stays on screen). Next and Back commit the
// answer row before they move; closing commits it too.
#include <QWidget>

class DataControl;
class HelpPanel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class Frm_Test : public QWidget
{
    Q_OBJECT
public:
    // Loads the screen: opens QUS and Answer1, disables the main window.
    explicit Frm_Test(QWidget *parent = nullptr);
    ~Frm_Test() override;

    // Set by the registry before the screen is shown: the name label's text
    // and the examinee code.
    void SetExaminee(const QString &nameLabel, const QString &code);

    DataControl *Adodc1() const { return m_adodc1; }
    DataControl *Adodc2() const { return m_adodc2; }
    QLineEdit *Text6() const { return m_text6; }
    QLineEdit *Text12() const { return m_text12; }
    QRadioButton *Option(int i) const { return m_option[i]; } // 0..2: RButton1..3
    QGroupBox *ItemPanel() const { return m_groupBox1; }

    // The buttons. Next and Back return false when the answer could not be
    // written; the screen then stays on the item.
    bool Next();
    bool Back();
    void StartPressed();
    // True when the examinee has an answer row to take the answers.
    bool HasAnswerRow() const { return m_hasAnswerRow; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildUi();
    void buildItem();
    void buildButtons();
    void buildIntro();
    void activate();
    void itemChange();
    void showStoredAnswer();
    void copyOptionCaptions();
    void choose(int option);
    bool commit();
    bool move(int step);

    DataControl *m_adodc1 = nullptr;
    DataControl *m_adodc2 = nullptr;
    QLabel *m_label1 = nullptr;
    QLineEdit *m_fltEditCode = nullptr;
    QLineEdit *m_text6 = nullptr;
    QLineEdit *m_text12 = nullptr;
    QLabel *m_lblQU = nullptr;
    QLabel *m_lblQ[3] = {};
    QRadioButton *m_option[3] = {};
    QGroupBox *m_groupBox1 = nullptr;
    QGroupBox *m_groupBox3 = nullptr;
    HelpPanel *m_groupBox4 = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_help = nullptr;
    QPushButton *m_exit = nullptr;
    bool m_hasAnswerRow = true;
    bool m_rowChecked = false;
};
