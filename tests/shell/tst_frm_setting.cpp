#include "common/ui/Dialogs.h"
#include "common/ui/MainWindowRef.h"
#include "common/SafeFile.h"
#include "common/Vendor.h"
#include "shell/ui/Frm_Setting.h"
#include "shell/ui/MDIForm1.h"
#include "shell/ui/Resource.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/ui/Keyring.h"
#include "store/ui/ServerTexts.h"
#include "tests/store/StoreFixture.h"

#include "ShellFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTextCursor>

#include <cerrno>

// Types a text key by key, as a keyboard of any layout would.
static void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

class TestFrmSetting : public QObject
{
    Q_OBJECT
    StoreFixture *m_store = nullptr;
    QTemporaryDir m_config;
    QPointer<MDIForm1> m_main;
    Frm_Setting *s = nullptr;

    template <typename T = QLineEdit>
    T *field(const QString &name) const
    {
        T *w = s->findChild<T *>(name);
        if (!w)
            qWarning("no field %s", qPrintable(name));
        return w;
    }
    void click(const QString &name) { field<QPushButton>(name)->click(); }
    QList<Dialogs::Box> boxes() const { return Dialogs::Test::Boxes(); }

private slots:
    void initTestCase()
    {
        m_store = new StoreFixture;
        QVERIFY2(m_store->ok(), qPrintable(m_store->error()));
        QVERIFY(CopyTree(SourceDir() + QStringLiteral("/data/Styles"), m_store->Folder() + QStringLiteral("/Styles")));
        // This computer's choice of where the records live, in a settings
        // file of the test's own.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:9"));
        MDIForm1::SetStartupCheck({});
    }
    void cleanupTestCase()
    {
        delete m_main.data();
        if (Frm_Setting::IsLoaded())
            delete Frm_Setting::Instance();
        delete m_store;
    }
    void init()
    {
        Dialogs::Test::Install();
        Dialogs::Test::Clear();
        if (!m_main)
            m_main = MDIForm1::Load();
        s = Frm_Setting::Instance();
        m_main->ExecuteCommand(142);
        QVERIFY(s->isVisible());
    }
    void cleanup() { Dialogs::Test::Uninstall(); }

