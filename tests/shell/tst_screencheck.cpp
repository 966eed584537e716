// Every screen of the program, opened on a 1366x768 screen (the display
// scaling comes from QT_SCALE_FACTOR; CTest runs this at 1, 1.25 and 1.5):
// the window lies whole on the screen, no visible control sticks out of the
// widget that holds it, and no two visible controls lie on top of each other,
// except the panels a screen shows over the others on purpose (help, please
// wait, the test's introduction) and the shapes the result table's captions
// are drawn on.
#include "capture/ui/Frm_Azmoodani.h"
#include "capture/ui/Frm_File.h"
#include "capture/ui/Frm_Pasoch.h"
#include "capture/ui/Frm_Test.h"
#include "common/Vendor.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/MainWindowRef.h"
#include "common/ui/Translations.h"
#include "maintenance/ui/Frm_Progress.h"
#include "maintenance/ui/Frm_Update.h"
#include "maintenance/ui/Frm_backup.h"
#include "maintenance/ui/PopupControl.h"
#include "maintenance/ui/frmPopup.h"
#include "results/ui/Frm_Ergebnis.h"
#include "shell/ui/Frm_About.h"
#include "shell/ui/Frm_Chat.h"
#include "shell/ui/Frm_Exit.h"
#include "shell/ui/Frm_Setting.h"
#include "shell/ui/MDIForm1.h"
#include "store/ui/BoundGrid.h"

#include "ShellFixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

namespace {

bool isControl(const QWidget *w)
{
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLineEdit *>(w)
           || qobject_cast<const QComboBox *>(w) || qobject_cast<const QAbstractItemView *>(w)
           || qobject_cast<const QPlainTextEdit *>(w) || qobject_cast<const QTextEdit *>(w)
           || qobject_cast<const QLabel *>(w) || qobject_cast<const QGroupBox *>(w)
           || qobject_cast<const QTabWidget *>(w) || qobject_cast<const QToolBar *>(w)
           || qobject_cast<const QAbstractSpinBox *>(w);
}

// Widgets whose children are their own business (scroll bars, viewports, a
// combo box's parts).
bool composite(const QWidget *w)
{
    return qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QComboBox *>(w)
           || qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QToolBar *>(w);
}

// What of a control the user sees: a label's text, else the whole widget;
// in the coordinates of its parent.
QRect seen(const QWidget *w)
{
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return label->pixmap().isNull() ? QRect() : label->geometry();
        int flags = int(QStyle::visualAlignment(label->layoutDirection(), label->alignment()));
        if (label->wordWrap())
            flags |= Qt::TextWordWrap;
        const QRect inside = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                            -label->margin());
        const QFontMetrics fm = label->fontMetrics();
        const QRect lines = fm.boundingRect(inside, flags, label->text());
        if (label->wordWrap() || label->text().contains(QLatin1Char('\n')))
            return lines.translated(label->pos());
        // One line: the ink of its letters (a large caption's line box is
        // taller than the letters in it).
        const QRect ink = fm.tightBoundingRect(label->text());
        return QRect(lines.left() + ink.left(), lines.top() + fm.ascent() + ink.top(), ink.width(), ink.height())
            .translated(label->pos());
    }
    return w->geometry();
}

struct Control {
    const QWidget *widget;
    QRect rect; // in window coordinates
    bool overlay;
};

QString nameOf(const QWidget *w)
{
    const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                    : w->objectName();
    if (const auto *label = qobject_cast<const QLabel *>(w))
        return name + QStringLiteral(" \"") + label->text().left(20) + QLatin1Char('"');
    if (const auto *button = qobject_cast<const QAbstractButton *>(w))
        return name + QStringLiteral(" \"") + button->text().left(20) + QLatin1Char('"');
    return name;
}

void collect(const QWidget *window, const QWidget *parent, bool overlay, QList<Control> &controls,
             QStringList &problems)
{
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->isWindow() || !w->isVisible())
            continue;
        const bool onTop = overlay || IsOverlay(w);
        if (isControl(w) && !w->testAttribute(Qt::WA_TransparentForMouseEvents)) {
            const QRect r = seen(w);
            if (r.isValid()) {
                if (!parent->rect().contains(r))
                    problems << QStringLiteral("%1 lies partly outside %2 (%3 in %4)")
                                    .arg(nameOf(w), nameOf(parent))
                                    .arg(QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()),
                                         QStringLiteral("%1x%2").arg(parent->width()).arg(parent->height()));
                controls.append({w, QRect(parent->mapTo(window, r.topLeft()), r.size()), onTop});
            }
        }
        if (!composite(w))
            collect(window, w, onTop, controls, problems);
    }
}

