#pragma once

#include <QAction>
#include <QVariant>

#include "VagrantEnvironment.h"

namespace vesk {

/// A menu item that carries the machine it acts on and one further value (for the Updates items,
/// the path of the document that has an update).
class VKMenuItem : public QAction
{
    Q_OBJECT

public:
    explicit VKMenuItem(const QString& title, QObject* parent = nullptr) : QAction(title, parent) {}

    VagrantEnvironmentPtr environment() const { return m_environment; }
    void setEnvironment(VagrantEnvironmentPtr environment)
    {
        m_environment = std::move(environment);
    }

    QVariant extraStuff() const { return m_extraStuff; }
    void setExtraStuff(const QVariant& value) { m_extraStuff = value; }

private:
    VagrantEnvironmentPtr m_environment;
    QVariant m_extraStuff;
};

} // namespace vesk
