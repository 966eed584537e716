#pragma once
#include "results/ReportTemplate.h"

#include <QImage>
#include <QString>
#include <QtGlobal>

#include <array>

// The printed profile: what one run reads, and how it fills the template.
//
// A run reads everything from where the screens hold it: the summary line and
// the sixteen score captions of the results screen, and the clinic details
// and print-logo flag of the settings screen. It runs no query and recomputes
// nothing, so the screens (or kvr-cli, which fills the same struct from the
// database) put the values here.
struct ProfileInputs {
    QString summaryLine;                 // Txtid of the results screen
    std::array<QString, 8> rawScores;    // captions of LblKH(0)..(7)
    std::array<QString, 8> stens;        // captions of LblT(0)..(7)
    QString clinicName;                  // FEItem(0), Theme.Name
    QString clinicAddress;               // FEItem(1), Theme.Adresse
    QString contactBlock;                // Txtmosh, Theme.Mosch
    int printLogo = 0;                   // CheckBox1: 1 when ticked
};

// Names of the objects the run fills, row by row (rows as in the scoring:
// Q3, C, L, O, Q4, Covert, Overt, Total).
struct ProfileRowObjects {
    const char *raw;
    const char *sten;
    const char *shape;
};
const std::array<ProfileRowObjects, 8> &ProfileRows();

// The report's files: the template is delivered with the program
// (DeliveredFile), the logo is the clinic's own (ProgramFile).
QString ReportTemplateFileName(); // "KVR.fr3"
QString LogoFileName();           // "LogoKVR.jpg"

// The examinee's one-line summary as the results screen composes it: name,
// then age, gender, marital status and education, each after its label, the
// parts four blanks apart. Empty fields stay empty; the labels always appear.
QString ProfileSummaryLine(const QString &fullName, const QString &age, const QString &gender,
                           const QString &maritalStatus, const QString &education);

// A sten caption read as the run reads it: the leading number after leading
// blanks (0 when there is none), rounded to the nearest whole number with
// halves to the even neighbour. A number outside the 16-bit range is no sten
// and counts as 0 too.
qint16 StenFromCaption(const QString &caption);
// The bar length of a sten: 38 report units per sten point.
qint16 StenGeometry(qint16 sten);

// One run without showing anything: makes the program folder current, loads
// the delivered KVR.fr3 and the program folder's LogoKVR.jpg and fills the
// named objects. Every step that fails (no template, no logo, an object the
// template lacks) is passed over silently and the rest still happen; without
// a template the result is an empty page. *logo receives the logo as loaded
// (null when none).
ReportTemplate FillProfileReport(const ProfileInputs &inputs, QImage *logo = nullptr);
// The logo file of the program folder, its format taken from its content;
// null when there is none or it cannot be read.
QImage ReadLogo();
// The same filling of a template and logo loaded once, for many profiles in
// a row: a copy of blank is filled and returned.
ReportTemplate FillProfileReport(const ProfileInputs &inputs, const ReportTemplate &blank, const QImage &logo);
