// Profile to PDF: fills the delivered template for one examinee (logo on)
// and writes it as a PDF, the way kvr-cli report does. Prints the median and
// the slowest of the timed runs; the goal is under 500 ms per profile.
//
//   bench_report [runs] [out.pdf]     (QT_QPA_PLATFORM=offscreen)
#include "common/ProgramFolder.h"
#include "results/ProfileReport.h"
#include "results/ReportRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

static void writeSampleLogo(const QString &path)
{
    // A large picture, as a clinic's scanned logo often is.
    QImage logo(1600, 1600, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(27, 58, 92), 60));
    p.setBrush(QColor(106, 155, 211));
    p.drawEllipse(QRectF(150, 150, 1300, 1300));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QRectF(550, 550, 500, 500));
    p.end();
    logo.save(path, "BMP");
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const QString out = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QTemporaryDir folder;
    SetProgramFolder(folder.path());
    QFile::copy(QStringLiteral(KVR_SOURCE_DIR "/data/KVR.fr3"), folder.filePath(QStringLiteral("KVR.fr3")));
    writeSampleLogo(folder.filePath(QStringLiteral("LogoKVR.jpg")));

    ProfileInputs in;
    in.summaryLine = ProfileSummaryLine(QStringLiteral("مريم احمدي"), QStringLiteral("34"),
                                        QStringLiteral("زن"), QStringLiteral("متاهل"),
                                        QStringLiteral("کارشناسي ارشد"));
    const char *raw[] = {"8", "6", "4", "12", "10", "20", "20", "40"};
    const char *sten[] = {"8", "5", "4", "5", "5", "5", "5", "10"};
    for (int r = 0; r < 8; ++r) {
        in.rawScores[r] = QString::fromLatin1(raw[r]);
        in.stens[r] = QString::fromLatin1(sten[r]);
    }
    in.clinicName = QStringLiteral("کلينيک روانشناسي آرامش");
    in.clinicAddress = QStringLiteral("تهران، خيابان وليعصر، بالاتر از ميدان ونک، پلاک ۱۲۳۴، طبقه دوم");
    in.contactBlock = QStringLiteral("info@aramesh-clinic.ir\r\n@aramesh_clinic\r\n"
                                     "www.aramesh-clinic.ir\r\n021-88776655\r\n");
    in.printLogo = 1;

    const QString pdf = out.isEmpty() ? folder.filePath(QStringLiteral("profile.pdf")) : out;
    std::vector<double> ms;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer t;
        t.start();
        const ReportTemplate report = FillProfileReport(in);
        QString error;
        if (!WriteReportPdf(report, pdf, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        if (i > 0) // the first run warms the font caches
            ms.push_back(t.nsecsElapsed() / 1e6);
        else
            std::printf("first run (cold): %.1f ms\n", t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("profile to PDF, %d runs: median %.1f ms, slowest %.1f ms, %lld bytes\n", runs,
                ms[ms.size() / 2], ms.back(), static_cast<long long>(QFile(pdf).size()));
    return 0;
}
