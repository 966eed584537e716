#include "common/ProgramFolder.h"
#include "common/Vendor.h"
#include "common/ui/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init() { Dialogs::Test::Install(); }
    void cleanup() { Dialogs::Test::Uninstall(); }

    void recordsBoxesAndHandsOutQueuedAnswers()
    {
        Dialogs::Test::QueueAnswer(QMessageBox::Yes);
        auto a = Dialogs::Message(nullptr, QStringLiteral("t"), QStringLiteral("q"),
                                  QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(a, QMessageBox::Yes);
        // with nothing queued a Yes/No question is answered No, never Yes
        a = Dialogs::Message(nullptr, QStringLiteral("t"), QStringLiteral("q2"),
                             QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(a, QMessageBox::No);
        const auto boxes = Dialogs::Test::Boxes();
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].icon, QMessageBox::Question);
        QCOMPARE(boxes[0].answer, QMessageBox::Yes);
        QVERIFY(boxes[0].rightToLeft);
        QCOMPARE(boxes[1].text, QStringLiteral("q2"));
    }

    void handlerSeesTheBoxFirst()
    {
        QString seen;
        Dialogs::Test::SetHandler([&](const Dialogs::Box &b) {
            seen = b.text;
            return QMessageBox::Cancel;
        });
        Dialogs::Test::QueueAnswer(QMessageBox::Ok);
        QCOMPARE(Dialogs::Message(nullptr, QString(), QStringLiteral("x"), QMessageBox::Warning,
                                  QMessageBox::Ok | QMessageBox::Cancel),
                 QMessageBox::Cancel);
        QCOMPARE(seen, QStringLiteral("x"));
    }

    void timedMessageIsRecordedWithItsCaption()
    {
        Dialogs::ShowTimedMessage(nullptr, QString::fromUtf8("ذخيره شد"));
        const auto boxes = Dialogs::Test::Boxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, QString::fromUtf8("پيام"));
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(boxes[0].timed);
    }

    void fileDialogsReturnQueuedNames()
    {
        Dialogs::Test::QueueFileName(QStringLiteral("/tmp/a.xls"));
        QCOMPARE(Dialogs::SaveFileName(nullptr, QStringLiteral("c"), QStringLiteral("/tmp"),
                                       QStringLiteral("Excel (*.xls)")),
                 QStringLiteral("/tmp/a.xls"));
        QCOMPARE(Dialogs::OpenFileName(nullptr, QString(), QString(), QString()), QString());
        const auto req = Dialogs::Test::FileRequests();
        QCOMPARE(req.size(), 2);
        QCOMPARE(req[0].kind, Dialogs::FileKind::Save);
        QCOMPARE(req[0].filter, QStringLiteral("Excel (*.xls)"));
        QCOMPARE(req[1].answer, QString());
    }

    // The real box closes itself about a second after it is shown, and only
    // its own box: another box with the same caption stays open.
    void realTimedMessageClosesItselfOnly()
    {
        Dialogs::Test::Uninstall();
        QMessageBox other(QMessageBox::NoIcon, QString::fromUtf8("پيام"), QStringLiteral("other"));
        other.show();
        QElapsedTimer t;
        t.start();
        Dialogs::ShowTimedMessage(nullptr, QStringLiteral("hello"));
        QVERIFY(t.elapsed() >= 900);
        QVERIFY(other.isVisible());
    }

    void programFolderCanBeRedirected()
    {
        QTemporaryDir dir;
        SetProgramFolder(dir.path());
        QCOMPARE(ProgramFolder(), QDir(dir.path()).absolutePath());
        QCOMPARE(ProgramFile(QStringLiteral("KVRDB.mdb")), dir.path() + QStringLiteral("/KVRDB.mdb"));
        QVERIFY(RestoreCurrentFolder());
        QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath());
        SetProgramFolder(QString());
        QCOMPARE(ProgramFolder(), QCoreApplication::applicationDirPath());
    }

    void vendorAddressesFollowTheBase()
    {
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:8080/"));
        QCOMPARE(Vendor::VersionFileUrl(), QStringLiteral("http://127.0.0.1:8080/Soft/kvr/LastVersion.txt"));
        QCOMPARE(Vendor::InstallerUrl(), QStringLiteral("http://127.0.0.1:8080/Soft/kvr/setup-kvr.exe"));
        QCOMPARE(Vendor::TemplateZipUrl(), QStringLiteral("http://127.0.0.1:8080/Soft/kvr/KVR-Excel.zip"));
        Vendor::SetBase(QString());
        // The built-in server is reached over HTTPS only.
        QVERIFY(Vendor::Base().startsWith(QStringLiteral("https://")));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
