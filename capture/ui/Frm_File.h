#pragma once
// Frm_File: the Excel answer import. A list of examinees, newest first; a
// double-click on a line asks for a workbook (a filled-in copy of the answer
// template) and stores its 40 answers in that examinee's answer row. Also a
// help panel and a button that opens the blank template's download address.
// Modeless; the main window stays disabled while the screen is open.
#include "store/DataControl.h"

#include <QList>
#include <QWidget>

class BoundGrid;
class HelpPanel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Frm_File : public QWidget
{
    Q_OBJECT
public:
    explicit Frm_File(QWidget *parent = nullptr);
    ~Frm_File() override;

    // Opens the screen, or brings the open one to the front, and returns it.
    static Frm_File *Show();
    // The open screen, if any.
    static Frm_File *Instance();

    // A double-click on a list line: the import for the current examinee.
    void VSFlexGrid1DblClick();
    // 0 hides the help panel, 1 shows it, 2 closes the screen, 3 opens the
    // template's download address.
    void PushButton1Click(int index);

    DataControl &Adodc1() { return m_adodc1; }
    DataControl &Adodc2() { return m_adodc2; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildHelp();
    void buildWaitPanel();
    void onNameChanged(const QString &name);

    DataControl m_adodc1;
    DataControl m_adodc2;
    BoundGrid *m_grid = nullptr;
    QLineEdit *m_txtName = nullptr;
    QLineEdit *m_text16 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLabel *m_lbelName = nullptr;
    HelpPanel *m_groupBox1 = nullptr;
    QGroupBox *m_groupBox2 = nullptr;
    QList<QPushButton *> m_pushButton1;
};

// The screen's texts that tests and other screens compare against.
namespace FrmFileText {
QString ListSource();       // the examinee list's statement
QString FileFilter();       // the file dialog's filter, in Qt's form
QString ErrorA4Text();      // the five lines of the "Error A4" box
} // namespace FrmFileText
