#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

class BoundGrid;
class DataControl;
class QCheckBox;
class QLineEdit;
class QPushButton;

// The export worker: a form that is never shown. Loading it opens Adodc1 on
// QueryMe with VSFlexGrid1 bound to it and writes the export's headings into
// the grid's header row. The results screen presses PushBSave in code; the
// user sees the save dialog and then "ذخيره شد", or a box titled "Error"
// that says in Persian why the workbook was not saved, with the system's own
// description on a second line.
//
// Each press reads QueryMe afresh, so examinees added since the form loaded
// are exported too; the grid keeps the rows it was filled with on load. The file type chosen in the save dialog decides the
// format: Excel 97-2003 (.xls, the first type), Excel (.xlsx), SPSS (.sav) or
// CSV; its extension is added unless the chosen name already ends in it.
// With CheckBox1 ticked every row also carries the examinee's raw scores,
// stens and the norms used. The file is written beside its target under a
// temporary name and moved into place when complete.
class Frm_Excel : public QWidget
{
    Q_OBJECT
public:
    explicit Frm_Excel(QWidget *parent = nullptr);

    // The export form of this run, loaded the first time it is touched and
    // kept until the program ends.
    static Frm_Excel *Instance();

    DataControl *Adodc1() const { return adodc1_; }
    BoundGrid *VSFlexGrid1() const { return grid_; }
    QLineEdit *Text1() const { return text1_; }
    // The scores option: the results screen sets it before pressing PushBSave.
    QCheckBox *CheckBox1() const { return checkBox1_; }
    QPushButton *PushBSave() const { return pushBSave_; }
    // The folder the save dialog starts in; empty until an export succeeds,
    // the program folder afterwards.
    QString InitDir() const { return initDir_; }

private:
    void writeHeadings();
    void save();

    DataControl *adodc1_;
    BoundGrid *grid_;
    QLineEdit *text1_;
    QCheckBox *checkBox1_;
    QPushButton *pushBSave_;
    QString initDir_;
};
