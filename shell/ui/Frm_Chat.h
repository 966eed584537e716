#pragma once
#include <QDialog>

class QWidget;

// The contact window ("سايت ما"): the vendor's web site in a browser view
// that always fills the window. Opened modally.
class Frm_Chat : public QDialog
{
    Q_OBJECT
public:
    explicit Frm_Chat(QWidget *parent = nullptr);
    ~Frm_Chat() override;

    // The page asked for on load.
    QUrl RequestedUrl() const;
    QWidget *WebBrowser1() const { return m_browser; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *m_browser = nullptr;
};
