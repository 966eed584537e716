#pragma once
#include <QPixmap>
#include <QWidget>

class PopupControl;
class QPushButton;

// Host of the update notification. Never shown itself; created on first use
// and kept, hidden. Pressing cmdShow builds the notification and shows it.
class frmPopup : public QWidget
{
    Q_OBJECT
public:
    static frmPopup *Instance();

    PopupControl *Popup(int index = 0) const { return PopupControl_[index]; }
    QPushButton *cmdShow;

    // Images from the program folder; a null pixmap when the file cannot be
    // loaded.
    static QPixmap LoadBitmap(const QString &fileName);
    static QPixmap LoadIcon(const QString &fileName, int width, int height);
    // Builds the notification's items.
    void SetGreenTheme(PopupControl *popup);

private:
    explicit frmPopup(QWidget *parent = nullptr);
    void showNotification();
    void itemClick(int index, int item, int id);

    PopupControl *PopupControl_[1];
};

// Shows the update notification, as pressing frmPopup's cmdShow does.
void ShowUpdateNotification();

// The main window's start-up update check: when a newer version is
// published, shows the main window's notice panel and the notification and
// returns true. Offline, or when the version file cannot be fetched, it does
// nothing and returns false.
bool RunStartupUpdateCheck(QWidget *noticePanel);

// Closes the open top-level screens of these object names.
void CloseScreens(const QStringList &names);
