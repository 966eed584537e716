#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/MainWindowRef.h"
#include "common/Vendor.h"
#include "shell/Commands.h"
#include "shell/ui/Frm_About.h"
#include "shell/ui/Frm_Chat.h"
#include "shell/ui/Frm_Exit.h"
#include "shell/ui/Frm_Setting.h"
#include "shell/ui/MDIForm1.h"
#include "shell/ui/Resource.h"
#include "common/ui/Twips.h"

#include "ShellFixture.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

// Catches the addresses the program hands to the system's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

template <typename T>
static QList<T *> topLevel(const QString &name)
{
    QList<T *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *t = qobject_cast<T *>(w); t && w->objectName() == name && !w->testAttribute(Qt::WA_WState_Hidden))
            found.append(t);
    return found;
}

static void fire(QObject *owner, const char *timerName)
{
    auto *timer = owner->findChild<QTimer *>(QLatin1String(timerName));
    QVERIFY(timer);
    QMetaObject::invokeMethod(timer, "timeout");
}

class TestMDIForm1 : public QObject
{
    Q_OBJECT
    ProgramFolderFixture *m_folder = nullptr;
    QPointer<MDIForm1> m_main;
    UrlCatcher m_urls;
    int m_ended = 0;

private slots:
    void initTestCase()
    {
        m_folder = new ProgramFolderFixture;
        QVERIFY(m_folder->ok);
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:9"));
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
        Frm_Exit::SetEndProgram([this] { ++m_ended; });
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
        delete m_folder;
    }
    void init()
    {
        Dialogs::Test::Install();
        m_urls.urls.clear();
        m_ended = 0;
        MDIForm1::ResetOpeners();
        MDIForm1::SetStartupCheck({});
        m_main = MDIForm1::Load();
    }
    void cleanup()
    {
        Dialogs::Test::Uninstall();
        // Whatever a case left open goes without the confirmation.
        QList<QPointer<QWidget>> windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<MDIForm1 *>(w) || qobject_cast<Frm_About *>(w) || qobject_cast<Frm_Exit *>(w))
                windows.append(w);
        for (const QPointer<QWidget> &w : windows)
            delete w.data();
        if (Frm_Setting::IsLoaded())
            delete Frm_Setting::Instance();
    }

    void toolbarHoldsTheTenCommandsInOrder()
    {
        QVERIFY(m_main);
        QCOMPARE(m_main->windowTitle(), QStringLiteral("KVR"));
        QCOMPARE(m_main->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(MainWindow(), m_main.data());
        auto *bar = m_main->findChild<QToolBar *>(QStringLiteral("Standard"));
        QVERIFY(bar);
        QCOMPARE(bar->iconSize(), QSize(42, 35));
        QCOMPARE(bar->font().family(), Fonts::PersianFamily());
        QCOMPARE(bar->font().pointSizeF(), 11.0);
        QVERIFY(bar->font().bold());

        const QList<int> ids = {100, 101, 140, 141, 142, 143, 144, 147, 145, 146};
        const QStringList captions = {
            QString::fromUtf8("آزمودني ها"), QString::fromUtf8("پاسخنامه"), QString::fromUtf8("فايل آزمودني"),
            QString::fromUtf8("نتيجه تست"),  QString::fromUtf8("تنظيمات"),  QString::fromUtf8("بروزرساني"),
            QString::fromUtf8("پشتيبان گيري"), QString::fromUtf8("سايت ما"), QString::fromUtf8("تماس با ما"),
            QString::fromUtf8("خروج")};
        const QList<QAction *> actions = bar->actions();
        QCOMPARE(actions.size(), ids.size());
        QList<QImage> icons;
        for (int i = 0; i < actions.size(); ++i) {
            QCOMPARE(actions[i]->data().toInt(), ids[i]);
            QCOMPARE(actions[i]->text(), captions[i]);
            // The captions are drawn bold, whatever the look's style sheet says.
            const QWidget *button = bar->widgetForAction(actions[i]);
            QVERIFY(button->font().bold());
            QCOMPARE(button->font().family(), Fonts::PersianFamily());
            const QPixmap pm = actions[i]->icon().pixmap(QSize(42, 35));
            QVERIFY(!pm.isNull());
            // Each command has a picture of its own.
            for (const QImage &other : icons)
                QVERIFY(other != pm.toImage());
            icons.append(pm.toImage());
        }
        // In right-to-left reading order the first command sits rightmost.
        m_main->resize(1200, 700);
        QVERIFY(QTest::qWaitForWindowExposed(m_main));
        auto *first = qobject_cast<QToolButton *>(bar->widgetForAction(actions.first()));
        auto *last = qobject_cast<QToolButton *>(bar->widgetForAction(actions.last()));
        QVERIFY(first && last);
        QVERIFY(first->x() > last->x());
    }

    // The pictures are drawn at the build from a list of their own: each
    // command has one for screens of one to four device pixels a point.
    void toolbarPicturesForEveryScreenScale()
    {
        for (const ShellCommand &c : ToolbarCommands())
            for (int scale = 1; scale <= 4; ++scale) {
                const QSize size = QSize(42, 35) * scale;
                QImageReader reader(QStringLiteral(":/shell/toolbar/%1x%2/%3.png")
                                        .arg(size.width()).arg(size.height()).arg(c.icon));
                QVERIFY2(reader.canRead(), qPrintable(c.icon));
                QCOMPARE(reader.size(), size);
            }
    }

    void commandTableOpensTheShellScreens()
    {
        // 145 "تماس با ما" is the about screen and disables the main window.
        m_main->ExecuteCommand(CmdAbout);
        QCOMPARE(topLevel<Frm_About>(QStringLiteral("Frm_About")).size(), 1);
        QVERIFY(!m_main->isEnabled());
        topLevel<Frm_About>(QStringLiteral("Frm_About")).first()->close();
        QVERIFY(m_main->isEnabled());

        // 142 shows the settings screen, loaded hidden once the main window
        // is on screen, then disables the main window.
        QVERIFY(QTest::qWaitForWindowExposed(m_main));
        QTRY_VERIFY(Frm_Setting::IsLoaded());
        Frm_Setting *settings = Frm_Setting::Instance();
        QVERIFY(settings->isHidden());
        m_main->ExecuteCommand(CmdSettings);
        QVERIFY(settings->isVisible());
        QVERIFY(!m_main->isEnabled());
        settings->close();
        QVERIFY(m_main->isEnabled());

        // An id outside the table does nothing.
        const int before = QApplication::topLevelWidgets().size();
        m_main->ExecuteCommand(999);
        m_main->ExecuteCommand(CmdExaminees - 1);
        QCOMPARE(QApplication::topLevelWidgets().size(), before);
        QVERIFY(m_main->isEnabled());

        // Every command of the toolbar opens something.
        for (const ShellCommand &c : ToolbarCommands())
            QVERIFY2(MDIForm1::HasOpener(c.id), qPrintable(QString::number(c.id)));

        // A screen wired later is one line.
        int opened = 0;
        MDIForm1::SetOpener(CmdBackup, [&](MDIForm1 &) { ++opened; });
        m_main->findChild<QToolBar *>(QStringLiteral("Standard"))->actions().at(6)->trigger();
        QCOMPARE(opened, 1);
    }

    void siteCommandShowsTheVendorSiteModally()
    {
        QString modalName;
        QUrl url;
        bool fills = false;
        QTimer::singleShot(0, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            modalName = modal->objectName();
            if (auto *chat = qobject_cast<Frm_Chat *>(modal)) {
                url = chat->RequestedUrl();
                chat->resize(640, 480);
                fills = chat->WebBrowser1()->geometry() == QRect(0, 0, 640, 480);
            }
            modal->close();
        });
        m_main->ExecuteCommand(CmdSite);
        QCOMPARE(modalName, QStringLiteral("Frm_Chat"));
        QCOMPARE(url, QUrl(Vendor::WebSiteUrl()));
        QVERIFY(fills);
    }

    void clinicNameFollowsTheSettingsFieldAtEveryResize()
    {
        auto *name = Frm_Setting::Instance()->findChild<QLineEdit *>(QStringLiteral("FEItem(0)"));
        auto *caption = m_main->findChild<QLabel *>(QStringLiteral("LblKName"));
        QVERIFY(name && caption);
        QCOMPARE(caption->text(), StoredSetting(QStringLiteral("Name")));

        name->setText(QStringLiteral("Clinic A"));
        m_main->resize(900, 650);
        QCOMPARE(caption->text(), QStringLiteral("Clinic A"));
        name->setText(QString());
        m_main->resize(1000, 700);
        QCOMPARE(caption->text(), QString());

        // The names stand one above the other, centred across the whole width.
        auto *f = m_main->findChild<QLabel *>(QStringLiteral("LblFName"));
        auto *t = m_main->findChild<QLabel *>(QStringLiteral("LblTName"));
        const double H = PixelsToTwipsY(m_main, m_main->frameGeometry().height());
        QCOMPARE(t->y(), TwipsToPixelsY(m_main, (H + 3000) / 2));
        QCOMPARE(t->y() - f->y(), TwipsToPixelsY(m_main, 1680));
        QCOMPARE(f->y() - caption->y(), TwipsToPixelsY(m_main, 2000));
        QCOMPARE(t->width(), m_main->frameGeometry().width());
        QCOMPARE(f->text(), QStringLiteral("KVR"));
    }

    // The main window comes up before the settings screen loads: until then
    // the saved settings row gives its look and the clinic's name, and the
    // screen, once loaded, shows the same.
    void savedSettingsServeUntilTheSettingsScreenLoads()
    {
        const QString name = StoredSetting(QStringLiteral("Name")), theme = StoredSetting(QStringLiteral("TH"));
        auto store = [](const QString &n, const QString &th) {
            DataControl dc;
            dc.Open(QStringLiteral("SELECT * FROM Theme "));
            return dc.SetValue(QStringLiteral("Name"), n) && dc.SetValue(QStringLiteral("TH"), th) && dc.Update();
        };
        QVERIFY(store(QStringLiteral("Clinic B"), QStringLiteral("5")));
        delete m_main.data();
        m_main = MDIForm1::Load();

        QVERIFY(!Frm_Setting::IsLoaded());
        auto *caption = m_main->findChild<QLabel *>(QStringLiteral("LblKName"));
        QVERIFY(caption);
        QCOMPARE(caption->text(), QStringLiteral("Clinic B"));
        QCOMPARE(CurrentSkin().scheme, ThemeRowFor(5).scheme);
        QCOMPARE(CurrentSkin().style, ThemeRowFor(5).style);

        QVERIFY(QTest::qWaitForWindowExposed(m_main));
        QTRY_VERIFY(Frm_Setting::IsLoaded());
        QCOMPARE(Frm_Setting::Instance()->ThemeNumberText(), QStringLiteral("5"));
        QCOMPARE(Frm_Setting::Instance()->ClinicName(), QStringLiteral("Clinic B"));
        QCOMPARE(CurrentSkin().scheme, ThemeRowFor(5).scheme);
        m_main->resize(900, 650);
        QCOMPARE(caption->text(), QStringLiteral("Clinic B"));

        // Once the settings screen has been there, the saved row is read
        // afresh: the screen may have changed it before it was closed.
        QVERIFY(store(QStringLiteral("Clinic C"), QStringLiteral("5")));
        delete Frm_Setting::Instance();
        m_main->resize(950, 650);
        QCOMPARE(caption->text(), QStringLiteral("Clinic C"));

        QVERIFY(store(name, theme));
    }

    void startupCheckRunsOnceOnTheFirstTick_data()
    {
        QTest::addColumn<bool>("newer");
        QTest::newRow("newer version published") << true;
        QTest::newRow("nothing new") << false;
    }
    void startupCheckRunsOnceOnTheFirstTick()
    {
        QFETCH(bool, newer);
        int checks = 0, notified = 0;
        MDIForm1::SetStartupCheck([&] { ++checks; return newer; }, [&] { ++notified; });
        auto *timer = m_main->findChild<QTimer *>(QStringLiteral("Timer1"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 500);
        QVERIFY(timer->isActive());
        auto *notice = m_main->findChild<QGroupBox *>(QStringLiteral("GroupBox1"));
        QVERIFY(notice && notice->isHidden());

        fire(m_main, "Timer1");
        QCOMPARE(checks, 1);
        QVERIFY(!timer->isActive());
        QCOMPARE(notice->isVisible(), newer);
        QCOMPARE(notified, newer ? 1 : 0);
        if (newer) {
            notice->findChild<QPushButton *>(QStringLiteral("PushButton1"))->click();
            QVERIFY(notice->isHidden());
        }
    }

    void exitConfirmation_data()
    {
        QTest::addColumn<bool>("byCommand");  // command 146, else the close box
        QTest::addColumn<QString>("answer"); // PushB1, PushButton1 or the confirmation's close box
        QTest::newRow("command, yes") << true << "PushB1";
        QTest::newRow("command, no") << true << "PushButton1";
        QTest::newRow("close box, no") << false << "PushButton1";
        QTest::newRow("close box, confirmation closed") << false << "";
    }
    void exitConfirmation()
    {
        QFETCH(bool, byCommand);
        QFETCH(QString, answer);
        int checks = 0;
        MDIForm1::SetStartupCheck([&] { ++checks; return false; });
        QPointer<MDIForm1> old = m_main;
        if (byCommand)
            m_main->ExecuteCommand(CmdExit);
        else
            m_main->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The main window waits on screen behind the confirmation, which
        // blocks it until the answer; closing it again asks no second time.
        QVERIFY(!old.isNull());
        QVERIFY(old->isVisible());
        QCOMPARE(MainWindow(), old.data());
        auto confirms = topLevel<Frm_Exit>(QStringLiteral("Frm_Exit"));
        QCOMPARE(confirms.size(), 1);
        QPointer<Frm_Exit> confirm = confirms.first();
        QVERIFY(confirm->isVisible());
        QCOMPARE(confirm->windowModality(), Qt::WindowModal);
        QCOMPARE(confirm->parentWidget(), old.data());
        old->close();
        confirms = topLevel<Frm_Exit>(QStringLiteral("Frm_Exit"));
        QCOMPARE(confirms.size(), 1);
        QCOMPARE(confirm->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QString::fromUtf8(" آيا قصد خروج از برنامه را داريد؟"));

        const QRect place = old->geometry();
        if (answer.isEmpty())
            confirm->close();
        else
            confirm->findChild<QPushButton *>(answer)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(confirm.isNull());
        QVERIFY(old.isNull());

        const auto mains = topLevel<MDIForm1>(QStringLiteral("MDIForm1"));
        if (answer == QLatin1String("PushB1")) {
            QCOMPARE(m_ended, 1);
            QCOMPARE(mains.size(), 0);
            return;
        }
        // "خير" loads a fresh main window whose start-up runs again.
        QCOMPARE(m_ended, 0);
        QCOMPARE(mains.size(), 1);
        m_main = mains.first();
        QCOMPARE(MainWindow(), m_main.data());
        QVERIFY(m_main->isVisible());
        QCOMPARE(m_main->geometry(), place);
        QCOMPARE(m_main->findChild<QToolBar *>(QStringLiteral("Standard"))->actions().size(), 10);
        QVERIFY(m_main->findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
        fire(m_main, "Timer1");
        QCOMPARE(checks, 1);
    }

    // A screen keeps the main window disabled; closing it by its close box
    // still asks, and the question can be answered.
    void exitConfirmationWhileAScreenIsOpen()
    {
        m_main->setEnabled(false);
        m_main->close();
        const auto confirms = topLevel<Frm_Exit>(QStringLiteral("Frm_Exit"));
        QCOMPARE(confirms.size(), 1);
        QVERIFY(confirms.first()->isEnabled());
        QVERIFY(confirms.first()->findChild<QPushButton *>(QStringLiteral("PushB1"))->isEnabled());
    }

    void aboutShowsVersionAndOpensItsLinks()
    {
        auto *about = new Frm_About;
        QCOMPARE(about->windowTitle(), QStringLiteral("About KVR"));
        QCOMPARE(about->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
                 QString::fromUtf8("ورژن نرم افزار شما: 4.1.0"));
        QCOMPARE(VersionLine(1, 3, 0), QString::fromUtf8("ورژن نرم افزار شما: 1.3.0"));
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));

        const QList<QUrl> expected = {QUrl(Vendor::ShopUrl()), QUrl(Vendor::MessagingUrl()),
                                      QUrl(Vendor::WebSiteUrl())};
        for (int i = 0; i < 8; ++i) {
            auto *line = about->findChild<QLabel *>(QStringLiteral("Label1(%1)").arg(i));
            QVERIFY(line);
            const bool link = i >= 4 && i <= 6;
            QCOMPARE(line->cursor().shape(), link ? Qt::PointingHandCursor : Qt::ArrowCursor);
            QCOMPARE(!line->toolTip().isEmpty(), link);
            QTest::mouseClick(line, Qt::LeftButton);
        }
        QCOMPARE(m_urls.urls, expected);
        QCOMPARE(about->findChild<QLabel *>(QStringLiteral("Label1(4)"))->toolTip(),
                 QString::fromUtf8("جهت ورود به فروشگاه كليك كنيد"));

        QPointer<Frm_About> guard = about;
        about->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
        QVERIFY(m_main->isEnabled());
    }
};

QTEST_MAIN(TestMDIForm1)
#include "tst_mdiform1.moc"
