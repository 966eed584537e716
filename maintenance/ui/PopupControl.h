#pragma once
#include <QColor>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QWidget>

class QTimer;
class QVariantAnimation;

// A pop-up notification: a frameless window in a corner of the screen whose
// look is made entirely of items (rectangles with colours, texts, an icon, a
// close button). It unfolds when shown and closes itself after its display
// time. A click on an item is reported with the item and its id.
class PopupControl : public QWidget
{
    Q_OBJECT
public:
    struct Item {
        QRect rect; // left, top, right, bottom as given: QRect(QPoint(l, t), QPoint(r - 1, b - 1))
        QString text;
        int id = 0;
        bool hasBackground = false;
        QColor background;
        bool hasBorder = false;
        QColor border;
        bool hyperlink = false;
        bool bold = false;
        bool wordWrap = false;
        bool centred = false;
        bool verticallyCentred = false;
        QColor textColour = QColor(0, 0, 255);
        QPixmap icon;         // drawn at the item's top-left
        QPixmap buttonImages; // normal, hot and pressed side by side
        bool button = false;  // the close button
    };

    explicit PopupControl(QWidget *parent = nullptr);

    int Index = 0; // element of the notification array

    // 1 unfold
    int Animation = 3;
    int AnimationDelay = 456;   // ms
    int ShowDelay = 30000;      // ms before it closes by itself

    void RemoveAllItems();
    Item &AddItem(int left, int top, int right, int bottom, const QString &text = QString());
    QList<Item> Items() const { return m_items; }
    // Recomputes the item's height for its text (word wrap in its width).
    void FitHeight(Item &item);
    void SetPopupSize(int width, int height);

    // Shows the notification in the bottom corner of the screen's work area.
    void Show();
    // Closes it (also by its own timer).
    void ClosePopup();

    // The item under a point, topmost first; -1 when none.
    int ItemAt(const QPoint &pos) const;
    // Reports a click on item i, as a mouse click would.
    void ClickItem(int i);

    QTimer *DisplayTimer() const { return m_displayTimer; }

signals:
    void ItemClick(int index, int item, int id);

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *) override;

private:
    QList<Item> m_items;
    QSize m_size{170, 130};
    int m_hot = -1;
    int m_pressed = -1;
    double m_unfold = 1.0;
    QTimer *m_displayTimer;
    QVariantAnimation *m_animation;
};
