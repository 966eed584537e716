#include "results/ProfileReport.h"

#include "common/ProgramFolder.h"
#include "scoring/Mohasebeh.h"

#include <QImageReader>

#include <cmath>
#include <limits>

const std::array<ProfileRowObjects, 8> &ProfileRows()
{
    static const std::array<ProfileRowObjects, 8> rows = {{
        {"Memo22", "Memo37", "Shape3"},
        {"Memo23", "Memo38", "Shape4"},
        {"Memo24", "Memo39", "Shape8"},
        {"Memo30", "Memo40", "Shape10"},
        {"Memo31", "Memo41", "Shape12"},
        {"Memo32", "Memo42", "Shape15"},
        {"Memo33", "Memo43", "Shape16"},
        {"Memo34", "Memo44", "Shape17"},
    }};
    return rows;
}

QString ReportTemplateFileName()
{
    return QStringLiteral("KVR.fr3");
}

QString LogoFileName()
{
    return QStringLiteral("LogoKVR.jpg");
}

QString ProfileSummaryLine(const QString &fullName, const QString &age, const QString &gender,
                           const QString &maritalStatus, const QString &education)
{
    const QString gap = QStringLiteral("    ");
    const QChar blank = QLatin1Char(' ');
    return fullName + gap + QStringLiteral("سن:") + blank + age + gap + QStringLiteral("جنسيت:") + blank
        + gender + gap + QStringLiteral("وضعيت تاهل:") + blank + maritalStatus + gap
        + QStringLiteral("تحصيلات:") + blank + education;
}

qint16 StenFromCaption(const QString &caption)
{
    const double value = std::nearbyint(Mohasebeh::EntryValue(caption));
    if (!std::isfinite(value) || value < std::numeric_limits<qint16>::min()
        || value > std::numeric_limits<qint16>::max())
        return 0;
    return static_cast<qint16>(value);
}

qint16 StenGeometry(qint16 sten)
{
    // Only stens far outside 0..10 could leave the 16-bit range; they are held
    // at its ends instead of wrapping round to a bar of the wrong sign.
    const int g = int(sten) * 38;
    if (g > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (g < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(g);
}

ReportTemplate FillProfileReport(const ProfileInputs &inputs, QImage *logo)
{
    RestoreCurrentFolder();
    ReportTemplate report;
    report.Load(DeliveredFile(ReportTemplateFileName()));
    const QImage image = ReadLogo();
    if (logo)
        *logo = image;
    return FillProfileReport(inputs, report, image);
}

QImage ReadLogo()
{
    QImageReader reader(ProgramFile(LogoFileName()));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

ReportTemplate FillProfileReport(const ProfileInputs &inputs, const ReportTemplate &blank, const QImage &logo)
{
    ReportTemplate report = blank;
    if (inputs.printLogo == 1 && !logo.isNull())
        SetPicture(report.FindPicture(QStringLiteral("Picture2")), logo);

    SetMemoText(report.FindMemo(QStringLiteral("Memo3")), inputs.summaryLine);
    SetMemoText(report.FindMemo(QStringLiteral("Memo5")), inputs.contactBlock);
    SetMemoText(report.FindMemo(QStringLiteral("Memo12")), inputs.clinicAddress);
    SetMemoText(report.FindMemo(QStringLiteral("Memo10")), inputs.clinicName);

    const auto &rows = ProfileRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const qint16 sten = StenFromCaption(inputs.stens[r]);
        SetMemoText(report.FindMemo(QLatin1String(rows[r].raw)), inputs.rawScores[r]);
        SetMemoText(report.FindMemo(QLatin1String(rows[r].sten)), QString::number(sten));
        SetShape(report.FindShape(QLatin1String(rows[r].shape)), StenGeometry(sten));
    }
    return report;
}
