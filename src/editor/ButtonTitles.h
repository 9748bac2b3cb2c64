#pragma once

#include <QColor>
#include <QString>

class QAbstractButton;

namespace vesk {

/// The blue of selected tab titles.
QColor titleBlue();

/// Sets a button's title centred and drawn in the colour; font and the rest stay as they are.
void setTitle(QAbstractButton* button, const QString& title, const QColor& color);

} // namespace vesk
