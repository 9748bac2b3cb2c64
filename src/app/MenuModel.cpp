#include "MenuModel.h"

#include <QMenu>
#include <QPalette>

#include "Icons.h"
#include "VKMenuItem.h"

namespace vesk {

void fillMenu(QMenu* menu, const QList<MenuItemModel>& items)
{
    const QColor ink = menu->palette().color(QPalette::Text);
    for (const MenuItemModel& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (item.vkItem) {
            auto* vk = new VKMenuItem(item.title, menu);
            vk->setEnvironment(item.environment);
            vk->setExtraStuff(item.extraStuff);
            action = vk;
        } else {
            action = new QAction(item.title, menu);
        }
        if (!item.image.isEmpty())
            action->setIcon(item.templateImage ? templateIcon(item.image, ink)
                                               : veskIcon(item.image));
        action->setEnabled(item.enabled);
        action->setIconVisibleInMenu(true);
        if (!item.submenu.isEmpty()) {
            QMenu* submenu = new QMenu(item.title, menu);
            // The window title names the open submenu to the window system and assistive tools.
            submenu->setWindowTitle(item.title);
            fillMenu(submenu, item.submenu);
            action->setMenu(submenu);
        } else if (item.action) {
            QObject::connect(action, &QAction::triggered, action, [item] { item.trigger(); });
        }
        menu->addAction(action);
    }
}

} // namespace vesk
