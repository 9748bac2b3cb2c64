#include "Icons.h"

#include <QHash>

#include <cmath>

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>

namespace vesk {

namespace {

QString iconPath(const QString& name)
{
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

QIcon iconFromImages(const QList<QImage>& images)
{
    QIcon icon;
    for (const QImage& image : images) {
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// The label of the badge: one digit keeps it legible at 16 px, more machines read "9+".
QString badgeText(int runningCount)
{
    return runningCount <= 9 ? QString::number(runningCount) : QStringLiteral("9+");
}

} // namespace

QList<int> iconPixelSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QImage renderIcon(const QString& name, int pixelSize, const QColor& tint)
{
    QSvgRenderer renderer(iconPath(name));
    if (!renderer.isValid() || pixelSize <= 0)
        return {};
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixelSize, pixelSize));
    if (tint.isValid()) {
        // Keep the artwork's coverage, replace its colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    painter.end();
    return image;
}

// Icons are drawn once per name and colour: a menu of many machines shows the same dozen
// pictures hundreds of times, and QIcon shares its pixmaps between copies.
QIcon cachedIcon(const QString& name, const QColor& color)
{
    static QHash<QString, QIcon> cache;
    const QString key = name + u'|' + (color.isValid() ? color.name(QColor::HexArgb) : QString());
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QList<QImage> images;
    for (int size : iconPixelSizes())
        images.append(renderIcon(name, size, color));
    const QIcon icon = iconFromImages(images);
    cache.insert(key, icon);
    return icon;
}

QIcon veskIcon(const QString& name)
{
    return cachedIcon(name, QColor());
}

QIcon templateIcon(const QString& name, const QColor& color)
{
    return cachedIcon(name, color);
}

QIcon templateIconForPalette(const QString& name, const QPalette& palette)
{
    return templateIcon(name, palette.color(QPalette::Active, QPalette::WindowText));
}

QImage renderTrayIcon(int runningCount, int pixelSize)
{
    QImage image = renderIcon(QStringLiteral("menu_icon_off"), pixelSize);
    if (image.isNull() || runningCount <= 0)
        return image;

    const QString text = badgeText(runningCount);
    const qreal diameter = std::round(pixelSize * 0.5625);
    const qreal width = text.size() > 1 ? std::round(diameter * 1.45) : diameter;
    const QRectF badge(pixelSize - width, pixelSize - diameter, width, diameter);
    const qreal ring = qMax<qreal>(1.0, std::round(pixelSize / 16.0));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Cut the glyph away around the badge so the two never run into each other.
    QPainterPath gap;
    gap.addRoundedRect(badge.adjusted(-ring, -ring, ring, ring), diameter / 2 + ring,
                       diameter / 2 + ring);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(gap, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath pill;
    pill.addRoundedRect(badge, diameter / 2, diameter / 2);
    painter.fillPath(pill, QColor(0x2d, 0xa4, 0x4e));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(qMax(7, qRound(diameter * 0.8)));
    font.setHintingPreference(QFont::PreferFullHinting);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
    painter.end();
    return image;
}

QIcon trayIconWithBadge(int runningCount)
{
    QList<QImage> images;
    for (int size : {16, 22, 24, 32, 48, 64})
        images.append(renderTrayIcon(runningCount, size));
    return iconFromImages(images);
}

} // namespace vesk
