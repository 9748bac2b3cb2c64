#include <QAction>
#include <QDir>
#include <QTest>
#include <QToolBar>

#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "VagrantHelper.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "Workspace.h"

using namespace vesk;
using namespace vesk::test;

class TestDocumentCommands : public QObject
{
    Q_OBJECT

    static void run(VeskDocument* document, const QString& command)
    {
        if (command == QStringLiteral("export"))
            document->exportVagrantfile();
        else if (command == QStringLiteral("up"))
            document->up();
        else if (command == QStringLiteral("reload"))
            document->reload();
        else
            document->SSH();
    }

private Q_SLOTS:
    void unsavedDocumentStopsEveryCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("informative");
        QTest::newRow("export")
            << "export"
            << "You must save your Vesk document before you can export a Vagrantfile.";
        QTest::newRow("up")
            << "up"
            << "You must save your Vesk document before you can up the virtual machine.";
        QTest::newRow("reload")
            << "reload"
            << "You must save your Vesk document before you can reload the virtual machine.";
        QTest::newRow("SSH")
            << "ssh"
            << "You must save your Vesk document before you can log into the virtual machine.";
    }
    void unsavedDocumentStopsEveryCommand()
    {
        QFETCH(QString, command);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        world.alerts.answer(QStringLiteral("Cancel"));
        run(document, command);
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText, QStringLiteral("Vesk Document Not Saved"));
        QTEST(world.alerts.last().informativeText, "informative");
        QCOMPARE(world.alerts.last().buttons,
                 (QStringList{QStringLiteral("Save..."), QStringLiteral("Cancel")}));
        QVERIFY(world.panels.asked.isEmpty());
        QVERIFY(world.runner().calls.isEmpty());
        QVERIFY(world.workspace().calls.isEmpty());
    }

    void unsavedAlertSaveButtonSavesButDoesNotResume()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        const QString path = world.folder(QStringLiteral("p/web")) + QStringLiteral("/web.vesk");
        world.panels.answer(path);
        world.alerts.answer(QStringLiteral("Save..."));
        document->up();
        QCOMPARE(*document->fileName(), path);
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(world.runner().calls.isEmpty());
        QVERIFY(!QFileInfo::exists(QFileInfo(path).dir().filePath(QStringLiteral("Vagrantfile"))));
    }

    void componentCheck_data()
    {
        QTest::addColumn<bool>("vagrant");
        QTest::addColumn<bool>("virtualBox");
        QTest::addColumn<bool>("suppressVirtualBox");
        QTest::addColumn<bool>("suppressVagrant");
        QTest::addColumn<QString>("alert");
        QTest::newRow("both installed") << true << true << false << false << "";
        QTest::newRow("VirtualBox missing")
            << true << false << false << false << "VirtualBox Is Not Installed";
        QTest::newRow("both missing: VirtualBox first")
            << false << false << false << false << "VirtualBox Is Not Installed";
        QTest::newRow("Vagrant missing")
            << false << true << false << false << "Vagrant Is Not Installed";
        QTest::newRow("VirtualBox suppressed, Vagrant missing")
            << false << false << true << false << "Vagrant Is Not Installed";
        QTest::newRow("both suppressed") << false << false << true << true << "";
    }
    void componentCheck()
    {
        QFETCH(bool, vagrant);
        QFETCH(bool, virtualBox);
        QFETCH(bool, suppressVirtualBox);
        QFETCH(bool, suppressVagrant);
        QFETCH(QString, alert);
        EditorWorld world;
        world.setInstalled(vagrant, virtualBox);
        UserDefaults::standard().setValue(kUserDefaultsSuppressVirtualBoxNotInstalledWarning,
                                          suppressVirtualBox);
        UserDefaults::standard().setValue(kUserDefaultsSuppressVagrantNotInstalledWarning,
                                          suppressVagrant);
        VeskDocument* document = world.controller().newDocument();
        world.alerts.answer(QStringLiteral("No"));

        QCOMPARE(document->componentsCheck(), alert.isEmpty());
        QCOMPARE(world.alerts.titles(), alert.isEmpty() ? QStringList() : QStringList{alert});
    }

    void componentAlertButtons_data()
    {
        QTest::addColumn<bool>("virtualBoxMissing");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("suppress");
        QTest::addColumn<QString>("openedUrl");
        QTest::newRow("VirtualBox: Install... opens its download page")
            << true << "Install..." << false << "https://www.virtualbox.org/wiki/Downloads";
        QTest::newRow("VirtualBox: No with the box ticked") << true << "No" << true << "";
        QTest::newRow("Vagrant: Install... ticked")
            << false << "Install..." << true << "https://developer.hashicorp.com/vagrant/downloads";
        QTest::newRow("Vagrant: No") << false << "No" << false << "";
    }
    void componentAlertButtons()
    {
        QFETCH(bool, virtualBoxMissing);
        QFETCH(QString, button);
        QFETCH(bool, suppress);
        QFETCH(QString, openedUrl);
        EditorWorld world;
        world.setInstalled(virtualBoxMissing, !virtualBoxMissing);
        const QString path = world.folder(QStringLiteral("p/web")) + QStringLiteral("/web.vesk");
        world.panels.answer(path);
        VeskDocument* document = world.controller().newDocument();
        QVERIFY(document->saveDocument());
        world.alerts.answer(button, suppress);

        document->up();

        const Alert& alert = world.alerts.last();
        QCOMPARE(alert.buttons, (QStringList{QStringLiteral("Install..."), QStringLiteral("No")}));
        QVERIFY(!alert.suppressionText.isEmpty());
        if (virtualBoxMissing) {
            QCOMPARE(alert.messageText, QStringLiteral("VirtualBox Is Not Installed"));
            QCOMPARE(
                alert.informativeText,
                QStringLiteral(
                    "Before you can run your Vagrantfile, you must first install VirtualBox or "
                    "another virtual machine provider. Would you like to install VirtualBox now?"));
        } else {
            QCOMPARE(alert.messageText, QStringLiteral("Vagrant Is Not Installed"));
            QCOMPARE(alert.informativeText,
                     QStringLiteral("Before you can run your Vagrantfile, you must first install "
                                    "Vagrant. Would you like to install Vagrant now?"));
        }
        const QString key = virtualBoxMissing ? kUserDefaultsSuppressVirtualBoxNotInstalledWarning
                                              : kUserDefaultsSuppressVagrantNotInstalledWarning;
        QCOMPARE(UserDefaults::standard().boolForKey(key), suppress);
        QCOMPARE(world.workspace().calls.size(), openedUrl.isEmpty() ? 0 : 1);
        if (!openedUrl.isEmpty())
            QCOMPARE(world.workspace().calls.first().target, openedUrl);
        // The command does not go ahead after the alert.
        QVERIFY(world.runner().calls.isEmpty());
    }

    void installHookReplacesDownloadPage()
    {
        EditorWorld world;
        world.setInstalled(true, false);
        int installs = 0;
        world.controller().hooks().installVirtualBox = [&] { ++installs; };
        VeskDocument* document = world.controller().newDocument();
        world.alerts.answer(QStringLiteral("Install..."));
        document->reload();
        QCOMPARE(installs, 1);
        QVERIFY(world.workspace().calls.isEmpty());
    }

    void forbiddenFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        const QString home = QDir::homePath();
        QTest::newRow("Desktop") << home + QStringLiteral("/Desktop") << "Desktop";
        QTest::newRow("Desktop with trailing slash")
            << home + QStringLiteral("/Desktop/") << "Desktop";
        QTest::newRow("Documents") << home + QStringLiteral("/Documents") << "Documents";
        QTest::newRow("system Applications") << "/Applications"
                                             << "Applications";
        QTest::newRow("own Applications")
            << home + QStringLiteral("/Applications") << "Applications";
        QTest::newRow("Downloads") << home + QStringLiteral("/Downloads") << "Downloads";
        QTest::newRow("Dropbox") << home + QStringLiteral("/Dropbox") << "Dropbox";
        QTest::newRow("Movies") << home + QStringLiteral("/Movies") << "Movies";
        QTest::newRow("Music") << home + QStringLiteral("/Music") << "Music";
        QTest::newRow("Pictures") << home + QStringLiteral("/Pictures") << "Pictures";
        QTest::newRow("Public") << home + QStringLiteral("/Public") << "Public";
        QTest::newRow("home itself") << home << "Home";
        QTest::newRow("sub-folder of Desktop") << home + QStringLiteral("/Desktop/web") << "";
        QTest::newRow("sub-folder of home") << home + QStringLiteral("/Projects") << "";
        QTest::newRow("similar name") << home + QStringLiteral("/Desktop2") << "";
        QTest::newRow("elsewhere") << "/srv/machines"
                                   << "";
    }
    void forbiddenFolders()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QCOMPARE(VeskDocument::forbiddenFolderName(folder).value_or(QString()), name);
    }

    void upFromForbiddenFolderIsStopped()
    {
        EditorWorld world;
        const QString path = QDir::homePath() + QStringLiteral("/Desktop/web.vesk");
        writeFile(path, readFile(QStringLiteral(VESK_FIXTURES_DIR "/documents/version2.vesk")));
        VeskDocument* document = world.controller().openDocument(path);
        document->up();
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(
            world.alerts.last().messageText,
            QStringLiteral("Vagrant Machines Should Not Be Launched From Your Desktop Folder"));
        QCOMPARE(world.alerts.last().informativeText,
                 QStringLiteral(
                     "By default, Vagrant automatically shares your Vagrantfile's folder with the "
                     "virtual machine. Because of this, we don't allow you to create a new virtual "
                     "machine in your Desktop folder.\n\nWe suggest moving this Vesk document to "
                     "its own sub-folder.\n\nIf you know what you're doing and really want to do "
                     "this, you can manually \"up\" your Vagrantfile from the command line."));
        QCOMPARE(world.alerts.last().buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(world.runner().calls.isEmpty());
        QVERIFY(!QFileInfo::exists(QDir::homePath() + QStringLiteral("/Desktop/Vagrantfile")));

        // Reload and SSH skip the location check.
        document->reload();
        document->SSH();
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.runner().calls.size(), 1);
        QCOMPARE(world.workspace().calls.size(), 1);
        QFile::remove(path);
    }

    void upExportsOnlyWhenNoVagrantfileExists_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("no Vagrantfile yet: exported") << false;
        QTest::newRow("existing Vagrantfile: kept") << true;
    }
    void upExportsOnlyWhenNoVagrantfileExists()
    {
        QFETCH(bool, existing);
        EditorWorld world;
        const QString path = world.copyFixture(QStringLiteral("version2.vesk"),
                                               QStringLiteral("machines/db/db.vesk"));
        const QString vagrantfile = QFileInfo(path).dir().filePath(QStringLiteral("Vagrantfile"));
        if (existing)
            writeFile(vagrantfile, "# exported earlier\n");
        VeskDocument* document = world.controller().openDocument(path);
        // The document has lines of its own, which Up checks first unless a check passed on
        // them already; the recording runner passes every check.
        world.runner().completeAtOnce = true;
        if (existing)
            document->check();

        document->up();

        QCOMPARE(world.alerts.count(), 0);
        const QByteArray written = readFile(vagrantfile);
        if (existing)
            QCOMPARE(written, QByteArray("# exported earlier\n"));
        else
            QVERIFY(written.contains("debian/bookworm64"));
        QCOMPARE(world.runner().calls.size(), 2);
        QVERIFY(world.runner().calls.first().command.commandLine.endsWith(
            QStringLiteral(" validate")));
        const QString commandLine = world.runner().calls.last().command.commandLine;
        QVERIFY2(commandLine.contains(QStringLiteral(" up")), qPrintable(commandLine));
        QVERIFY2(commandLine.contains(QFileInfo(path).absolutePath()), qPrintable(commandLine));
    }

    void upStopsWhenTheExportFails()
    {
        EditorWorld world;
        const QString path = world.copyFixture(QStringLiteral("version2.vesk"),
                                               QStringLiteral("machines/db/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        // A folder where the Vagrantfile should be: it can be neither found as a file nor written.
        QDir().mkpath(QFileInfo(path).dir().filePath(QStringLiteral("bootstrap.sh/locked")));
        world.runner().completeAtOnce = true;
        document->up();
        QCOMPARE(world.alerts.titles(),
                 QStringList{QStringLiteral("The Vagrantfile Could Not Be Exported")});
        // Only the check ran; vagrant up did not.
        QCOMPARE(world.runner().commandLines().size(), 1);
        QVERIFY(world.runner().commandLines().first().endsWith(QStringLiteral(" validate")));
    }

    void reloadAndSSHUseTheDocumentFolder()
    {
        EditorWorld world;
        const QString path = world.copyFixture(QStringLiteral("version2.vesk"),
                                               QStringLiteral("machines/db/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        document->reload();
        QCOMPARE(world.runner().calls.size(), 1);
        QVERIFY(
            world.runner().calls.first().command.commandLine.contains(QStringLiteral(" reload")));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).dir().filePath(QStringLiteral("Vagrantfile"))));
        document->SSH();
        QCOMPARE(world.workspace().calls.size(), 1);
        QCOMPARE(world.workspace().calls.first().kind, QStringLiteral("runInTerminal"));
        QCOMPARE(world.alerts.count(), 0);

        // No terminal ran it: the window says so instead of doing nothing.
        world.workspace().result = false;
        document->SSH();
        QCOMPARE(world.alerts.titles(),
                 QStringList{QStringLiteral("The SSH session could not be opened.")});
        QCOMPARE(world.alerts.last().informativeText, QStringLiteral("No terminal was found."));
    }

    void menuAndToolbarReachTheCommands()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        for (const char* name :
             {"actionNew", "actionOpen", "actionSave", "actionSaveAs", "actionClose",
              "actionExport", "actionCheck", "actionUp", "actionReload", "actionSSH"})
            QVERIFY2(document->action(QString::fromLatin1(name)), name);
        auto* toolbar = document->window()->findChild<QToolBar*>(QStringLiteral("toolbar"));
        QVERIFY(toolbar);
        QVERIFY(toolbar->actions().contains(document->action(QStringLiteral("actionCheck"))));
        QCOMPARE(document->action(QStringLiteral("actionSave"))->shortcut(),
                 QKeySequence(QKeySequence::Save));
        QCOMPARE(document->action(QStringLiteral("actionNew"))->shortcut(),
                 QKeySequence(QKeySequence::New));
        world.alerts.answer(QStringLiteral("Cancel"));
        document->action(QStringLiteral("actionExport"))->trigger();
        QCOMPARE(world.alerts.titles(), QStringList{QStringLiteral("Vesk Document Not Saved")});
        document->action(QStringLiteral("actionNew"))->trigger();
        QCOMPARE(world.controller().documents().size(), 2);
    }
};

VESK_TEST(TestDocumentCommands)
#include "tst_DocumentCommands.moc"
