#include "results/ui/Frm_Excel.h"

#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "results/ExcelExport.h"
#include "results/ui/ErgebnisTexts.h"
#include "store/DataControl.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Frm_Excel::Frm_Excel(QWidget *parent)
    : QWidget(parent)
    , adodc1_(new DataControl(this))
    , grid_(new BoundGrid(this))
    , text1_(new QLineEdit(this))
    , checkBox1_(new QCheckBox(QString::fromUtf8("خروجي همراه با نمره ها"), this))
    , pushBSave_(new QPushButton(QString::fromUtf8("ذخيره"), this))
{
    setObjectName(QStringLiteral("Frm_Excel"));
    adodc1_->setObjectName(QStringLiteral("Adodc1"));
    grid_->setObjectName(QStringLiteral("VSFlexGrid1"));
    text1_->setObjectName(QStringLiteral("Text1"));
    checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
    pushBSave_->setObjectName(QStringLiteral("PushBSave"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addWidget(text1_);
    layout->addWidget(checkBox1_);
    layout->addWidget(pushBSave_);

    // Load: the grid shows QueryMe under the export's headings. A database
    // that cannot be read leaves the grid empty; the export reports it.
    grid_->SetDataControl(adodc1_);
    adodc1_->Open(ExcelExport::RecordSource());
    writeHeadings();

    connect(pushBSave_, &QPushButton::clicked, this, &Frm_Excel::save);
}

Frm_Excel *Frm_Excel::Instance()
{
    static QPointer<Frm_Excel> form;
    if (!form) {
        form = new Frm_Excel;
        if (auto *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { delete form.data(); });
    }
    return form;
}

void Frm_Excel::writeHeadings()
{
    const QStringList headings = ExcelExport::Headings();
    for (int i = 0; i < headings.size(); ++i)
        grid_->SetTextMatrix(0, i + 1, headings[i]);
}

void Frm_Excel::save()
{
    QString fileType;
    const QString chosen =
        Dialogs::SaveFileName(this, QString(), initDir_, ExcelExport::DialogFilter(), true, &fileType);
    if (chosen.isEmpty())
        return; // cancelled: nothing happens
    text1_->setText(chosen);
    ExcelExport::Options options;
    options.format = ExcelExport::FormatOfFilter(fileType);
    options.scores = checkBox1_->isChecked();

    // The file is written from QueryMe read afresh, row by row; the hidden
    // grid keeps what it showed when the form loaded (reading the whole query
    // into it again would only cost the time and memory of a second copy).
    const ExcelExport::Outcome outcome =
        ExcelExport::Write(ExcelExport::TargetPath(text1_->text(), options.format), options);
    if (!outcome.ok) {
        Dialogs::Message(this, QStringLiteral("Error"),
                         ErgebnisText::FailureText(ErgebnisText::ExcelNotSaved(), outcome.reason, outcome.error),
                         QMessageBox::NoIcon, QMessageBox::Ok, true);
        return;
    }
    Dialogs::Message(this, QStringLiteral("KVR"), QString::fromUtf8("ذخيره شد"), QMessageBox::NoIcon,
                     QMessageBox::Ok, false);
    initDir_ = ProgramFolder();
    RestoreCurrentFolder();
}
