#include "ButtonTitles.h"

#include <QAbstractButton>
#include <QPalette>

namespace vesk {

QColor titleBlue()
{
    return QColor::fromRgbF(0.119f, 0.399f, 0.964f, 1.0f);
}

void setTitle(QAbstractButton* button, const QString& title, const QColor& color)
{
    if (!button)
        return;
    button->setText(title);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::WindowText, color);
    button->setPalette(palette);
}

} // namespace vesk