bool within(const QWidget *w, const QWidget *ancestor)
{
    for (const QWidget *p = w; p; p = p->parentWidget())
        if (p == ancestor)
            return true;
    return false;
}

// Problems a user would see on the window as it stands.
QStringList Check(const QWidget *window)
{
    QStringList problems;
    const QScreen *screen = window->screen();
    const QRect area = screen->availableGeometry();
    // A pixel of leeway: at 125 % a maximised window's native size does not
    // divide into whole device-independent pixels.
    if (!area.adjusted(-1, -1, 1, 1).contains(window->frameGeometry()))
        problems << QStringLiteral("%1 does not lie whole on the screen (%2,%3 %4x%5 on %6x%7)")
                        .arg(nameOf(window))
                        .arg(window->frameGeometry().x())
                        .arg(window->frameGeometry().y())
                        .arg(window->frameGeometry().width())
                        .arg(window->frameGeometry().height())
                        .arg(area.width())
                        .arg(area.height());

    QList<Control> controls;
    collect(window, window, false, controls, problems);
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            const Control &a = controls[i], &b = controls[j];
            if (a.overlay != b.overlay || within(a.widget, b.widget) || within(b.widget, a.widget))
                continue;
            if (a.rect.intersects(b.rect))
                problems << QStringLiteral("%1 and %2 lie on top of each other").arg(nameOf(a.widget), nameOf(b.widget));
        }
    return problems;
}

// Latin words on the window that are not among the few the program shows in
// Latin letters (its name, the backup buttons, the scale letters...);
// addresses and file patterns are left out.
QStringList EnglishWords(const QWidget *window)
{
    static const QStringList allowed = {
        QStringLiteral("KVR"),    QStringLiteral("BACKUP"), QStringLiteral("REASTOR"), QStringLiteral("Back"),
        QStringLiteral("up"),     QStringLiteral("Reastor"), QStringLiteral("About"),  QStringLiteral("SPSS"),
        QStringLiteral("Q3"),     QStringLiteral("Q4"),      QStringLiteral("C"),      QStringLiteral("L"),
        QStringLiteral("O"),      QStringLiteral("PDF"),     QStringLiteral("Downloading"), QStringLiteral("File")};
    QStringList texts{window->windowTitle()};
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (const QWidget *w : widgets) {
        if (!w->isVisible())
            continue;
        if (const auto *l = qobject_cast<const QLabel *>(w))
            texts << l->text();
        else if (const auto *b = qobject_cast<const QAbstractButton *>(w))
            texts << b->text();
        else if (const auto *g = qobject_cast<const QGroupBox *>(w))
            texts << g->title();
        else if (const auto *t = qobject_cast<const QTabWidget *>(w))
            for (int i = 0; i < t->count(); ++i)
                texts << t->tabText(i);
        else if (const auto *v = qobject_cast<const QTableView *>(w); v && v->model())
            for (int c = 0; c < v->model()->columnCount(); ++c)
                if (!v->isColumnHidden(c))
                    texts << v->model()->headerData(c, Qt::Horizontal).toString();
        texts << w->toolTip();
    }
    static const QRegularExpression address(QStringLiteral(R"(\S*[./@*]\S*)"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z][A-Za-z0-9]*"));
    QStringList found;
    for (QString text : texts) {
        text.remove(address);
        for (auto it = word.globalMatch(text); it.hasNext();) {
            const QString w = it.next().captured();
            if (!allowed.contains(w) && !found.contains(w))
                found << w;
        }
    }
    return found;
}

void fire(QObject *owner, const char *timerName)
{
    if (auto *timer = owner->findChild<QTimer *>(QLatin1String(timerName)))
        QMetaObject::invokeMethod(timer, "timeout");
}

void click(QWidget *window, const char *button)
{
    if (auto *b = window->findChild<QAbstractButton *>(QLatin1String(button)))
        b->click();
}

} // namespace

class TestScreenCheck : public QObject
{
    Q_OBJECT
    ProgramFolderFixture *m_folder = nullptr;
    QPointer<MDIForm1> m_main;
    QList<QPointer<QWidget>> m_opened;

    QWidget *keep(QWidget *w)
    {
        m_opened.append(w);
        return w;
    }

