#pragma once

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "TestSupport.h"
#include "VagrantHelper.h"

namespace vesk::test {

struct Machine
{
    QString id;
    QString name;
    QString state;
    QString folder;
    QString box = {};
    QString provider = QStringLiteral("virtualbox");
};

inline QString indexPath()
{
    return QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
}

// An index as Vagrant writes it. Written by hand: QJsonObject would sort the ids, and the rows
// follow the index's own order.
inline QByteArray indexDocument(const QList<Machine>& machines)
{
    QByteArray entries;
    for (const Machine& machine : machines) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), machine.name);
        entry.insert(QStringLiteral("provider"), machine.provider);
        // No folder: the entry names none (as a machine whose project has gone may).
        if (!machine.folder.isEmpty()) {
            entry.insert(QStringLiteral("local_data_path"),
                         QString(machine.folder + QStringLiteral("/.vagrant")));
            entry.insert(QStringLiteral("vagrantfile_path"), machine.folder);
        }
        if (!machine.state.isEmpty())
            entry.insert(QStringLiteral("state"), machine.state);
        if (!machine.box.isEmpty()) {
            QJsonObject box{{QStringLiteral("name"), machine.box},
                            {QStringLiteral("provider"), machine.provider},
                            {QStringLiteral("version"), QStringLiteral("1.0.0")}};
            entry.insert(QStringLiteral("extra_data"), QJsonObject{{QStringLiteral("box"), box}});
        }
        if (!entries.isEmpty())
            entries += ',';
        entries +=
            '"' + machine.id.toUtf8() + "\":" + QJsonDocument(entry).toJson(QJsonDocument::Compact);
    }
    return "{\"version\":1,\"machines\":{" + entries + "}}";
}

inline bool writeIndex(const QList<Machine>& machines)
{
    return writeFile(indexPath(), indexDocument(machines));
}

// A helper that runs nothing: vagrant is /usr/bin/true, VirtualBox is absent.
inline VagrantHelper::Options quietOptions(bool watch = false)
{
    VagrantHelper::Options options;
    options.vagrantCandidates = {QStringLiteral("/usr/bin/true")};
    options.vboxCandidates = {};
    options.watchIndex = watch;
    return options;
}

} // namespace vesk::test
