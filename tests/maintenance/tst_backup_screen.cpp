#include "common/ModuleDatum.h"
#include "common/ProgramFolder.h"
#include "common/SafeFile.h"
#include "common/ui/Dialogs.h"
#include "maintenance/Backup.h"
#include "maintenance/ui/Frm_backup.h"
#include "maintenance/ui/MaintenanceTexts.h"
#include "store/DataControl.h"
#include "store/KvrDatabase.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/OtherProgram.h"

#include <QApplication>

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QTimer>

#include <cerrno>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}
bool makeDatabase(const QString &path, const QString &name)
{
    QFile::remove(path);
    const QString sql = QDir(qEnvironmentVariable("KVR_SOURCE_DIR")).filePath(QStringLiteral("data/KVRDB.sql"));
    if (!KvrDatabase::CreateFromSql(sql, path))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        ok = db.open() && q.prepare(QStringLiteral("INSERT INTO IDE (FullName, Code) VALUES (?, '1')"));
        q.addBindValue(name);
        ok = ok && q.exec();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    return ok;
}
// The full name of examinee 1 in a backup file.
QString nameInFile(const QString &path)
{
    QString name;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT FullName FROM IDE WHERE Code='1'")) && q.next())
            name = q.value(0).toString();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("read"));
    return name;
}
Dialogs::Box lastBox()
{
    const auto boxes = Dialogs::Test::Boxes();
    return boxes.isEmpty() ? Dialogs::Box() : boxes.last();
}
} // namespace

class TestBackupScreen : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensWithCaptionsAndClock();
    void emptyPathsAreReported_data();
    void emptyPathsAreReported();
    void defaultNameInBackupFolder();
    void backupMadeAndReplaceQuestion_data();
    void backupMadeAndReplaceQuestion();
    void backupCopyFailureIsReported();
    void restoreFlow_data();
    void restoreFlow();
    void helpPanel();
    void restoreRefusedWhileAnotherWindowIsOpen();
    void backupThatCannotBeWrittenIsSaid();

private:
    QString at(const QString &name) const { return QDir(m_store->Folder()).filePath(name); }
    // What the records hold: examinee 1's name (and on the file the bytes).
    QByteArray live()
    {
        const QByteArray name = m_store->Exec(QStringLiteral("SELECT FullName FROM IDE WHERE Code='1'")).toString().toUtf8();
        m_store->Db().close(); // a restore must find no connection of the test's own on the file
        return name + (m_store->OnServer() ? QByteArray() : readAll(Backup::LiveDatabasePath()));
    }
    // What another program names to hold the records.
    QString liveName() const { return m_store->OnServer() ? m_store->ConnectionString() : Backup::LiveDatabasePath(); }

    std::unique_ptr<StoreFixture> m_store;
    QPointer<Frm_backup> m_screen;
};

void TestBackupScreen::init()
{
    m_store = std::make_unique<StoreFixture>();
    QVERIFY2(m_store->ok(), qPrintable(m_store->error()));
    m_store->Exec(QStringLiteral("INSERT INTO IDE (FullName, Code) VALUES (?, '1')"), {QStringLiteral("live")});
    m_store->Db().close();
    Dialogs::Test::Install();
    m_screen = new Frm_backup;
    m_screen->show();
}

void TestBackupScreen::cleanup()
{
    delete m_screen;
    Dialogs::Test::Uninstall();
    m_store.reset();
}

void TestBackupScreen::opensWithCaptionsAndClock()
{
    QCOMPARE(m_screen->windowTitle(), QStringLiteral("Back up ...  Reastor"));
    QCOMPARE(m_screen->Label1->text(), SolarDateText(QDate::currentDate(), 4));
    QCOMPARE(m_screen->Label3->text(), m_screen->Label1->text());
    QVERIFY(m_screen->Label2->text().contains(QRegularExpression(QStringLiteral("^\\d{1,2}\\.\\d{2}$"))));
    QCOMPARE(m_screen->Timer1->interval(), 1000);
    QVERIFY(m_screen->Timer1->isActive());
    m_screen->Label2->setText(QStringLiteral("x"));
    emit m_screen->Timer1->timeout({});
    QCOMPARE(m_screen->Label2->text(), Backup::ClockText(QTime::currentTime()));
    QVERIFY(m_screen->GroupBox1->isHidden());
}

void TestBackupScreen::emptyPathsAreReported_data()
{
    QTest::addColumn<bool>("restore");
    QTest::addColumn<QString>("text");
    QTest::newRow("backup") << false << MaintenanceText::AskPath();
    QTest::newRow("restore") << true << MaintenanceText::AskRestorePath();
}

void TestBackupScreen::emptyPathsAreReported()
{
    QFETCH(bool, restore);
    QFETCH(QString, text);
    const QByteArray before = live();
    (restore ? m_screen->VisualButtonEx3 : m_screen->VisualButtonEx2)->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QCOMPARE(lastBox().caption, MaintenanceText::Error());
    QCOMPARE(lastBox().text, text);
    QCOMPARE(lastBox().icon, QMessageBox::Warning);
    QVERIFY(lastBox().rightToLeft);
    QVERIFY(live() == before);
}