    void loadsBoundToTheSettingsRow()
    {
        QCOMPARE(s->windowTitle(), QString::fromUtf8("تنظيمات"));
        auto *tabs = field<QTabWidget>(QStringLiteral("TabControl1"));
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->tabText(0), QString::fromUtf8("تغيير تم"));
        QCOMPARE(tabs->tabText(1), QString::fromUtf8("مشخصات كلينيك"));
        QCOMPARE(tabs->tabText(2), QString::fromUtf8("ويرايش سوالات"));
        QCOMPARE(tabs->tabText(3), ServerText::TabCaption());
        QCOMPARE(field(QStringLiteral("FEItem(0)"))->text(), StoredSetting(QStringLiteral("Name")));
        QCOMPARE(field(QStringLiteral("FEItem(1)"))->text(), StoredSetting(QStringLiteral("Adresse")));
        QVERIFY(!field(QStringLiteral("FEItem(0)"))->text().isEmpty());
        QVERIFY(!s->findChild<QLineEdit *>(QStringLiteral("FEItem(2)")));
        QCOMPARE(field(QStringLiteral("QNummer"))->text(), QStringLiteral("1"));
        QCOMPARE(field<QPlainTextEdit>(QStringLiteral("Text2(0)"))->toPlainText(), StoredQuestion(1, QStringLiteral("QU")));
    }

    // Each change of the theme number is corrected, applied and stored.
    void themeNumber_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("action"); // "type:<keys>", "clear", "next", "previous"
        QTest::addColumn<QString>("expected");
        QTest::newRow("typing 30 leaves 23") << "1" << "type:30" << "23";
        QTest::newRow("clearing leaves 1") << "12" << "clear" << "1";
        QTest::newRow("previous on 1 stays 1") << "1" << "previous" << "1";
        QTest::newRow("next on 23 stays 23") << "23" << "next" << "23";
        QTest::newRow("next on 5 gives 6") << "5" << "next" << "6";
        QTest::newRow("previous on 14 gives 13") << "14" << "previous" << "13";
        QTest::newRow("persian digits are digits") << "1" << QString::fromUtf8("type:۱۷") << "17";
    }
    void themeNumber()
    {
        QFETCH(QString, start);
        QFETCH(QString, action);
        QFETCH(QString, expected);
        auto *rang = field(QStringLiteral("TxtRang"));
        rang->setText(start);
        QCOMPARE(rang->text(), start);
        if (action.startsWith(QLatin1String("type:"))) {
            rang->selectAll();
            QTest::keyClick(rang, Qt::Key_Backspace);
            rang->selectAll();
            typeText(rang, action.mid(5));
        } else if (action == QLatin1String("clear")) {
            rang->clear();
        } else {
            click(action == QLatin1String("next") ? QStringLiteral("PBSelect(0)") : QStringLiteral("PBSelect(1)"));
        }
        QCOMPARE(rang->text(), expected);
        QCOMPARE(StoredSetting(QStringLiteral("TH")), expected);
        const ThemeRow row = ThemeRowFor(expected.toInt());
        QCOMPARE(CurrentSkin().style, row.style);
        QCOMPARE(CurrentSkin().scheme, row.scheme);
        QVERIFY(boxes().isEmpty());
        // The main window's panel takes the settings screen's background.
        QCoreApplication::processEvents();
        auto *resizer = m_main->findChild<QWidget *>(QStringLiteral("Resizer1"));
        QVERIFY(resizer->styleSheet().contains(s->palette().color(QPalette::Window).name()));
    }

    void looksDiffer()
    {
        auto *rang = field(QStringLiteral("TxtRang"));
        rang->setText(QStringLiteral("5"));
        const QColor dark = s->palette().color(QPalette::Window);
        rang->setText(QStringLiteral("7"));
        const QColor light = s->palette().color(QPalette::Window);
        QVERIFY(dark != light);
        QCOMPARE(QApplication::palette().color(QPalette::Window), light);
        QVERIFY(!qApp->styleSheet().isEmpty());
    }

    void numberFieldsRefuseOtherKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("theme number") << "TxtRang";
        QTest::newRow("question number") << "QNummer";
    }
    void numberFieldsRefuseOtherKeys()
    {
        QFETCH(QString, name);
        auto *f = field(name);
        f->setText(QStringLiteral("4"));
        f->end(false);
        QTest::keyClick(f, Qt::Key_A);
        typeText(f, QString::fromUtf8("ب"));
        QCOMPARE(f->text(), QStringLiteral("4"));
        QCOMPARE(boxes().size(), 2);
        for (const Dialogs::Box &b : boxes()) {
            QCOMPARE(b.caption, QString::fromUtf8("پيام"));
            QCOMPARE(b.text, QString::fromUtf8("شما بايد عدد وارد كنيد"));
            QVERIFY(b.timed);
        }
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(f->text(), QStringLiteral("1")); // emptied, then corrected
        QTest::keyClick(f, Qt::Key_2);
        QCOMPARE(f->text(), QStringLiteral("12"));
        QCOMPARE(boxes().size(), 2);
    }

    void questionEditor()
    {
        auto *number = field(QStringLiteral("QNummer"));
        auto *text = field<QPlainTextEdit>(QStringLiteral("Text2(0)"));
        number->setText(QStringLiteral("5"));
        QCOMPARE(text->toPlainText(), StoredQuestion(5, QStringLiteral("QU")));
        QCOMPARE(field(QStringLiteral("Text2(1)"))->text(), StoredQuestion(5, QStringLiteral("A")));

        number->setText(QStringLiteral("40"));
        click(QStringLiteral("PushButton5"));
        QCOMPARE(number->text(), QStringLiteral("40"));
        QCOMPARE(text->toPlainText(), StoredQuestion(40, QStringLiteral("QU")));
        number->setText(QStringLiteral("1"));
        click(QStringLiteral("PushButton4"));
        QCOMPARE(number->text(), QStringLiteral("1"));
        click(QStringLiteral("PushButton5"));
        QCOMPARE(number->text(), QStringLiteral("2"));

        // A pasted text that is not a number still lands on a question.
        number->setText(QStringLiteral("7x"));
        QCOMPARE(number->text(), QStringLiteral("7"));
        QCOMPARE(text->toPlainText(), StoredQuestion(7, QStringLiteral("QU")));

        text->setPlainText(QStringLiteral("new item text"));
        field(QStringLiteral("Text2(3)"))->setText(QStringLiteral("option c"));
        click(QStringLiteral("PushButton7"));
        QCOMPARE(StoredQuestion(7, QStringLiteral("QU")), QStringLiteral("new item text"));
        QCOMPARE(StoredQuestion(7, QStringLiteral("C")), QStringLiteral("option c"));
        QCOMPARE(StoredQuestion(6, QStringLiteral("C")) == QStringLiteral("option c"), false);
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes().first().text, QString::fromUtf8("ذخيره شد"));
        QCOMPARE(boxes().first().caption, QString::fromUtf8("پيام"));
    }

    // Right to left: previous on the right, next on the left, on both tabs.
    void previousStandsRightOfNext_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("next");
        QTest::newRow("theme") << 0 << "PBSelect(1)" << "PBSelect(0)";
        QTest::newRow("questions") << 2 << "PushButton4" << "PushButton5";
    }
    void previousStandsRightOfNext()
    {
        QFETCH(int, tab);
        QFETCH(QString, previous);
        QFETCH(QString, next);
        field<QTabWidget>(QStringLiteral("TabControl1"))->setCurrentIndex(tab);
        QVERIFY(QTest::qWaitForWindowExposed(s));
        const int previousX = field<QPushButton>(previous)->mapTo(s, QPoint()).x();
        const int nextX = field<QPushButton>(next)->mapTo(s, QPoint()).x();
        QVERIFY(previousX > nextX);
    }

    // The question's text starts at the right edge, under the option fields.
    void questionTextReadsFromTheRight()
    {
        field<QTabWidget>(QStringLiteral("TabControl1"))->setCurrentIndex(2);
        QVERIFY(QTest::qWaitForWindowExposed(s));
        auto *question = field<QPlainTextEdit>(QStringLiteral("Text2(0)"));
        QVERIFY(!question->toPlainText().isEmpty());
        QTextCursor start(question->document());
        const QRect caret = question->cursorRect(start);
        QVERIFY2(caret.x() > question->viewport()->width() * 3 / 4,
                 qPrintable(QStringLiteral("first letter at %1 of %2").arg(caret.x()).arg(question->viewport()->width())));
    }

    void clinicDetails_data()
    {
        QTest::addColumn<QStringList>("contacts"); // FEItem(3)..FEItem(9)
        QTest::addColumn<QString>("block");
        QTest::newRow("e-mail and telephone")
            << QStringList{"info@clinic.example", "", "", "", "", "", "021 555 0101"}
            << "info@clinic.example\r\n021 555 0101\r\n";
        QTest::newRow("none") << QStringList{"", "", "", "", "", "", ""} << "";
    }
    void clinicDetails()
    {
        QFETCH(QStringList, contacts);
        QFETCH(QString, block);
        field(QStringLiteral("FEItem(0)"))->setText(QStringLiteral("Clinic B"));
        for (int i = 0; i < 7; ++i)
            field(QStringLiteral("FEItem(%1)").arg(i + 3))->setText(contacts[i]);
        click(QStringLiteral("PBMosh(0)"));
        QCOMPARE(StoredSetting(QStringLiteral("Mosch")), block);
        QCOMPARE(s->ContactBlock(), block);
        QCOMPARE(StoredSetting(QStringLiteral("Name")), QStringLiteral("Clinic B"));
        QCOMPARE(StoredSetting(QStringLiteral("E-Mail")), contacts[0]);
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes().first().text, QString::fromUtf8("تغييرات با موفقيت ذخيره شد"));
        QCOMPARE(m_main->findChild<QLabel *>(QStringLiteral("LblKName"))->text(), QStringLiteral("Clinic B"));
        QCOMPARE(QDir::currentPath(), QDir(ProgramFolder()).absolutePath());
    }

    // A settings or question row that does not reach the file is said, and
    // no success is reported over it.
    void failedSaveIsSaid_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("control");
        QTest::newRow("question") << "QUS" << "PushButton7";
        QTest::newRow("clinic details") << "Theme" << "PBMosh(0)";
        QTest::newRow("print logo flag") << "Theme" << "CheckBox1";
    }
    void failedSaveIsSaid()
    {
        QFETCH(QString, table);
        QFETCH(QString, control);
        m_store->RefuseWrites(table, QStringLiteral("refused"), {QStringLiteral("UPDATE")});
        m_store->Db().close();
        field(QStringLiteral("FEItem(0)"))->setText(QStringLiteral("Clinic C"));
        field<QPlainTextEdit>(QStringLiteral("Text2(0)"))->setPlainText(QStringLiteral("item not stored"));
        if (control == QLatin1String("CheckBox1"))
            field<QCheckBox>(control)->click();
        else
            click(control);
        const QList<Dialogs::Box> shown = boxes();
        m_store->AllowWrites(table, {QStringLiteral("UPDATE")});
        m_store->Db().close();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().caption, QString::fromUtf8("خطا"));
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        const QStringList lines = shown.first().text.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QString::fromUtf8("ذخيره انجام نشد:"));
        QCOMPARE(lines.value(1), QString::fromUtf8("پايگاه داده اين تغيير را نپذيرفت."));
        QVERIFY(lines.value(2).contains(QStringLiteral("refused")));
        // What was typed stays, to be saved again.
        QCOMPARE(field(QStringLiteral("FEItem(0)"))->text(), QStringLiteral("Clinic C"));
        QVERIFY(StoredSetting(QStringLiteral("Name")) != QStringLiteral("Clinic C"));
        QVERIFY(StoredQuestion(1, QStringLiteral("QU")) != QStringLiteral("item not stored"));
        s->Adodc1()->Refresh();
        s->Adodc2()->Refresh();
    }

    void printLogoFlagIsStoredAtOnce()
    {
        auto *box = field<QCheckBox>(QStringLiteral("CheckBox1"));
        const bool was = box->isChecked();
        box->click();
        QCOMPARE(box->isChecked(), !was);
        QCOMPARE(StoredSetting(QStringLiteral("Logo")), was ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(box->text(), was ? QString::fromUtf8("آرم را در قسمت پرينت نمايش ندهد")
                                  : QString::fromUtf8("آرم را در قسمت پرينت نمايش دهد"));
        QCOMPARE(s->PrintLogo(), !was);
        box->click();
        QCOMPARE(StoredSetting(QStringLiteral("Logo")), was ? QStringLiteral("1") : QStringLiteral("0"));
    }

    void chooseLogo_data()
    {
        QTest::addColumn<QString>("chosen"); // "jpeg", "jpeg, disk full", "text", "" (cancelled)
        QTest::newRow("jpeg") << "jpeg";
        QTest::newRow("jpeg, disk full") << "jpeg, disk full";
        QTest::newRow("text file") << "text";
        QTest::newRow("cancelled") << "";
    }
    void chooseLogo()
    {
        QFETCH(QString, chosen);
        const QString logo = QDir(m_store->Folder()).filePath(QStringLiteral("LogoKVR.jpg"));
        QFile::remove(logo);
        {
            QFile old(logo);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous logo");
        }
        QString path;
        if (chosen.startsWith(QLatin1String("jpeg"))) {
            path = QDir(m_store->Folder()).filePath(QStringLiteral("picked.jpg"));
            QVERIFY(WritePicture(path, "JPEG", QSize(64, 48)));
        } else if (chosen == QLatin1String("text")) {
            path = QDir(m_store->Folder()).filePath(QStringLiteral("picked.txt"));
            QFile t(path);
            QVERIFY(t.open(QIODevice::WriteOnly));
            t.write("hello");
        }
        Dialogs::Test::QueueFileName(path);
        const bool full = chosen == QLatin1String("jpeg, disk full");
        if (full)
            SafeFile::FailNextForTests(SafeFile::Step::Write, ENOSPC);
        click(QStringLiteral("PBMosh(2)"));
        SafeFile::ClearFaultForTests();

        QCOMPARE(Dialogs::Test::FileRequests().size(), 1);
        QCOMPARE(Dialogs::Test::FileRequests().first().filter, QString());
        QFile f(logo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        auto *preview = field<QLabel>(QStringLiteral("Image1"));
        if (chosen == QLatin1String("jpeg")) {
            QVERIFY(bytes.startsWith("BM"));
            QVERIFY(!preview->pixmap().isNull());
            QCOMPARE(boxes().size(), 1);
            QCOMPARE(boxes().first().caption, QString::fromUtf8("توجه"));
            QCOMPARE(boxes().first().text, QString::fromUtf8(" آرم ذخيره شد"));
            QCOMPARE(boxes().first().icon, QMessageBox::Information);
        } else if (full) {
            // Said in Persian, the system's description on a second line.
            QCOMPARE(bytes, QByteArray("previous logo"));
            QCOMPARE(boxes().size(), 1);
            QCOMPARE(boxes().first().caption, QString::fromUtf8("خطا"));
            const QStringList lines = boxes().first().text.split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], QString::fromUtf8("آرم ذخيره نشد: ") + SafeFile::PersianReasonFor(ENOSPC));
            QVERIFY2(lines[1].contains(logo), qPrintable(lines[1]));
            QCOMPARE(QDir(m_store->Folder()).entryList({QStringLiteral("LogoKVR.jpg*")}, QDir::Files | QDir::Hidden),
                     QStringList{"LogoKVR.jpg"});
        } else {
            QCOMPARE(bytes, QByteArray("previous logo"));
            if (chosen.isEmpty()) {
                QVERIFY(boxes().isEmpty());
            } else {
                QCOMPARE(boxes().size(), 1);
                QCOMPARE(boxes().first().caption, QString::fromUtf8("توجه"));
                QCOMPARE(boxes().first().text,
                         QString::fromUtf8(" تصوير ذخيره نشد\r\nلطفا تصوير با فرمت هاي زير را انتخاب نمائيد\r\njpg\r\nbmp"));
            }
        }
        QCOMPARE(QDir::currentPath(), QDir(ProgramFolder()).absolutePath());
    }

    // Where the records live: kept for this computer from the next start,
    // the fields of a server used only when the server is chosen.
    void whereTheRecordsLive_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says"); // the timed message
        QTest::newRow("the file") << false << "" << "" << ServerText::Saved();
        QTest::newRow("a server") << true << "kvr" << "6543" << ServerText::Saved();
        QTest::newRow("a server, usual port") << true << "kvr" << "" << ServerText::Saved();
        QTest::newRow("a server without a database") << true << "" << "" << ServerText::NeedDatabase();
        QTest::newRow("a port out of range") << true << "kvr" << "70000" << ServerText::BadPort();
    }
    void whereTheRecordsLive()
    {
        QFETCH(bool, server);
        QFETCH(QString, database);
        QFETCH(QString, port);
        QFETCH(QString, says);
        DatabaseLocation::SaveChoice({});
        Keyring::Test::UseMemory(true);
        delete Frm_Setting::Instance(); // shows the saved choice as it loads
        s = Frm_Setting::Instance();
        QVERIFY(field<QRadioButton>(QStringLiteral("OptFile"))->isChecked());
        QVERIFY(!field(QStringLiteral("TxtServerHost"))->isEnabled());

        field<QRadioButton>(server ? QStringLiteral("OptServer") : QStringLiteral("OptFile"))->setChecked(true);
        QCOMPARE(field(QStringLiteral("TxtServerHost"))->isEnabled(), server);
        field(QStringLiteral("TxtServerHost"))->setText(QStringLiteral(" db.clinic "));
        field(QStringLiteral("TxtServerPort"))->setText(port);
        field(QStringLiteral("TxtServerDatabase"))->setText(database);
        field(QStringLiteral("TxtServerUser"))->setText(QStringLiteral("reception"));
        field<QCheckBox>(QStringLiteral("ChkServerTls"))->setChecked(true);
        click(QStringLiteral("PBServerSave"));
        QCOMPARE(boxes().size(), 1);
        QVERIFY(boxes().first().timed);
        QCOMPARE(boxes().first().text, says);

        const DatabaseLocation::Choice saved = DatabaseLocation::SavedChoice();
        const bool stored = says == ServerText::Saved();
        QCOMPARE(saved.kind, server && stored ? DatabaseLocation::Kind::Server : DatabaseLocation::Kind::File);
        if (server && stored) {
            QCOMPARE(saved.server.Describe(), QStringLiteral("reception@db.clinic%1/kvr").arg(port.isEmpty() ? "" : ":" + port));
            QVERIFY(saved.server.tls);
        }
        // The program in use keeps working where it does until its next start.
        QCOMPARE(DatabaseLocation::OnServer(), m_store->OnServer());
        // Shown again as saved when the screen loads anew.
        delete Frm_Setting::Instance();
        s = Frm_Setting::Instance();
        QCOMPARE(field<QRadioButton>(QStringLiteral("OptServer"))->isChecked(), server && stored);
        Keyring::Test::UseDesktop();
        m_main->ExecuteCommand(142);
    }

    // A password kept in the keyring goes when it is no longer to be kept.
    void keptPasswordIsForgottenWhenNotToBeKept()
    {
        Keyring::Test::UseMemory(true);
        DatabaseLocation::Choice c;
        c.kind = DatabaseLocation::Kind::Server;
        c.server.database = QStringLiteral("kvr");
        c.server.user = QStringLiteral("reception");
        c.rememberPassword = true;
        QVERIFY(DatabaseLocation::SaveChoice(c));
        QVERIFY(Keyring::Write(c.server, QStringLiteral("secret")));
        delete Frm_Setting::Instance();
        s = Frm_Setting::Instance();
        QVERIFY(field<QCheckBox>(QStringLiteral("ChkKeepPassword"))->isChecked());
        field<QCheckBox>(QStringLiteral("ChkKeepPassword"))->setChecked(false);
        click(QStringLiteral("PBServerSave"));
        QCOMPARE(Keyring::Read(c.server), QString());
        QVERIFY(!DatabaseLocation::SavedChoice().rememberPassword);
        Keyring::Test::UseDesktop();
        DatabaseLocation::SaveChoice({});
        m_main->ExecuteCommand(142);
    }

    // The connection is tried with what the fields say, asking for the
    // password when the server wants one.
    void connectionIsTried_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("says"); // the box's first line; empty: none
        QTest::newRow("ready") << "kvr_test" << "postgres" << QStringList{} << ServerText::Connected();
        QTest::newRow("password asked") << "kvr_test" << TestServer::kPasswordUser << QStringList{"secret"}
                                        << ServerText::Connected();
        QTest::newRow("password cancelled") << "kvr_test" << TestServer::kPasswordUser << QStringList{} << "";
        QTest::newRow("not prepared") << "postgres" << "postgres" << QStringList{}
                                      << DatabaseError::Text(DatabaseError::NotPrepared, QString());
    }
    void connectionIsTried()
    {
        QFETCH(QString, database);
        QFETCH(QString, user);
        QFETCH(QStringList, typed);
        QFETCH(QString, says);
        TestServer &server = TestServer::Instance();
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QVERIFY(server.ResetDatabase(QLatin1String(TestServer::kDatabase)));
        qunsetenv("PGPASSWORD");
        field<QRadioButton>(QStringLiteral("OptServer"))->setChecked(true);
        field(QStringLiteral("TxtServerHost"))->setText(server.SocketFolder());
        field(QStringLiteral("TxtServerPort"))->setText(QString::number(TestServer::kPort));
        field(QStringLiteral("TxtServerDatabase"))->setText(database);
        field(QStringLiteral("TxtServerUser"))->setText(user);
        field<QCheckBox>(QStringLiteral("ChkServerTls"))->setChecked(false);
        for (const QString &p : typed)
            Dialogs::Test::QueuePassword(p);
        click(QStringLiteral("PBServerTest"));
        QCOMPARE(Dialogs::Test::PasswordRequests().size(), user == QLatin1String("postgres") ? 0 : 1);
        QCOMPARE(boxes().size(), says.isEmpty() ? 0 : 1);
        if (!says.isEmpty())
            QCOMPARE(boxes().first().text.section(QLatin1Char('\n'), 0, 0), says);
        // Trying saves nothing.
        QCOMPARE(DatabaseLocation::SavedChoice().kind, DatabaseLocation::Kind::File);
    }

    // Must stay last: closing unloads the screen.
    void closingEnablesTheMainWindowAndUnloads()
    {
        QVERIFY(!m_main->isEnabled());
        QPointer<Frm_Setting> guard = s;
        field(QStringLiteral("FEItem(0)"))->setText(QStringLiteral("typed, not saved"));
        click(QStringLiteral("PushButtonExit"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
        QVERIFY(!Frm_Setting::IsLoaded());
        QVERIFY(m_main->isEnabled());
        // The next read loads it again, hidden, from the file.
        QCOMPARE(Frm_Setting::Instance()->ClinicName(), StoredSetting(QStringLiteral("Name")));
        QVERIFY(Frm_Setting::Instance()->isHidden());
    }
};

QTEST_MAIN(TestFrmSetting)
#include "tst_frm_setting.moc"
