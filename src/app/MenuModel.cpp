#include "MenuModel.h"

#include <QMenu>
#include <QPalette>

#include "Icons.h"
#include "VKMenuItem.h"

namespace vesk {

LazyMenu::LazyMenu(QWidget* parent) : QMenu(parent)
{
    // Filled when first opened: a thousand machines are a thousand submenus that are rebuilt on
    // every change of the index, and only the one looked at is needed.
    connect(this, &QMenu::aboutToShow, this, [this] {
        if (isEmpty())
            fillMenu(this, rows);
    });
}

void fillMenu(QMenu* menu, const QList<MenuItemModel>& items, const SubmenuSupplier& supplier)
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
            auto* submenu = supplier ? dynamic_cast<LazyMenu*>(supplier(item)) : nullptr;
            if (submenu)
                submenu->clear(); // kept from an earlier build: its old rows go
            else
                submenu = new LazyMenu(menu);
            submenu->setTitle(item.title);
            // The window title names the open submenu to the window system and assistive tools.
            submenu->setWindowTitle(item.title);
            submenu->rows = item.submenu;
            // One that is open shows the new rows at once.
            if (submenu->isVisible())
                fillMenu(submenu, submenu->rows);
            action->setMenu(submenu);
        } else if (item.action) {
            QObject::connect(action, &QAction::triggered, action, [item] { item.trigger(); });
        }
        menu->addAction(action);
    }
}

} // namespace vesk
