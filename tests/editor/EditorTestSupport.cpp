#include "EditorTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include "DocumentController.h"
#include "DocumentRecovery.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "VagrantHelper.h"
#include "Workspace.h"

namespace vesk::test {

ScriptedAlerts::ScriptedAlerts()
{
    AlertPresenter::setResponder([this](QWidget*, const Alert& alert) {
        AlertResponse response;
        response.button = int(alert.buttons.size()) - 1;
        if (!m_answers.isEmpty()) {
            const auto [title, suppress] = m_answers.takeFirst();
            response.button = int(alert.buttons.indexOf(title));
            response.suppressionChecked = suppress;
            if (response.button < 0) {
                problem =
                    QStringLiteral("no button \"%1\" in \"%2\"").arg(title, alert.messageText);
                response.button = int(alert.buttons.size()) - 1;
            }
        }
        shown.append({alert, alert.buttons.value(response.button)});
        return response;
    });
}

ScriptedAlerts::~ScriptedAlerts()
{
    AlertPresenter::setResponder({});
}

void ScriptedAlerts::answer(const QString& button, bool suppress)
{
    m_answers.append({button, suppress});
}

QStringList ScriptedAlerts::titles() const
{
    QStringList result;
    for (const Shown& entry : shown)
        result.append(entry.alert.messageText);
    return result;
}

ScriptedPanels::ScriptedPanels()
{
    FilePanels::setResponder([this](FilePanels::Kind kind, const QString& start) {
        asked.append({kind, start});
        return m_answers.isEmpty() ? QStringList() : QStringList{m_answers.takeFirst()};
    });
}

ScriptedPanels::~ScriptedPanels()
{
    FilePanels::setResponder({});
}

EditorWorld::EditorWorld()
{
    UserDefaults::standard().clear();
    QDir(DocumentRecovery::folder()).removeRecursively();
    auto workspace = std::make_unique<RecordingWorkspace>();
    m_workspace = workspace.get();
    Workspace::setShared(std::move(workspace));
    auto runner = std::make_unique<RecordingCommandRunner>();
    m_runner = runner.get();
    VagrantHelper::sharedInstance().setCommandRunner(std::move(runner));
    setInstalled(true, true);
    m_controller = std::make_unique<DocumentController>();
    m_controller->setAutosaveDelay(50);
}

EditorWorld::~EditorWorld()
{
    m_controller.reset();
    VagrantHelper::sharedInstance().setCommandRunner(nullptr);
    Workspace::setShared(nullptr);
    UserDefaults::standard().clear();
    QDir(DocumentRecovery::folder()).removeRecursively();
}

QMessageBox* shownAlert(int timeout)
{
    QMessageBox* found = nullptr;
    // Whether it came is in `found`.
    [[maybe_unused]] const bool shown = QTest::qWaitFor(
        [&found] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box)
                    box = widget->findChild<QMessageBox*>(QStringLiteral("alert"));
                if (box && box->objectName() == QStringLiteral("alert") && box->isVisible()) {
                    found = box;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

bool pressAlertButton(QMessageBox* box, const QString& title)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title) {
            button->click();
            return true;
        }
    }
    return false;
}

void EditorWorld::setInstalled(bool vagrant, bool virtualBox)
{
    const QString vagrantPath = folder(QStringLiteral("bin")) + QStringLiteral("/vagrant");
    const QString vboxPath = folder(QStringLiteral("bin")) + QStringLiteral("/vboxwebsrv");
    for (const QString& path : {vagrantPath, vboxPath}) {
        writeFile(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    }
    VagrantHelper& helper = VagrantHelper::sharedInstance();
    helper.setVagrantCandidates({vagrant ? vagrantPath : vagrantPath + QStringLiteral(".missing")});
    helper.setVBoxCandidates({virtualBox ? vboxPath : vboxPath + QStringLiteral(".missing")});
}

QString EditorWorld::folder(const QString& relative) const
{
    const QString path = relative.isEmpty() ? m_dir.path() : QDir(m_dir.path()).filePath(relative);
    QDir().mkpath(path);
    return path;
}

QString EditorWorld::copyFixture(const QString& fixture, const QString& relativeTarget)
{
    const QString target = QDir(m_dir.path()).filePath(relativeTarget);
    writeFile(target, readFile(QStringLiteral(VESK_FIXTURES_DIR "/documents/") + fixture));
    return target;
}

void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

VeskDocument* openRealisticDocument(EditorWorld& world, const QString& path)
{
    const QByteArray json =
        R"({"veskVersion":2,"boxName":"debian/bookworm64",)"
        R"("bootstrapShellCode":"#!/usr/bin/env bash\n# Provisioning for the web tier\nset -euo pipefail\n\nexport DEBIAN_FRONTEND=noninteractive\napt-get update\napt-get install -y nginx postgresql-15 redis-server\n\n# Site configuration\ncp /vagrant/config/nginx.conf /etc/nginx/sites-available/shop\nln -sf /etc/nginx/sites-available/shop /etc/nginx/sites-enabled/shop\nsystemctl restart nginx\n\nfor service in postgresql redis-server; do\n    systemctl enable --now \"$service\"\ndone\necho \"Provisioned on $(date)\"\n",)"
        R"("additionalVagrantCommands":"config.vm.hostname = \"shop-web\"\nconfig.vm.provider \"virtualbox\" do |vb|\n  vb.memory = 2048\n  vb.cpus = 2\nend",)"
        R"("portForwards":[{"from":8080,"to":80},{"from":8443,"to":443},{"from":5432,"to":5432},{"from":6379,"to":6379}],)"
        R"("syncedDirectories":[{"host":"~/Projects/shop/site","guest":"/var/www/shop"},{"host":"~/Projects/shop/config","guest":"/etc/shop"},{"host":"/srv/shared/assets","guest":"/var/www/assets"}],)"
        R"("remoteURL":"https://vesk.example.org/teams/shop/web.vesk","UUID":"6F1C2D3E-4B5A-4C6D-8E7F-90A1B2C3D4E5",)"
        R"("preamble":"# -*- mode: ruby -*-\nrequire 'yaml'\nsettings = YAML.load_file('settings.yml') rescue {}","revision":4})";
    writeFile(path, json);
    return world.controller().openDocument(path);
}

} // namespace vesk::test
