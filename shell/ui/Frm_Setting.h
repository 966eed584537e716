#pragma once
#include <QList>
#include <QWidget>

class DataControl;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
namespace DatabaseLocation {
struct Choice;
}

// The settings screen: the clinic details, the print-logo flag, the theme
// number, the question texts, and (kept for this computer, outside the
// database) where the records live. Its fields are bound to the settings row and
// the rest of the program reads the settings from them, so the screen is
// loaded hidden at start-up and stays loaded until the user closes it; the
// next read loads it again, hidden. Closing it enables the main window.
class Frm_Setting : public QWidget
{
    Q_OBJECT
public:
    // The loaded screen, loading it hidden when it is not.
    static Frm_Setting *Instance();
    // True when the screen is loaded (hidden or shown).
    static bool IsLoaded();

    ~Frm_Setting() override;

    // The values other screens read, as the fields hold them.
    QString ThemeNumberText() const; // TxtRang
    QString ClinicName() const;      // FEItem(0)
    QString ClinicAddress() const;   // FEItem(1)
    QString ContactBlock() const;    // Txtmosh
    bool PrintLogo() const;          // CheckBox1

    // Rebuilds Txtmosh from the contact fields FEItem(3)..FEItem(9).
    void ComposeContactBlock();
    // Commits the settings row with all bound fields. A failure is shown
    // ("خطا", the Persian reason) and false returned.
    bool SaveThemeRow();

    // The buttons' actions.
    void SelectTheme(int step);     // PBSelect(0): +1, PBSelect(1): -1
    void SaveClinicDetails();       // PBMosh(0)
    void ChooseLogo();              // PBMosh(2)
    void StepQuestion(int step);    // PushButton5: +1, PushButton4: -1
    void SaveQuestion();            // PushButton7
    // Where the records live (this computer's choice, from the next start).
    void SaveLocation();            // PBServerSave
    void TestLocation();            // PBServerTest: connects to the server given

    DataControl *Adodc1() const { return m_adodc1; }
    DataControl *Adodc2() const { return m_adodc2; }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit Frm_Setting(QWidget *parent = nullptr);
    QWidget *buildThemeTab();
    QWidget *buildClinicTab();
    QWidget *buildQuestionTab();
    QWidget *buildLocationTab();
    void showSavedLocation();
    void showLocationFields();
    bool locationFromFields(DatabaseLocation::Choice *choice);
    void onThemeNumberChanged(const QString &text);
    void onQuestionNumberChanged(const QString &text);
    void showLogoCaption();
    void reportSaveFailure(const DataControl &control);
    void logoClicked();
    void loadPreview();
    void showLogoFromRow();

    DataControl *m_adodc1 = nullptr;
    DataControl *m_adodc2 = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLineEdit *m_txtRang = nullptr;
    QLineEdit *m_qNummer = nullptr;
    QList<QLineEdit *> m_feItem; // index 2 stays empty
    QLineEdit *m_txtmosh = nullptr;
    QCheckBox *m_checkBox1 = nullptr;
    QLabel *m_image1 = nullptr;
    QPlainTextEdit *m_question = nullptr;
    QList<QLineEdit *> m_options; // Text2(1)..Text2(3)
    QRadioButton *m_optFile = nullptr;
    QRadioButton *m_optServer = nullptr;
    QLineEdit *m_serverHost = nullptr;
    QLineEdit *m_serverPort = nullptr;
    QLineEdit *m_serverDatabase = nullptr;
    QLineEdit *m_serverUser = nullptr;
    QCheckBox *m_serverTls = nullptr;
    QCheckBox *m_keepPassword = nullptr;
    bool m_loading = false;
};
