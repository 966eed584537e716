#include "maintenance/ui/PopupControl.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>

PopupControl::PopupControl(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("PopupControl"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
    setLayoutDirection(Qt::LeftToRight); // items are placed in absolute pixels

    m_displayTimer = new QTimer(this);
    m_displayTimer->setObjectName(QStringLiteral("PopupDisplayTimer"));
    m_displayTimer->setSingleShot(true);
    connect(m_displayTimer, &QTimer::timeout, this, &PopupControl::ClosePopup);

    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_unfold = v.toDouble();
        update();
    });
}

void PopupControl::RemoveAllItems()
{
    m_items.clear();
    m_hot = m_pressed = -1;
    update();
}

PopupControl::Item &PopupControl::AddItem(int left, int top, int right, int bottom, const QString &text)
{
    Item item;
    item.rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    item.text = text;
    m_items.append(item);
    return m_items.last();
}

void PopupControl::FitHeight(Item &item)
{
    QFont f = font();
    f.setBold(item.bold);
    const QFontMetrics fm(f);
    int flags = item.wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine;
    const QRect needed = fm.boundingRect(QRect(0, 0, qMax(1, item.rect.width()), 10000), flags, item.text);
    item.rect.setHeight(needed.height());
}

void PopupControl::SetPopupSize(int width, int height)
{
    m_size = QSize(width, height);
    setFixedSize(m_size);
}

void PopupControl::Show()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    setFixedSize(m_size);
    move(area.right() - m_size.width() - 8, area.bottom() - m_size.height() - 8);
    m_hot = m_pressed = -1;
    if (Animation != 0 && AnimationDelay > 0) {
        m_unfold = 0.0;
        m_animation->stop();
        m_animation->setDuration(AnimationDelay);
        m_animation->start();
    } else {
        m_unfold = 1.0;
    }
    show();
    raise();
    m_displayTimer->start(ShowDelay);
}

void PopupControl::ClosePopup()
{
    m_displayTimer->stop();
    m_animation->stop();
    hide();
}

int PopupControl::ItemAt(const QPoint &pos) const
{
    for (int i = int(m_items.size()) - 1; i >= 0; --i)
        if (m_items[i].rect.contains(pos))
            return i;
    return -1;
}

void PopupControl::ClickItem(int i)
{
    if (i >= 0 && i < m_items.size())
        emit ItemClick(Index, i, m_items[i].id);
}

void PopupControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Unfolding: the window opens from its bottom edge upwards.
    const int shown = int(height() * m_unfold);
    p.setClipRect(0, height() - shown, width(), shown);
    p.translate(0, height() - shown);
    for (int i = 0; i < m_items.size(); ++i) {
        const Item &item = m_items[i];
        if (item.hasBackground)
            p.fillRect(item.rect, item.background);
        if (item.hasBorder) {
            p.setPen(item.border);
            p.setBrush(Qt::NoBrush);
            p.drawRect(item.rect.adjusted(0, 0, -1, -1));
        }
        if (!item.icon.isNull())
            p.drawPixmap(item.rect.topLeft(), item.icon);
        if (item.button) {
            if (!item.buttonImages.isNull()) {
                const int frames = 3;
                const int w = item.buttonImages.width() / frames;
                const int frame = (i == m_pressed) ? 2 : (i == m_hot ? 1 : 0);
                p.drawPixmap(item.rect.topLeft(), item.buttonImages,
                             QRect(frame * w, 0, w, item.buttonImages.height()));
            }
            continue;
        }
        if (!item.text.isEmpty()) {
            QFont f = font();
            f.setBold(item.bold);
            f.setUnderline(item.hyperlink && i == m_hot);
            p.setFont(f);
            p.setPen(item.textColour);
            int flags = item.wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine;
            flags |= item.centred ? Qt::AlignHCenter : (Qt::AlignLeft | Qt::AlignAbsolute);
            flags |= item.verticallyCentred ? Qt::AlignVCenter : Qt::AlignTop;
            p.drawText(item.rect, flags, item.text);
        }
    }
}

void PopupControl::mouseMoveEvent(QMouseEvent *e)
{
    const int i = ItemAt(e->position().toPoint());
    const int hot = (i >= 0 && (m_items[i].hyperlink || m_items[i].button)) ? i : -1;
    if (hot != m_hot) {
        m_hot = hot;
        setCursor(hot >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
}

void PopupControl::mousePressEvent(QMouseEvent *e)
{
    m_pressed = ItemAt(e->position().toPoint());
    update();
}

void PopupControl::mouseReleaseEvent(QMouseEvent *e)
{
    const int i = ItemAt(e->position().toPoint());
    const bool same = i == m_pressed;
    m_pressed = -1;
    update();
    if (same)
        ClickItem(i);
}

void PopupControl::leaveEvent(QEvent *)
{
    m_hot = -1;
    update();
}
