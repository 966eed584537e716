// Capture screens with many examinees, all 40 answers stored for each.
#include "capture/CaptureTexts.h"
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_Pasoch.h"
#include "capture/ui/Frm_Test.h"
#include "common/ProgramFolder.h"
#include "common/ui/Dialogs.h"
#include "store/KvrDatabase.h"
#include "store/ui/BoundGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <cstdio>

namespace {

bool fill(const QString &path, int examinees)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht) VALUES (?,?,?,?)"));
        QStringList cols, marks;
        for (int n = 1; n <= 40; ++n) {
            cols << QStringLiteral("\"%1\"").arg(n);
            marks << QStringLiteral("?");
        }
        QSqlQuery a(db);
        a.prepare(QStringLiteral("INSERT INTO Answer1 (Code,%1) VALUES (?,%2)").arg(cols.join(','), marks.join(',')));
        for (int code = 1; ok && code <= examinees; ++code) {
            q.addBindValue(QString::number(code));
            q.addBindValue(QStringLiteral("examinee %1").arg(code));
            q.addBindValue(QStringLiteral("30"));
            q.addBindValue(CaptureText::Female());
            ok = q.exec();
            a.addBindValue(code);
            for (int n = 1; n <= 40; ++n)
                a.addBindValue(QString::number((code + n) % 3));
            ok = ok && a.exec();
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

double ms(QElapsedTimer &t)
{
    const double v = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    return v;
}

void fire(QTimer *t) { QMetaObject::invokeMethod(t, "timeout"); }

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int examinees = argc > 1 ? atoi(argv[1]) : 20000;
    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    const QString db = QDir(dir.path()).filePath(QStringLiteral("KVRDB.mdb"));
    QString error;
    if (!KvrDatabase::CreateFromSql(QStringLiteral(KVR_SOURCE_DIR "/data/KVRDB.sql"), db, &error)
        || !fill(db, examinees)) {
        std::fprintf(stderr, "cannot make the database: %s\n", qPrintable(error));
        return 1;
    }
    Dialogs::Test::Install(); // boxes are answered at once
    std::printf("%d examinees, 40 answers each\n", examinees);
    QElapsedTimer t;

    t.start();
    auto *reg = new Frm_Azmoodani();
    reg->show();
    std::printf("registry: open                      %8.1f ms\n", ms(t));
    reg->New();
    fire(reg->Timer1());
    std::printf("registry: next code (Timer1)        %8.1f ms\n", ms(t));
    reg->TxtAnmeldung(0)->setText(QStringLiteral("bench"));
    reg->TxtAnmeldung(1)->setText(QStringLiteral("40"));
    reg->findChild<QLineEdit *>(QStringLiteral("FEditGeschlecht"))->setText(CaptureText::Male());
    t.restart();
    const bool saved = reg->Save();
    std::printf("registry: save and refresh          %8.1f ms%s\n", ms(t), saved ? "" : " (FAILED)");
    reg->VSFlexGrid1()->SelectRow(examinees / 2);
    std::printf("registry: select a line             %8.1f ms\n", ms(t));

    auto *sheet = new Frm_Pasoch();
    sheet->show();
    std::printf("answer sheet: open                  %8.1f ms\n", ms(t));
    sheet->VSFlexGrid1()->SelectRow(examinees / 2);
    sheet->ChooseExaminee();
    fire(sheet->Timer1());
    std::printf("answer sheet: show an examinee      %8.1f ms\n", ms(t));
    sheet->FlatEdit1(3)->setText(QStringLiteral("2"));
    t.restart();
    sheet->Saveee();
    std::printf("answer sheet: Saveee                %8.1f ms\n", ms(t));
    sheet->close();

    auto *test = new Frm_Test();
    test->SetExaminee(QStringLiteral("bench"), QString::number(examinees / 2));
    test->show();
    std::printf("test: open on item 1                %8.1f ms\n", ms(t));
    for (int i = 0; i < 40; ++i) {
        test->Option(i % 3)->click();
        test->Next();
    }
    std::printf("test: 40 items, choose + Next, each %8.1f ms\n", ms(t) / 40);
    test->close();
    delete reg;
    app.processEvents();
    return 0;
}
