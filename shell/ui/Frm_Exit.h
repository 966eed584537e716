#pragma once
#include <QWidget>
#include <functional>

class MDIForm1;

// The exit confirmation, shown over the main window when it is closed; the
// main window stays on screen behind it until the answer. "بلي" ends the
// program; "خير" loads a fresh main window in the old one's place. Closing the
// confirmation by its own close box counts as "خير", so the program never
// runs on without a visible window.
class Frm_Exit : public QWidget
{
    Q_OBJECT
public:
    explicit Frm_Exit(QWidget *parent = nullptr);
    ~Frm_Exit() override;

    // How "بلي" ends the program; by default it leaves the event loop.
    static void SetEndProgram(std::function<void()> end);

    void Yes(); // PushB1
    void No();  // PushButton1

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The main window that asked (the parent), if any.
    MDIForm1 *asking() const;
    void reload();

    bool m_answered = false;
};
