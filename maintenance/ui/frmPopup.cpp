#include "maintenance/ui/frmPopup.h"

#include "common/ProgramFolder.h"
#include "maintenance/UpdateCheck.h"
#include "maintenance/ui/Frm_Progress.h"
#include "maintenance/ui/PopupControl.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPointer>
#include <QPushButton>

frmPopup *frmPopup::Instance()
{
    static QPointer<frmPopup> instance;
    if (!instance)
        instance = new frmPopup;
    return instance;
}

frmPopup::frmPopup(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmPopup"));
    setAttribute(Qt::WA_DontShowOnScreen);
    cmdShow = new QPushButton(QStringLiteral("Show"), this);
    cmdShow->setObjectName(QStringLiteral("cmdShow"));
    PopupControl_[0] = new PopupControl(this);
    PopupControl_[0]->setObjectName(QStringLiteral("PopupControl(0)"));
    PopupControl_[0]->Index = 0;
    connect(cmdShow, &QPushButton::clicked, this, &frmPopup::showNotification);
    connect(PopupControl_[0], &PopupControl::ItemClick, this, &frmPopup::itemClick);
}

QPixmap frmPopup::LoadBitmap(const QString &fileName)
{
    QImageReader reader(DeliveredFile(fileName));
    reader.setDecideFormatFromContent(true);
    return QPixmap::fromImage(reader.read());
}

QPixmap frmPopup::LoadIcon(const QString &fileName, int width, int height)
{
    const QIcon icon(DeliveredFile(fileName));
    if (icon.isNull() || icon.availableSizes().isEmpty())
        return QPixmap();
    return icon.pixmap(QSize(width, height));
}

void frmPopup::SetGreenTheme(PopupControl *popup)
{
    popup->RemoveAllItems();

    auto &background = popup->AddItem(0, 0, 170, 130);
    background.hasBackground = true;
    background.background = QColor(30, 120, 30);
    background.hasBorder = true;
    background.border = QColor(255, 255, 255);

    auto &panel = popup->AddItem(5, 25, 165, 125);
    panel.hasBackground = true;
    panel.background = QColor(70, 130, 70);
    panel.hasBorder = true;
    panel.border = QColor(255, 255, 0);

    auto &more = popup->AddItem(104, 27, 170, 45, QStringLiteral("more..."));
    more.hyperlink = true;

    auto &update = popup->AddItem(0, 70, 170, 100, QStringLiteral("Click here to update"));
    update.hyperlink = true;
    update.centred = true;
    update.wordWrap = true;
    update.textColour = QColor(255, 255, 0);
    update.id = 3;
    popup->FitHeight(update);

    auto &icon = popup->AddItem(12, 30, 12, 47);
    icon.icon = LoadIcon(QStringLiteral("icon3.ico"), 32, 32);

    auto &caption = popup->AddItem(5, 0, 170, 25, QStringLiteral("KVR Software update"));
    caption.verticallyCentred = true;
    caption.textColour = QColor(255, 255, 255);
    caption.bold = true;

    auto &close = popup->AddItem(151, 6, 164, 19);
    close.button = true;
    close.buttonImages = LoadBitmap(QStringLiteral("CloseMSN.bmp"));
    close.id = 2;

    popup->SetPopupSize(170, 130);
}

void frmPopup::showNotification()
{
    PopupControl *popup = PopupControl_[0];
    popup->Animation = 3;
    popup->AnimationDelay = 456;
    popup->ShowDelay = 30000;
    SetGreenTheme(popup);
    popup->Show();
}

void CloseScreens(const QStringList &names)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (names.contains(w->objectName()))
            w->close();
}

void frmPopup::itemClick(int index, int, int id)
{
    PopupControl *popup = PopupControl_[index];
    if (id == 1 || id == 2) {
        popup->ClosePopup();
    } else if (id == 3) {
        popup->ClosePopup();
        CloseScreens({QStringLiteral("Frm_About"), QStringLiteral("Frm_Azmoodani"), QStringLiteral("Frm_backup"),
                      QStringLiteral("Frm_Ergebnis"), QStringLiteral("Frm_File"), QStringLiteral("Frm_Pasoch"),
                      QStringLiteral("Frm_Progress")});
        ShowDownloadScreen()(nullptr);
        CloseScreens({QStringLiteral("Frm_Setting"), QStringLiteral("Frm_Test"), QStringLiteral("Frm_Update")});
    }
}

void ShowUpdateNotification() { frmPopup::Instance()->cmdShow->click(); }

bool RunStartupUpdateCheck(QWidget *noticePanel)
{
    if (!UpdateCheck::StartupUpdateCheck())
        return false;
    if (noticePanel)
        noticePanel->setVisible(true);
    ShowUpdateNotification();
    return true;
}
