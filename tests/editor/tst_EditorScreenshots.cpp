#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <QTest>

#include "QsciWidgets.h"

#include "AlertPresenter.h"
#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

using namespace vesk;
using namespace vesk::test;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(10);
    }
}

/// Renders the alert a test provoked, as it would be shown.
void shootAlert(QWidget* window, const Alert& alert, const QString& name)
{
    QMessageBox* box = AlertPresenter::createMessageBox(window, alert);
    box->show();
    settle();
    QVERIFY(!saveScreenshot(box, name).isEmpty());
    delete box;
}

} // namespace

class TestEditorScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowOnEachTab()
    {
        EditorWorld world;
        VeskDocument* document = openRealisticDocument(
            world, world.folder(QStringLiteral("shop/web")) + QStringLiteral("/web.vesk"));
        QVERIFY(document);
        document->window()->resize(900, 680);
        document->vcVesk()->tblPortForwards()->selectRow(1);
        settle();
        saveScreenshot(document->window(), QStringLiteral("editor-window-settings"));
        document->showBootstrap();
        settle();
        saveScreenshot(document->window(), QStringLiteral("editor-window-provisioning"));
        document->showVagrantFile();
        settle();
        saveScreenshot(document->window(), QStringLiteral("editor-window-preview"));
        QVERIFY(document->window()->isVisible());
    }

    void newDocumentWindow()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        document->window()->resize(900, 680);
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("debian/bookworm64"));
        settle();
        saveScreenshot(document->window(), QStringLiteral("editor-window-untitled-edited"));
        QVERIFY(document->window()->isWindowModified());
    }

    void sheets()
    {
        EditorWorld world;
        VeskDocument* document = openRealisticDocument(
            world, world.folder(QStringLiteral("shop/web")) + QStringLiteral("/web.vesk"));
        document->window()->resize(900, 680);

        document->editVagrantfilePreamble();
        settle();
        saveScreenshot(document->sheetPreamble(), QStringLiteral("editor-sheet-preamble"));
        document->savePreamble();

        document->editRemoteURL();
        settle();
        saveScreenshot(document->sheetRemoteURL(), QStringLiteral("editor-sheet-remote-url"));
        document->saveRemoteURL();

        document->addPortForward();
        document->txtPortFrom()->setText(QStringLiteral("3000"));
        document->txtPortTo()->setText(QStringLiteral("3000"));
        settle();
        saveScreenshot(document->sheetPortForward(), QStringLiteral("editor-sheet-port-forward"));
        document->cancelPortForward();

        document->addSyncedDirectory();
        document->txtFromDirectory()->setText(QStringLiteral("~/Projects/shop/logs"));
        document->txtToDirectory()->setText(QStringLiteral("/var/log/shop"));
        settle();
        saveScreenshot(document->sheetSyncDirectory(),
                       QStringLiteral("editor-sheet-synced-folder"));
        document->cancelDirectory();

        QVERIFY(document->exportVagrantfile());
        settle();
        saveScreenshot(document->sheetFlush(), QStringLiteral("editor-sheet-export-progress"));
        QTRY_VERIFY_WITH_TIMEOUT(!document->sheetFlush()->isVisible(), 10000);
    }

    void alerts()
    {
        EditorWorld world;
        VeskDocument* untitled = world.controller().newDocument();
        QWidget* window = untitled->window();

        untitled->exportVagrantfile();
        shootAlert(window, world.alerts.last(), QStringLiteral("editor-alert-not-saved"));

        world.setInstalled(true, false);
        untitled->up();
        shootAlert(window, world.alerts.last(), QStringLiteral("editor-alert-virtualbox-missing"));
        world.setInstalled(false, true);
        untitled->up();
        shootAlert(window, world.alerts.last(), QStringLiteral("editor-alert-vagrant-missing"));
        world.setInstalled(true, true);

        untitled->addPortForward();
        untitled->txtPortFrom()->setText(QStringLiteral("80"));
        untitled->txtPortTo()->setText(QStringLiteral("80"));
        untitled->confirmPortForward();
        shootAlert(nullptr, world.alerts.last(), QStringLiteral("editor-alert-from-port"));
        untitled->cancelPortForward();

        typeInto(untitled->vcVesk()->txtBoxName(), QStringLiteral("x/y"));
        world.alerts.answer(QStringLiteral("Cancel"));
        untitled->window()->close();
        shootAlert(window, world.alerts.last(), QStringLiteral("editor-alert-close-unsaved"));

        const QString desktop = QDir::homePath() + QStringLiteral("/Desktop/web.vesk");
        writeFile(desktop, readFile(QStringLiteral(VESK_FIXTURES_DIR "/documents/version2.vesk")));
        VeskDocument* onDesktop = world.controller().openDocument(desktop);
        onDesktop->up();
        shootAlert(onDesktop->window(), world.alerts.last(),
                   QStringLiteral("editor-alert-forbidden-folder"));
        QFile::remove(desktop);

        const QString broken = world.folder(QStringLiteral("bad")) + QStringLiteral("/broken.vesk");
        writeFile(broken, "{ not json");
        world.controller().openDocument(broken);
        shootAlert(nullptr, world.alerts.last(), QStringLiteral("editor-alert-unreadable"));

        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("m/db.vesk"));
        QDir().mkpath(QFileInfo(path).dir().filePath(QStringLiteral("Vagrantfile/x")));
        VeskDocument* failing = world.controller().openDocument(path);
        failing->exportVagrantfile();
        shootAlert(failing->window(), world.alerts.last(),
                   QStringLiteral("editor-alert-export-failed"));

        QDir(QFileInfo(path).absolutePath()).removeRecursively();
        writeFile(QFileInfo(path).absolutePath(), "file");
        failing->saveDocument();
        shootAlert(failing->window(), world.alerts.last(),
                   QStringLiteral("editor-alert-save-failed"));
        QCOMPARE(world.alerts.count(), 9);
    }
};

VESK_TEST(TestEditorScreenshots)
#include "tst_EditorScreenshots.moc"
