#pragma once
#include "results/ProfileReport.h"

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// The report worker: a form that is never shown. The results screen creates
// it, writes the summary line into Txtid and the scores and settings into
// Inputs(), and presses Command1 in code. The run fills the template, shows
// it in a print preview window (print, save as PDF) and returns when the user
// closes that window; the form then unloads itself, so every run starts
// afresh. No step of the run shows a message, unless the program's printing
// part (kvr-print.so) cannot be loaded: a "خطا" box then says so and offers
// to save the profile as a PDF instead.
class fast_Form2 : public QWidget {
    Q_OBJECT
public:
    explicit fast_Form2(QWidget *parent = nullptr);

    QLineEdit *Txtid() const { return txtid_; }
    QPushButton *Command1() const { return command1_; }
    // Holds the logo as the run loaded it.
    QLabel *Picture2() const { return picture2_; }

    // Scores and settings of the run; summaryLine is taken from Txtid.
    ProfileInputs &Inputs() { return inputs_; }

    // The whole run for a caller that has its inputs ready (the results
    // screen): a fresh form, Txtid set, Command1 pressed. Returns when the
    // preview has been closed.
    static void RunReport(const ProfileInputs &inputs, QWidget *parent = nullptr);

    // Replaces the preview window, for tests: the hook receives the filled
    // report instead of a window being shown. An empty function restores the
    // window.
    using PreviewHook = std::function<void(const ReportTemplate &)>;
    static void SetPreviewHook(PreviewHook hook);

private:
    void run();
    static void showPreview(const ReportTemplate &report, QWidget *parent);
    // Asks for a file name and writes the report there as a PDF; a failure
    // is shown in a box over parent.
    static void savePdf(const ReportTemplate &report, QWidget *parent);

    QLineEdit *txtid_;
    QPushButton *command1_;
    QLabel *picture2_;
    ProfileInputs inputs_;
};
