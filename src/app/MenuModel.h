#pragma once

#include <functional>

#include <QList>
#include <QMenu>
#include <QString>
#include <QVariant>

#include "VagrantEnvironment.h"

namespace vesk {

/// One row of a menu as data, so that the menu's content can be read (and its commands run)
/// without a tray or a display.
struct MenuItemModel
{
    using Action = std::function<void(const MenuItemModel& sender)>;

    bool separator = false;
    QString title;
    QString image;              // resource name under :/icons, empty for none
    bool templateImage = false; // monochrome, tinted to follow the panel
    bool enabled = true;
    bool vkItem = false; // carries environment / extraStuff
    VagrantEnvironmentPtr environment;
    QVariant extraStuff;
    Action action; // empty: the item does nothing (captions, submenu holders)
    QList<MenuItemModel> submenu;

    static MenuItemModel makeSeparator()
    {
        MenuItemModel item;
        item.separator = true;
        return item;
    }

    /// Runs the item's command as a click would (nothing for disabled items).
    void trigger() const
    {
        if (enabled && action)
            action(*this);
    }
};

/// A submenu that makes its actions from its rows when it is first opened.
class LazyMenu : public QMenu
{
public:
    explicit LazyMenu(QWidget* parent = nullptr);
    QList<MenuItemModel> rows;
};

/// Where a row's submenu goes: a LazyMenu from an earlier build to refill, or null for a new one.
using SubmenuSupplier = std::function<QMenu*(const MenuItemModel& row)>;

/// Turns rows into the actions of a real menu: submenus become child menus of the menu that holds
/// them (titled like their row, filled when first opened), machine rows become VKMenuItems, and a
/// chosen row runs its action.
void fillMenu(QMenu* menu, const QList<MenuItemModel>& items, const SubmenuSupplier& supplier = {});

} // namespace vesk
