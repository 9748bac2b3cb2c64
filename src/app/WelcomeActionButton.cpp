#include "WelcomeActionButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

namespace vesk {

namespace {

constexpr int kIconSize = 32;
constexpr int kPadding = 10;

QFont titleFont(const QFont& base)
{
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont subtitleFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.9);
    return font;
}

} // namespace

WelcomeActionButton::WelcomeActionButton(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setIconSize({kIconSize, kIconSize});
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void WelcomeActionButton::setSubtitle(const QString& subtitle)
{
    m_subtitle = subtitle;
    updateGeometry();
    update();
}

QSize WelcomeActionButton::sizeHint() const
{
    const QFontMetrics title(titleFont(font()));
    const QFontMetrics sub(subtitleFont(font()));
    const int textWidth =
        std::max(title.horizontalAdvance(text()), sub.horizontalAdvance(m_subtitle));
    const int textHeight = title.height() + (m_subtitle.isEmpty() ? 0 : 2 + sub.height());
    return {kPadding * 3 + kIconSize + textWidth,
            std::max(kIconSize, textHeight) + 2 * kPadding - 2};
}

QSize WelcomeActionButton::minimumSizeHint() const
{
    return sizeHint();
}

void WelcomeActionButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isDown() || underMouse()) {
        QColor fill = colours.color(QPalette::Highlight);
        fill.setAlphaF(isDown() ? 0.28 : 0.14);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(area, 6, 6);
    }
    if (hasFocus()) {
        QColor ring = colours.color(QPalette::Highlight);
        painter.setPen(QPen(ring, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(area.adjusted(1, 1, -1, -1), 6, 6);
    }

    const int iconTop = (height() - kIconSize) / 2;
    icon().paint(&painter, QRect(kPadding, iconTop, kIconSize, kIconSize), Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);

    const QFont title = titleFont(font());
    const QFont sub = subtitleFont(font());
    const QFontMetrics titleMetrics(title);
    const QFontMetrics subMetrics(sub);
    const int textLeft = kPadding * 2 + kIconSize;
    const int textWidth = width() - textLeft - kPadding;
    const int textHeight =
        titleMetrics.height() + (m_subtitle.isEmpty() ? 0 : 2 + subMetrics.height());
    int y = (height() - textHeight) / 2;
    painter.setFont(title);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(textLeft, y, textWidth, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(text(), Qt::ElideRight, textWidth));
    if (!m_subtitle.isEmpty()) {
        y += titleMetrics.height() + 2;
        painter.setFont(sub);
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(QRect(textLeft, y, textWidth, subMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         subMetrics.elidedText(m_subtitle, Qt::ElideRight, textWidth));
    }
}

QIcon WelcomeActionButton::galleryIcon(const QColor& colour)
{
    QIcon icon;
    for (int size : {kIconSize, kIconSize * 2}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const qreal unit = size / 32.0;
        const qreal tile = 12 * unit;
        const qreal gap = 3 * unit;
        const qreal start = (size - 2 * tile - gap) / 2;
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 2; ++column) {
                QColor fill = colour;
                // One tile lighter, so the grid reads as pictures rather than a button.
                if (row == 0 && column == 1)
                    fill = fill.lighter(135);
                painter.setBrush(fill);
                painter.drawRoundedRect(
                    QRectF(start + column * (tile + gap), start + row * (tile + gap), tile, tile),
                    2.5 * unit, 2.5 * unit);
            }
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vesk
