#pragma once
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class Frm_Exit;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolBar;
class QWidget;

// The start-up window and frame of the program: the toolbar "Standard" with
// the ten commands, the clinic's and the program's names on the background,
// the hidden update notice and the start-up update check half a second after
// loading. Closing it, by command 146 or the close box, shows the exit
// confirmation over it; the window stays until the answer, and a "no" there
// loads a fresh main window in its place.
class MDIForm1 : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the window in the start-up order (toolbar, skin, buttons, font,
    // timer) and makes it the program's main window. It deletes itself when
    // closed.
    explicit MDIForm1(QWidget *parent = nullptr);
    ~MDIForm1() override;

    // A freshly loaded main window, shown: where inPlaceOf stands, else
    // centred on the screen (maximised when it does not fit).
    static MDIForm1 *Load(const QWidget *inPlaceOf = nullptr);
    // Closes the window without asking (the confirmation has been answered).
    void Leave();

    // The command table: what each toolbar id opens. An id without an opener
    // does nothing. Screens built later are wired with one SetOpener line.
    using Opener = std::function<void(MDIForm1 &)>;
    static void SetOpener(int id, Opener opener); // an empty opener removes it
    static bool HasOpener(int id);
    // Back to the built-in table.
    static void ResetOpeners();

    // The start-up update check run by the first tick of Timer1: returns true
    // when a newer version is published. The window then shows GroupBox1 and
    // runs the notifier. Without a check the tick only stops the timer.
    using StartupCheck = std::function<bool()>;
    using Notifier = std::function<void()>;
    static void SetStartupCheck(StartupCheck check, Notifier notifier = Notifier());

    // The toolbar command handler.
    void ExecuteCommand(int id);
    // Places the captions and the notice panel for the current size and takes
    // the clinic name from the settings screen.
    void LayoutStep();
    // The clinic-name caption, also set by the settings screen after a save.
    void SetClinicName(const QString &name);
    // Makes the update notice visible.
    void ShowUpdateNotice();

    QToolBar *Toolbar() const { return m_toolbar; }
    QWidget *Resizer() const { return m_resizer; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildBackground();
    void buildUpdateNotice();
    void addCommands();
    void onTimer1();
    static QHash<int, Opener> &openers();

    QToolBar *m_toolbar = nullptr;
    QWidget *m_picture = nullptr;
    QWidget *m_resizer = nullptr;
    QLabel *m_lblKName = nullptr;
    QLabel *m_lblFName = nullptr;
    QLabel *m_lblTName = nullptr;
    QGroupBox *m_groupBox1 = nullptr;
    QTimer *m_timer1 = nullptr;
    QPointer<Frm_Exit> m_confirm;
    bool m_leaving = false;
    bool m_settingsQueued = false;
};
