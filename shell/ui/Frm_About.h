#pragma once
#include <QWidget>

class QLabel;

// The about screen ("تماس با ما"): the program's version, facts about the
// questionnaire and the vendor's links. Modeless; the main window stays
// disabled while it is open.
class Frm_About : public QWidget
{
    Q_OBJECT
public:
    explicit Frm_About(QWidget *parent = nullptr);
    ~Frm_About() override;

    // A click on line index of Label1: 4 opens the shop, 5 the messaging
    // link, 6 the web site; the other lines do nothing.
    void Label1Click(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QList<QLabel *> m_label1;
};

// "ورژن نرم افزار شما: " and the version as major.minor.revision.
QString VersionLine(int major, int minor, int revision);