void TestBackupScreen::defaultNameInBackupFolder()
{
    m_screen->Label3->setText(QStringLiteral("1405.9.18"));
    m_screen->Label2->setText(QStringLiteral("9.05"));
    QVERIFY(!QFileInfo::exists(ProgramFile(QStringLiteral("KVR"))));
    const QString chosen = at(QStringLiteral("mine.KVR"));
    Dialogs::Test::QueueFileName(chosen);
    m_screen->b1->click();
    const auto requests = Dialogs::Test::FileRequests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].kind, Dialogs::FileKind::Save);
    QCOMPARE(requests[0].startFolder,
             QDir(ProgramFile(QStringLiteral("KVR")))
                 .filePath(QString::fromUtf8("KVRدر تاريخ1405.9.18 ساعت)9.05).KVR")));
    QVERIFY(requests[0].filter.contains(QLatin1String("*.KVR")));
    QVERIFY(QFileInfo(ProgramFile(QStringLiteral("KVR"))).isDir()); // made when missing
    QCOMPARE(m_screen->Text1->text(), QDir::toNativeSeparators(chosen));

    // A cancelled dialog leaves the path as it was.
    m_screen->b1->click();
    QCOMPARE(m_screen->Text1->text(), QDir::toNativeSeparators(chosen));
    QCOMPARE(QDir::currentPath(), ProgramFolder());
}

void TestBackupScreen::backupMadeAndReplaceQuestion_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("copied");
    QTest::newRow("new file") << false << int(QMessageBox::NoButton) << true;
    QTest::newRow("replace: yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("replace: no") << true << int(QMessageBox::No) << false;
}

void TestBackupScreen::backupMadeAndReplaceQuestion()
{
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(bool, copied);
    // Typed by hand, relative to the program folder.
    const QString path = at(QStringLiteral("typed.KVR"));
    if (exists)
        QVERIFY(writeFile(path, "older backup"));
    m_screen->Text1->setText(QStringLiteral("typed.KVR"));
    if (answer != QMessageBox::NoButton)
        Dialogs::Test::QueueAnswer(QMessageBox::StandardButton(answer));
    m_screen->VisualButtonEx2->click();

    const auto boxes = Dialogs::Test::Boxes();
    QCOMPARE(boxes.size(), exists ? 2 : 1);
    if (exists) {
        QCOMPARE(boxes[0].text, MaintenanceText::ReplaceQuestion());
        QCOMPARE(boxes[0].caption, QStringLiteral("KVR"));
        QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    if (copied) {
        QCOMPARE(lastBox().text, MaintenanceText::BackupMade());
        QCOMPARE(lastBox().caption, QStringLiteral("KVR"));
        QCOMPARE(lastBox().icon, QMessageBox::NoIcon);
        // The file's backup is its copy; the server's holds the same rows.
        if (m_store->OnServer())
            QCOMPARE(nameInFile(path), QStringLiteral("live"));
        else
            QVERIFY(readAll(path) == readAll(Backup::LiveDatabasePath()));
    } else {
        QCOMPARE(lastBox().text, MaintenanceText::BackupNotMade());
        QCOMPARE(lastBox().icon, QMessageBox::Information);
        QCOMPARE(readAll(path), QByteArray("older backup"));
    }
    QCOMPARE(QDir::currentPath(), ProgramFolder());
}

void TestBackupScreen::backupCopyFailureIsReported()
{
    m_screen->Text1->setText(at(QStringLiteral("no/such/folder/b.KVR")));
    m_screen->VisualButtonEx2->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 1);
    QVERIFY(lastBox().text.startsWith(MaintenanceText::CopyFailed() + QLatin1Char('\n')));
    QVERIFY(lastBox().text.size() > MaintenanceText::CopyFailed().size() + 1); // the system's reason
    QCOMPARE(lastBox().icon, QMessageBox::Critical);
    QCOMPARE(lastBox().caption, QStringLiteral("KVR"));
}

void TestBackupScreen::restoreFlow_data()
{
    QTest::addColumn<QString>("file");   // good / bad
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("name");   // examinee read afterwards
    QTest::newRow("yes") << "good" << int(QMessageBox::Yes) << MaintenanceText::Restored() << "restored";
    QTest::newRow("no") << "good" << int(QMessageBox::No) << MaintenanceText::RestoreNotDone() << "live";
    QTest::newRow("not a database") << "bad" << int(QMessageBox::Yes) << QString() << "live";
}

