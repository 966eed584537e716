// The export as the results screen runs it: the hidden export form loads
// (its grid bound to QueryMe, as the form always has) and its save button
// writes the chosen format. Prints the time of the save and the peak memory of
// the process, so the form's own share shows beside the writer's.
//
//   bench_export_screen DB OUT [--scores]     (QT_QPA_PLATFORM=offscreen)
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "results/ExcelExport.h"
#include "results/ui/Frm_Excel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {
double PeakMb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_export_screen DB OUT [--scores]\n");
        return 2;
    }
    QTemporaryDir folder;
    if (!QFile::copy(args[0], QDir(folder.path()).filePath(QStringLiteral("KVRDB.mdb"))))
        return 1;
    SetProgramFolder(folder.path());
    Dialogs::Test::Install();
    ExcelExport::Format format = ExcelExport::Format::Xls;
    ExcelExport::FormatOfName(args[1], &format);
    const QStringList types = ExcelExport::DialogFilter().split(QStringLiteral(";;"));
    QString type;
    for (const QString &t : types)
        if (ExcelExport::FormatOfFilter(t) == format)
            type = t;

    const double start = PeakMb();
    Frm_Excel form;
    const double loaded = PeakMb();
    form.CheckBox1()->setChecked(args.value(2) == QLatin1String("--scores"));
    Dialogs::Test::QueueFileName(QFileInfo(args[1]).absoluteFilePath(), type);
    QElapsedTimer t;
    t.start();
    form.PushBSave()->click();
    const qint64 ms = t.elapsed();
    const auto boxes = Dialogs::Test::Boxes();
    std::printf("save %lld ms; peak %.1f MB (%.1f MB at start, %.1f MB once the form had loaded); %s\n",
                static_cast<long long>(ms), PeakMb(), start, loaded,
                boxes.isEmpty() ? "no message" : qPrintable(boxes.last().text));
    return 0;
}
