#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPalette>
#include <QString>

namespace vesk {

/// The pixel sizes every icon is drawn at, so menus and panels never scale a bitmap.
QList<int> iconPixelSizes();

/// Draws the artwork ":/icons/<name>.svg" at a square pixel size; a valid `tint` recolours every
/// drawn pixel (template artwork is black on transparent). Null image when there is no artwork.
QImage renderIcon(const QString& name, int pixelSize, const QColor& tint = QColor());

/// The artwork ":/icons/<name>.svg" in its own colours; a null icon when there is none.
QIcon veskIcon(const QString& name);

/// Template artwork recoloured, e.g. to the text colour of a light or dark menu.
QIcon templateIcon(const QString& name, const QColor& color);

/// Template artwork in the text colour of a palette (the application's palette by default).
QIcon templateIconForPalette(const QString& name,
                             const QPalette& palette = QGuiApplication::palette());

/// The tray icon ("menu_icon_off", light with a dark rim so that it reads on light and dark panels)
/// with the number of running machines as a green badge in its lower right corner; plain when 0.
QIcon trayIconWithBadge(int runningCount);

/// The picture of the tray icon at one pixel size (what trayIconWithBadge assembles).
QImage renderTrayIcon(int runningCount, int pixelSize);

} // namespace vesk
