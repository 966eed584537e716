#pragma once
#include <QDialog>
#include <functional>

class FileDownloader;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The update download screen: downloads the installer into the program
// folder, shows the progress as a bar and a percentage, checks the installer's
// published signature against the vendor's key, then starts the installer and
// ends the program. A file whose signature does not hold is deleted and never
// started. Shown modally.
class Frm_Progress : public QDialog
{
    Q_OBJECT
public:
    explicit Frm_Progress(QWidget *parent = nullptr);
    ~Frm_Progress() override;

    QLineEdit *Text;      // the download URL, hidden
    QLabel *Label1;       // "Address File :", hidden
    FileDownloader *Downloader;
    QPushButton *PushButton2; // "دانلود" / "انصراف": the screen's only download state
    QPushButton *PushButton1; // exit
    QFrame *Pic1;         // white track, 6700 twips
    QFrame *I1;           // the bar, percent x 67 twips
    QLabel *Label4;       // percentage
    QLabel *Label3;       // "KVR"
    QLabel *Label2;       // vendor contact lines

    // Width of the bar in twips, as last set.
    int BarTwips() const { return m_barTwips; }

    // Starts the installer; false when it could not be started. Tests
    // replace it.
    static std::function<bool(const QString &path, QString *error)> &StartInstaller();
    // Ends the program at once after the installer has started. Tests
    // replace it.
    static std::function<void()> &EndProgram();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void pressDownload();
    void onProgress(const QString &percent);
    void onError(const QString &message);
    void onComplete();
    void verifyAndStart(const QString &url, const QString &installer);

    int m_barTwips = 0;
    bool m_closeWhenDone = false;
    bool m_completed = false;
};

// Shows the download screen modally; used by the update check screen and
// the notification. Tests replace it.
std::function<void(QWidget *parent)> &ShowDownloadScreen();