    // The screen called name, open as the user sees it.
    QWidget *open(const QString &name)
    {
        if (name == QLatin1String("main window"))
            return m_main;
        if (name.startsWith(QLatin1String("registry")))
            return keep(Frm_Azmoodani::Open());
        if (name.startsWith(QLatin1String("answer sheet"))) {
            Frm_Pasoch *w = Frm_Pasoch::Open();
            w->VSFlexGrid1()->SelectRow(1);
            w->ChooseExaminee();
            fire(w, "Timer1");
            if (name.endsWith(QLatin1String("help")))
                click(w, "PushButton1");
            return keep(w);
        }
        if (name.startsWith(QLatin1String("test"))) {
            auto *w = new Frm_Test;
            w->SetExaminee(QStringLiteral("نام و نام خانوادگي: مريم احمدي"), QStringLiteral("1"));
            w->show();
            if (!name.endsWith(QLatin1String("intro")))
                click(w, "PushButton1");
            if (name.endsWith(QLatin1String("help")))
                click(w, "PushButton3");
            return keep(w);
        }
        if (name.startsWith(QLatin1String("import"))) {
            Frm_File *w = Frm_File::Show();
            if (name.endsWith(QLatin1String("help")))
                w->PushButton1Click(1);
            if (name.endsWith(QLatin1String("wait")))
                w->findChild<QGroupBox *>(QStringLiteral("GroupBox2"))->show();
            return keep(w);
        }
        if (name.startsWith(QLatin1String("results"))) {
            auto *w = new Frm_Ergebnis(m_main);
            w->show();
            w->VSFlexGrid1()->SelectRow(1);
            w->ScoreCurrentExaminee();
            if (name.endsWith(QLatin1String("help")))
                w->PushButton1()->click();
            return keep(w);
        }
        if (name.startsWith(QLatin1String("settings"))) {
            m_main->ExecuteCommand(142);
            Frm_Setting *w = Frm_Setting::Instance();
            w->findChild<QTabWidget *>(QStringLiteral("TabControl1"))->setCurrentIndex(name.right(1).toInt());
            return w;
        }
        if (name == QLatin1String("about")) {
            auto *w = new Frm_About;
            w->show();
            return keep(w);
        }
        if (name == QLatin1String("exit confirmation")) {
            m_main->close();
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<Frm_Exit *>(w) && w->isVisible())
                    return w;
            return nullptr;
        }
        if (name == QLatin1String("contact")) {
            auto *w = new Frm_Chat(m_main);
            w->show();
            return keep(w);
        }
        if (name == QLatin1String("update")) {
            auto *w = new Frm_Update(m_main);
            w->show();
            return keep(w);
        }
        if (name == QLatin1String("download")) {
            auto *w = new Frm_Progress(m_main);
            w->show();
            return keep(w);
        }
        if (name.startsWith(QLatin1String("backup"))) {
            Frm_backup *w = Frm_backup::Open();
            if (name.endsWith(QLatin1String("help")))
                w->PBHelp->click();
            return keep(w);
        }
        if (name == QLatin1String("notification")) {
            ShowUpdateNotification();
            return frmPopup::Instance()->Popup(0);
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        Translations::InstallPersian();
        m_folder = new ProgramFolderFixture;
        QVERIFY(m_folder->ok);
        Vendor::SetBase(QStringLiteral("http://127.0.0.1:9"));
        {
            // Four examinees with answers, the first a man.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("screens"));
            db.setDatabaseName(m_folder->path(QStringLiteral("KVRDB.mdb")));
            QVERIFY(db.open());
            for (int code = 1; code <= 4; ++code) {
                QSqlQuery q(db);
                q.prepare(QStringLiteral("INSERT INTO IDE (Code, FullName, \"Alter\", Geschlecht, Heirat, Datum1, "
                                         "Bildung, TelNummer1, Tester) VALUES (?, ?, '34', ?, 'متاهل', '1403/02/11', "
                                         "'كارشناسي ارشد', '09120000000', 'دكتر رضايي')"));
                q.addBindValue(QString::number(code));
                q.addBindValue(QStringLiteral("آزمودني شماره %1 با نامي بلند").arg(code));
                q.addBindValue(code == 1 ? QStringLiteral("مرد") : QStringLiteral("زن"));
                QVERIFY(q.exec());
                QVERIFY(q.exec(QStringLiteral("INSERT INTO Answer1 (Code, \"1\", \"2\", \"40\") VALUES (%1, '1', '2', '0')")
                                   .arg(code)));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("screens"));
        Frm_Exit::SetEndProgram([] {});
    }
    void cleanupTestCase()
    {
        // A window that is another's child goes with its parent.
        QList<QPointer<QWidget>> windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            windows.append(w);
        for (const QPointer<QWidget> &w : windows)
            delete w.data();
        delete m_folder;
    }
    void init()
    {
        Dialogs::Test::Install();
        MDIForm1::SetStartupCheck({});
        m_main = MDIForm1::Load();
    }
    void cleanup()
    {
        Dialogs::Test::Uninstall();
        for (const QPointer<QWidget> &w : m_opened)
            delete w.data();
        m_opened.clear();
        if (Frm_Setting::IsLoaded())
            delete Frm_Setting::Instance();
        delete m_main.data();
    }

    void screenIsWhole_data()
    {
        QTest::addColumn<QString>("screen");
        for (const char *name :
             {"main window", "registry", "answer sheet", "answer sheet help", "test intro", "test item", "test help",
              "import", "import help", "import wait", "results", "results help", "settings 0", "settings 1",
              "settings 2", "about", "exit confirmation", "contact", "update", "download", "backup",
              "backup help", "notification"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    // No English on the screens but the few words the program has always
    // shown in Latin letters.
    void screenSpeaksPersian_data() { screenIsWhole_data(); }
    void screenSpeaksPersian()
    {
        QFETCH(QString, screen);
        QWidget *w = open(screen);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QStringList english = EnglishWords(w);
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(", "))));
    }
    void screenIsWhole()
    {
        QFETCH(QString, screen);
        QWidget *w = open(screen);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QStringList problems = Check(w);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Help panels: whole inside their windows, their title on their own
    // background (what lies below does not show through it), and the exit
    // button and the list still in reach.
    void helpPanelCoversNothingNeeded_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("answer sheet") << "answer sheet help" << "GroupBox4" << QStringList{"PushB1(0)", "VSFlexGrid1"};
        QTest::newRow("test") << "test help" << "GroupBox4" << QStringList{"PushButtonExit"};
        QTest::newRow("import") << "import help" << "GroupBox1" << QStringList{"PushButton1(2)"};
        QTest::newRow("results") << "results help" << "GroupBox3" << QStringList{"PushB1", "VSFlexGrid1"};
        QTest::newRow("backup") << "backup help" << "GroupBox1" << QStringList{"PBExit"};
    }
    void helpPanelCoversNothingNeeded()
    {
        QFETCH(QString, screen);
        QFETCH(QString, panel);
        QFETCH(QStringList, kept);
        QWidget *w = open(screen);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto *help = w->findChild<HelpPanel *>(panel);
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(w->rect().contains(help->geometry()));
        for (const QString &name : kept) {
            const QWidget *k = w->findChild<QWidget *>(name);
            QVERIFY2(k && k->isVisible(), qPrintable(name));
            QVERIFY2(!help->geometry().intersects(QRect(k->mapTo(w, QPoint()), k->size())), qPrintable(name));
        }
        // The strip along the panel's top edge, where the title is, shows the
        // panel alone: the window's picture of it is the panel's own.
        const QRect strip(4, 2, help->width() - 8, help->fontMetrics().height());
        const QImage own = help->grab(strip).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage onScreen = w->grab(strip.translated(help->pos())).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(onScreen, own);
    }

    // The check itself finds a control moved out of its window and one moved
    // onto another.
    void checkFindsMisplacedControls()
    {
        QWidget *w = open(QStringLiteral("answer sheet"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(Check(w).isEmpty());
        auto *exit = w->findChild<QPushButton *>(QStringLiteral("PushB1(0)"));
        const QPoint home = exit->pos();
        exit->move(home.x(), w->height() - exit->height() / 2);
        QStringList problems = Check(w);
        QVERIFY2(problems.size() == 1, qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY(problems.first().contains(QStringLiteral("PushB1(0)")));
        QVERIFY(problems.first().contains(QStringLiteral("outside")));

        auto *help = w->findChild<QPushButton *>(QStringLiteral("PushButton1"));
        exit->move(help->pos() + QPoint(0, 5));
        problems = Check(w);
        QVERIFY2(problems.size() == 1, qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY(problems.first().contains(QStringLiteral("on top of each other")));
        exit->move(home);
        QVERIFY(Check(w).isEmpty());
    }
};

// The offscreen platform's screen is 1366x768 here, the size of a common
// laptop screen; the display scaling comes from QT_SCALE_FACTOR.
int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen") && dir.isValid()) {
        QFile config(dir.filePath(QStringLiteral("screen.json")));
        if (config.open(QIODevice::WriteOnly)) {
            config.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,)"
                         R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
            config.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
        }
    }
    QApplication app(argc, argv);
    QApplication::setLayoutDirection(Qt::RightToLeft);
    QApplication::setFont(Fonts::Persian(11));
    TestScreenCheck test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screencheck.moc"