void TestBackupScreen::restoreFlow()
{
    QFETCH(QString, file);
    QFETCH(int, answer);
    QFETCH(QString, message);
    QFETCH(QString, name);
    const QString path = at(QStringLiteral("chosen.KVR"));
    if (file == QLatin1String("good"))
        QVERIFY(makeDatabase(path, QStringLiteral("restored")));
    else
        QVERIFY(writeFile(path, QByteArray(4096, 'n')));
    DataControl dc; // a control of another open screen
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));

    Dialogs::Test::QueueFileName(path);
    m_screen->b2->click();
    QCOMPARE(Dialogs::Test::FileRequests().value(0).kind, Dialogs::FileKind::Open);
    QCOMPARE(m_screen->Text2->text(), QDir::toNativeSeparators(path));
    Dialogs::Test::QueueAnswer(QMessageBox::StandardButton(answer));
    m_screen->VisualButtonEx3->click();

    const auto boxes = Dialogs::Test::Boxes();
    if (file == QLatin1String("good")) {
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].text, MaintenanceText::RestoreQuestion());
        QCOMPARE(boxes[0].caption, QStringLiteral("KVR"));
        QCOMPARE(boxes[1].text, message);
        QCOMPARE(boxes[1].icon, QMessageBox::NoIcon);
    } else {
        QCOMPARE(boxes.size(), 1); // refused before any question
        QCOMPARE(boxes[0].caption, MaintenanceText::Error());
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    }
    dc.Filter(QStringLiteral("Code='1'"));
    QCOMPARE(dc.Value(QStringLiteral("FullName")), name);
    QCOMPARE(QDir::currentPath(), ProgramFolder());
}

void TestBackupScreen::helpPanel()
{
    m_screen->PBHelp->click();
    QVERIFY(m_screen->GroupBox1->isVisible());
    QVERIFY(!m_screen->Text3->toPlainText().isEmpty());
    m_screen->PBClose->click();
    QVERIFY(m_screen->GroupBox1->isHidden());
    m_screen->PBExit->click();
    QVERIFY(m_screen.isNull() || !m_screen->isVisible());
}

void TestBackupScreen::restoreRefusedWhileAnotherWindowIsOpen()
{
    const QString path = at(QStringLiteral("chosen.KVR"));
    QVERIFY(makeDatabase(path, QStringLiteral("restored")));
    const QByteArray before = live();
    DataControl dc;
    QVERIFY(dc.Open(QStringLiteral("SELECT * FROM IDE ")));
    m_screen->Text2->setText(path);

    OtherProgram window;
    QVERIFY(window.Start(liveName()));
    Dialogs::Test::QueueAnswer(QMessageBox::Yes);
    m_screen->VisualButtonEx3->click();
    QCOMPARE(Dialogs::Test::Boxes().size(), 2);
    QCOMPARE(lastBox().caption, MaintenanceText::Error());
    QCOMPARE(lastBox().text, MaintenanceText::OtherWindowsOpen());
    QCOMPARE(lastBox().icon, QMessageBox::Critical);
    QVERIFY(live() == before);
    dc.Filter(QStringLiteral("Code='1'"));
    QCOMPARE(dc.Value(QStringLiteral("FullName")), QStringLiteral("live"));

    // The other window closed: now it works.
    window.Stop();
    Dialogs::Test::Clear();
    Dialogs::Test::QueueAnswer(QMessageBox::Yes);
    m_screen->VisualButtonEx3->click();
    QCOMPARE(lastBox().text, MaintenanceText::Restored());
    dc.Filter(QStringLiteral("Code='1'"));
    QCOMPARE(dc.Value(QStringLiteral("FullName")), QStringLiteral("restored"));
}

void TestBackupScreen::backupThatCannotBeWrittenIsSaid()
{
    const QString path = at(QStringLiteral("older.KVR"));
    QVERIFY(writeFile(path, "older backup"));
    m_screen->Text1->setText(path);
    Dialogs::Test::QueueAnswer(QMessageBox::Yes); // replace it
    // (SQLite writes a server's backup itself: the disk is full when it is
    // made safe.)
    SafeFile::FailNextForTests(m_store->OnServer() ? SafeFile::Step::Sync : SafeFile::Step::Write, ENOSPC);
    m_screen->VisualButtonEx2->click();
    SafeFile::ClearFaultForTests();
    QCOMPARE(Dialogs::Test::Boxes().size(), 2);
    QCOMPARE(lastBox().icon, QMessageBox::Critical);
    QVERIFY2(lastBox().text.startsWith(MaintenanceText::CopyFailed() + QLatin1Char('\n')
                                       + SafeFile::PersianReasonFor(ENOSPC) + QLatin1Char('\n')),
             qPrintable(lastBox().text));
    QCOMPARE(readAll(path), QByteArray("older backup"));
    QCOMPARE(QDir(m_store->Folder()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden), QStringList());
}

int main(int argc, char *argv[])
{
    if (OtherProgram::IsChild())
        return OtherProgram::RunChild();
    QApplication app(argc, argv);
    TestBackupScreen test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_backup_screen.moc"
