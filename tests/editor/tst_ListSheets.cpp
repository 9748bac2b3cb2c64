#include <QDialog>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "QsciWidgets.h"

#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskViewController.h"
#include "Workspace.h"

using namespace vesk;
using namespace vesk::test;

class TestListSheets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portSheetRules_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("alert");
        QTest::newRow("1024 accepted") << "1024"
                                       << "80" << true << false;
        QTest::newRow("1023 refused") << "1023"
                                      << "80" << false << true;
        QTest::newRow("negative refused") << "-8080"
                                          << "80" << false << true;
        QTest::newRow("letters count as 0") << "http"
                                            << "80" << false << true;
        QTest::newRow("guest never checked") << "8080"
                                             << "abc" << true << false;
        QTest::newRow("empty host ignored") << ""
                                            << "80" << false << false;
        QTest::newRow("empty guest ignored") << "8080"
                                             << "" << false << false;
    }
    void portSheetRules()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, accepted);
        QFETCH(bool, alert);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("typed/box"));
        document->updateChangeCount(VeskDocument::ChangeType::Cleared);
        document->addPortForward();
        QVERIFY(document->sheetPortForward()->isVisible());
        QCOMPARE(document->txtPortFrom()->text(), QString());
        document->txtPortFrom()->setText(from);
        document->txtPortTo()->setText(to);

        document->confirmPortForward();

        QCOMPARE(document->sheetPortForward()->isVisible(), !accepted);
        QCOMPARE(document->dataModel()->portForwards().size(), accepted ? 1 : 0);
        QCOMPARE(document->vcVesk()->tblPortForwards()->model()->rowCount(), accepted ? 1 : 0);
        QCOMPARE(document->isDocumentEdited(), accepted);
        QCOMPARE(world.alerts.count(), alert ? 1 : 0);
        if (alert) {
            QCOMPARE(world.alerts.last().messageText,
                     QStringLiteral("From Port Cannot Be Less Than 1024"));
            QCOMPARE(world.alerts.last().informativeText,
                     QStringLiteral("Due to security restrictions built into OS X, the \"From "
                                    "Port\" cannot be less than 1024."));
            QCOMPARE(world.alerts.last().buttons, QStringList{QStringLiteral("OK")});
            QVERIFY(world.alerts.last().applicationModal);
            QCOMPARE(document->txtPortFrom()->text(), from);
        }
        if (accepted) {
            QCOMPARE(document->dataModel()->portForwards().first(),
                     (PortForward{VeskDocument::intValue(from), VeskDocument::intValue(to)}));
            // The list edit refilled the controls without losing the typed box name.
            QCOMPARE(document->vcVesk()->txtBoxName()->text(), QStringLiteral("typed/box"));
        }
    }

    void cancelledPortSheetAddsNothing()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        document->addPortForward();
        document->txtPortFrom()->setText(QStringLiteral("8080"));
        document->txtPortTo()->setText(QStringLiteral("80"));
        document->cancelPortForward();
        QVERIFY(!document->sheetPortForward()->isVisible());
        QVERIFY(document->dataModel()->portForwards().isEmpty());
        QVERIFY(!document->isDocumentEdited());
        document->addPortForward();
        QCOMPARE(document->txtPortFrom()->text(), QString());
    }

    void folderSheetRules_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("guest");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("both given") << "/src/site"
                                    << "/var/www" << true;
        QTest::newRow("nothing checked: missing host folder, relative guest") << "/no/such"
                                                                              << "www" << true;
        QTest::newRow("empty host ignored") << ""
                                            << "/var/www" << false;
        QTest::newRow("empty guest ignored") << "/src"
                                             << "" << false;
    }
    void folderSheetRules()
    {
        QFETCH(QString, host);
        QFETCH(QString, guest);
        QFETCH(bool, accepted);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        document->addSyncedDirectory();
        document->txtFromDirectory()->setText(host);
        document->txtToDirectory()->setText(guest);
        document->confirmDirectory();
        QCOMPARE(document->sheetSyncDirectory()->isVisible(), !accepted);
        QCOMPARE(document->dataModel()->syncedDirectories().size(), accepted ? 1 : 0);
        QCOMPARE(document->isDocumentEdited(), accepted);
        QCOMPARE(world.alerts.count(), 0);
        if (accepted) {
            const QAbstractItemModel* table = document->vcVesk()->tblDirectories()->model();
            QCOMPARE(table->data(table->index(0, 0)).toString(), host);
            QCOMPARE(table->data(table->index(0, 1)).toString(), guest);
        }
    }

    void chooseDirectoryStartsAtTypedFolderOrHome_data()
    {
        QTest::addColumn<bool>("typedExists");
        QTest::newRow("typed folder exists") << true;
        QTest::newRow("typed folder missing: home") << false;
    }
    void chooseDirectoryStartsAtTypedFolderOrHome()
    {
        QFETCH(bool, typedExists);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        const QString typed =
            typedExists ? world.folder(QStringLiteral("site")) : QStringLiteral("/no/such/folder");
        const QString chosen = world.folder(QStringLiteral("chosen"));
        document->addSyncedDirectory();
        document->txtFromDirectory()->setText(typed);
        world.panels.answer(chosen);
        document->chooseDirectory();
        QCOMPARE(world.panels.asked.size(), 1);
        QCOMPARE(world.panels.asked.first().kind, FilePanels::Kind::ChooseFolder);
        QCOMPARE(world.panels.asked.first().startPath, typedExists ? typed : QDir::homePath());
        QCOMPARE(document->txtFromDirectory()->text(), chosen);

        // Cancelling the panel keeps the field.
        document->chooseDirectory();
        QCOMPARE(document->txtFromDirectory()->text(), chosen);
    }

    void removeNeedsASelection_data()
    {
        QTest::addColumn<bool>("ports");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("remaining");
        QTest::newRow("port, no selection") << true << -1 << 3;
        QTest::newRow("port, middle row") << true << 1 << 2;
        QTest::newRow("folder, no selection") << false << -1 << 3;
        QTest::newRow("folder, last row") << false << 2 << 2;
    }
    void removeNeedsASelection()
    {
        QFETCH(bool, ports);
        QFETCH(int, selected);
        QFETCH(int, remaining);
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        document->dataModel()->setPortForwards({{2000, 1}, {2001, 2}, {2002, 3}});
        document->dataModel()->setSyncedDirectories({{QStringLiteral("/a"), QStringLiteral("/1")},
                                                     {QStringLiteral("/b"), QStringLiteral("/2")},
                                                     {QStringLiteral("/c"), QStringLiteral("/3")}});
        document->loadDataModelIntoUI();
        document->updateChangeCount(VeskDocument::ChangeType::Cleared);
        QTableView* table =
            ports ? document->vcVesk()->tblPortForwards() : document->vcVesk()->tblDirectories();
        if (selected >= 0)
            table->selectRow(selected);

        if (ports)
            document->removePortForward();
        else
            document->removeSyncedDirectory();

        const int count = ports ? int(document->dataModel()->portForwards().size())
                                : int(document->dataModel()->syncedDirectories().size());
        QCOMPARE(count, remaining);
        QCOMPARE(table->model()->rowCount(), remaining);
        QCOMPARE(document->isDocumentEdited(), selected >= 0);
        if (selected == 1)
            QCOMPARE(document->dataModel()->portForwards(),
                     (QList<PortForward>{{2000, 1}, {2002, 3}}));
    }

    void preambleSheetCountsAChangeOnlyWhenTextDiffers()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        document->editVagrantfilePreamble();
        QVERIFY(document->sheetPreamble()->isVisible());
        document->savePreamble();
        QVERIFY(!document->sheetPreamble()->isVisible());
        QVERIFY(!document->isDocumentEdited());

        document->editVagrantfilePreamble();
        document->acePreamble()->setText(QStringLiteral("# changed"));
        document->savePreamble();
        QVERIFY(document->isDocumentEdited());
        // The text stays in the editor until the next copy into the model.
        QCOMPARE(document->dataModel()->preamble().value(),
                 QStringLiteral("# managed by the platform team"));
        QVERIFY(document->saveDocument());
        QCOMPARE(document->dataModel()->preamble().value(), QStringLiteral("# changed"));
    }

    void remoteURLSheetCountsChanges_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("revision");
        QTest::addColumn<bool>("edited");
        QTest::newRow("unchanged") << "http://127.0.0.1:8000/db.vesk"
                                   << "3" << false;
        QTest::newRow("new address") << "http://127.0.0.1:8000/other.vesk"
                                     << "3" << true;
        QTest::newRow("new revision") << "http://127.0.0.1:8000/db.vesk"
                                      << "4" << true;
    }
    void remoteURLSheetCountsChanges()
    {
        QFETCH(QString, url);
        QFETCH(QString, revision);
        QFETCH(bool, edited);
        EditorWorld world;
        world.controller().setAutosaveDelay(60 * 60 * 1000);
        VeskDocument* document = world.controller().openDocument(
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk")));
        document->editRemoteURL();
        QVERIFY(document->sheetRemoteURL()->isVisible());
        document->txtRemoteURL()->setText(url);
        document->txtRevisionNumber()->setText(revision);
        document->saveRemoteURL();
        QVERIFY(!document->sheetRemoteURL()->isVisible());
        QCOMPARE(document->isDocumentEdited(), edited);
    }

    void remoteURLHelpAndUpdateCheckUseHooks()
    {
        EditorWorld world;
        QList<bool> checks;
        world.controller().hooks().checkForUpdates = [&](VeskDocument*, bool automatic) {
            checks.append(automatic);
        };
        VeskDocument* opened = world.controller().openDocument(
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk")));
        QCOMPARE(checks, QList<bool>{true});
        world.controller().newDocument();
        QCOMPARE(checks, QList<bool>{true});
        opened->checkForDocumentUpdates();
        QCOMPARE(checks, (QList<bool>{true, false}));

        opened->remoteURLHelp();
        QCOMPARE(world.workspace().calls.size(), 1);
        QCOMPARE(world.workspace().calls.first().kind, QStringLiteral("openUrl"));
    }
};

VESK_TEST(TestListSheets)
#include "tst_ListSheets.moc"
