#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "QsciWidgets.h"

#include "BootstrapTemplateHelper.h"
#include "BootstrapViewController.h"
#include "DataModel.h"
#include "ButtonTitles.h"
#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantFileViewController.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

using namespace vesk;
using namespace vesk::test;

namespace {

QJsonObject savedObject(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

} // namespace

class TestDocumentLifecycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newDocumentStartsWithTemplateAndEmptySettings()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();

        QCOMPARE(document->vcBoot()->getCode(), BootstrapTemplateHelper::templateString().value());
        QVERIFY(!document->vcBoot()->getCode().isEmpty());
        QCOMPARE(document->vcVesk()->txtBoxName()->text(), QString());
        QCOMPARE(document->vcVesk()->tblPortForwards()->model()->rowCount(), 0);
        QCOMPARE(document->vcVesk()->tblDirectories()->model()->rowCount(), 0);
        QCOMPARE(document->txtRevisionNumber()->text(), QStringLiteral("1"));
        QCOMPARE(document->window()->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(!document->isDocumentEdited());
        QVERIFY(!document->fileName());
        QVERIFY(document->window()->isVisible());
    }

    void untitledDocumentsAreNumbered()
    {
        EditorWorld world;
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names.append(world.controller().newDocument()->displayName());
        QCOMPARE(names, (QStringList{QStringLiteral("Untitled"), QStringLiteral("Untitled 2"),
                                     QStringLiteral("Untitled 3")}));
    }

    void openFillsTheControls_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<int>("ports");
        QTest::addColumn<QString>("firstHostFolder");
        QTest::addColumn<QString>("revision");
        QTest::addColumn<QString>("remoteURL");
        QTest::newRow("version 1 ignores identity fields") << "version1.vesk"
                                                           << "hashicorp/precise64" << 1 << "./site"
                                                           << "1"
                                                           << "";
        QTest::newRow("version 2 reads everything")
            << "version2.vesk"
            << "debian/bookworm64" << 2 << "/home/dev/my data"
            << "3"
            << "http://127.0.0.1:8000/db.vesk";
    }
    void openFillsTheControls()
    {
        QFETCH(QString, fixture);
        EditorWorld world;
        const QString path = world.copyFixture(fixture, QStringLiteral("docs/") + fixture);
        VeskDocument* document = world.controller().openDocument(path);
        QVERIFY(document);
        QCOMPARE(world.alerts.count(), 0);

        QTEST(document->vcVesk()->txtBoxName()->text(), "boxName");
        QTEST(int(document->vcVesk()->tblPortForwards()->model()->rowCount()), "ports");
        const QAbstractItemModel* folders = document->vcVesk()->tblDirectories()->model();
        QTEST(folders->data(folders->index(0, 0)).toString(), "firstHostFolder");
        QTEST(document->txtRevisionNumber()->text(), "revision");
        QTEST(document->txtRemoteURL()->text(), "remoteURL");
        QCOMPARE(document->window()->windowTitle(), fixture + QStringLiteral("[*]"));
        QVERIFY(!document->isDocumentEdited());
    }

    void portTableShowsHostAndGuestColumns()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().openDocument(
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk")));
        const QAbstractItemModel* ports = document->vcVesk()->tblPortForwards()->model();
        QCOMPARE(ports->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Host Port"));
        QCOMPARE(ports->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Guest Port"));
        QCOMPARE(ports->data(ports->index(1, 0)).toString(), QStringLiteral("3000"));
        QCOMPARE(ports->data(ports->index(0, 1)).toString(), QStringLiteral("5432"));
    }

    void savingVersionOneWritesVersionTwo()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version1.vesk"), QStringLiteral("web.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        QVERIFY(document->saveDocument());
        const QJsonObject saved = savedObject(path);
        QCOMPARE(saved.value(QStringLiteral("veskVersion")).toInt(), 2);
        QCOMPARE(saved.value(QStringLiteral("revision")).toInt(), 1);
        QCOMPARE(saved.value(QStringLiteral("boxName")).toString(),
                 QStringLiteral("hashicorp/precise64"));
        QVERIFY(saved.value(QStringLiteral("UUID")).toString() !=
                QStringLiteral("11111111-2222-3333-4444-555555555555"));
    }

    void previewShowsTypedBoxNameWithoutSaving()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        const QByteArray before = readFile(path);
        VeskDocument* document = world.controller().openDocument(path);
        world.controller().setAutosaveDelay(60 * 60 * 1000);

        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("ubuntu/jammy64"));
        document->showVagrantFile();

        QVERIFY(document->vcVagFile()->getCode().contains(QStringLiteral("ubuntu/jammy64")));
        QVERIFY(document->vcVagFile()->aceView()->isReadOnly());
        QCOMPARE(readFile(path), before);
        QVERIFY(document->isDocumentEdited());
    }

    void saveAndReopenRoundTrip()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        typeInto(document->vcVesk()->txtBoxName(), QStringLiteral("debian/bookworm64"));
        document->vcBoot()->aceView()->setText(QStringLiteral("apt-get install -y git\n"));
        document->vcVesk()->aceAdditionalCommands()->setText(
            QStringLiteral("config.vm.hostname = \"dev\""));
        document->acePreamble()->setText(QStringLiteral("# preamble"));
        document->txtRemoteURL()->setText(QStringLiteral("https://example.org/dev.vesk"));
        document->txtRevisionNumber()->setText(QStringLiteral("12"));
        document->dataModel()->setPortForwards({{8080, 80}});
        document->dataModel()->setSyncedDirectories(
            {{QStringLiteral("/src"), QStringLiteral("/vagrant/src")}});

        const QString path = world.folder(QStringLiteral("projects/dev")) + QStringLiteral("/dev");
        world.panels.answer(path);
        QVERIFY(document->saveDocument());
        QCOMPARE(*document->fileName(), path + QStringLiteral(".vesk"));
        QCOMPARE(document->window()->windowTitle(), QStringLiteral("dev.vesk[*]"));
        QVERIFY(!document->isDocumentEdited());
        QCOMPARE(world.controller().recentDocuments().value(0), path + QStringLiteral(".vesk"));
        const QString uuid = document->dataModel()->UUID();

        world.controller().closeAll({});
        QTRY_VERIFY(world.controller().documents().isEmpty());

        VeskDocument* reopened = world.controller().openDocument(path + QStringLiteral(".vesk"));
        QVERIFY(reopened);
        QCOMPARE(reopened->vcVesk()->txtBoxName()->text(), QStringLiteral("debian/bookworm64"));
        QCOMPARE(reopened->vcBoot()->getCode(), QStringLiteral("apt-get install -y git\n"));
        QCOMPARE(reopened->vcVesk()->aceAdditionalCommands()->text(),
                 QStringLiteral("config.vm.hostname = \"dev\""));
        QCOMPARE(reopened->acePreamble()->text(), QStringLiteral("# preamble"));
        QCOMPARE(reopened->txtRemoteURL()->text(), QStringLiteral("https://example.org/dev.vesk"));
        QCOMPARE(reopened->txtRevisionNumber()->text(), QStringLiteral("12"));
        QCOMPARE(reopened->dataModel()->portForwards(), (QList<PortForward>{{8080, 80}}));
        QCOMPARE(reopened->dataModel()->syncedDirectories().value(0).guest,
                 QStringLiteral("/vagrant/src"));
        QCOMPARE(reopened->dataModel()->UUID(), uuid);
    }

    void revisionFieldIsReadAsInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("saved");
        QTest::newRow("letters give 0") << "abc" << 0;
        QTest::newRow("leading digits") << "42abc" << 42;
        QTest::newRow("blank and sign") << "  -7" << -7;
        QTest::newRow("beyond 32 bits is clamped") << "99999999999" << 2147483647;
    }
    void revisionFieldIsReadAsInteger()
    {
        QFETCH(QString, text);
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        document->txtRevisionNumber()->setText(text);
        QVERIFY(document->saveDocument());
        QTEST(savedObject(path).value(QStringLiteral("revision")).toInt(), "saved");
    }

    void editorTextWinsOverMissingPreamble()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version1.vesk"), QStringLiteral("web.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        QVERIFY(document->saveDocument());
        QCOMPARE(savedObject(path).value(QStringLiteral("preamble")).toString(), QString());
    }

    void titleColour()
    {
        const QColor blue = vesk::titleBlue();
        // QColor keeps 16 bits a channel.
        QVERIFY(qAbs(blue.redF() - 0.119f) < 1e-4);
        QVERIFY(qAbs(blue.greenF() - 0.399f) < 1e-4);
        QVERIFY(qAbs(blue.blueF() - 0.964f) < 1e-4);
        QCOMPARE(blue.alphaF(), 1.0f);

        QPushButton button;
        const QFont font = button.font();
        vesk::setTitle(&button, QStringLiteral("Settings"), blue);
        QCOMPARE(button.text(), QStringLiteral("Settings"));
        QCOMPARE(button.palette().color(QPalette::ButtonText), blue);
        QCOMPARE(button.font(), font);
    }

    void unreadableFileIsRefusedWithMessage_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("<html>not found</html>") << "not JSON";
        QTest::newRow("unknown version")
            << QByteArray(R"({"veskVersion":3})") << "unsupported veskVersion 3";
        QTest::newRow("no version") << QByteArray(R"({"boxName":"x"})") << "no veskVersion";
        // Opening must not wait for a writer that never comes.
        QTest::newRow("FIFO") << QByteArray() << "not a regular file";
    }
    void unreadableFileIsRefusedWithMessage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        EditorWorld world;
        const QString path = world.folder(QStringLiteral("bad")) + QStringLiteral("/broken.vesk");
        if (content.isEmpty())
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            writeFile(path, content);

        QVERIFY(!world.controller().openDocument(path));
        QVERIFY(world.controller().documents().isEmpty());
        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("The document “broken.vesk” could not be opened."));
        QVERIFY2(world.alerts.last().informativeText.startsWith(
                     QStringLiteral("The file “%1” could not be read: ").arg(path)),
                 qPrintable(world.alerts.last().informativeText));
        QVERIFY(world.alerts.last().informativeText.contains(reason));
        QVERIFY(world.controller().recentDocuments().isEmpty());
    }

    void missingFileIsRefusedWithMessage()
    {
        EditorWorld world;
        const QString path = world.folder() + QStringLiteral("/gone.vesk");
        QVERIFY(!world.controller().openDocument(path));
        QCOMPARE(world.alerts.titles(),
                 QStringList{QStringLiteral("The document “gone.vesk” could not be opened.")});
    }

    void openingTwiceGivesTheSameDocument()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        VeskDocument* first = world.controller().openDocument(path);
        QCOMPARE(world.controller().openDocument(path), first);
        QCOMPARE(world.controller().documents().size(), 1);
    }

    void recentDocumentsArePersistedMostRecentFirst()
    {
        EditorWorld world;
        QStringList paths;
        for (int i = 0; i < DocumentController::kMaximumRecentDocuments + 2; ++i) {
            paths.prepend(world.copyFixture(QStringLiteral("version2.vesk"),
                                            QStringLiteral("r/doc%1.vesk").arg(i)));
            QVERIFY(world.controller().openDocument(paths.first()));
        }
        // Reopening an open document moves it to the front.
        world.controller().noteNewRecentDocument(paths.at(3));
        paths.move(3, 0);
        paths = paths.mid(0, DocumentController::kMaximumRecentDocuments);

        DocumentController another;
        QCOMPARE(another.recentDocuments(), paths);
        QFile::remove(paths.at(1));
        QVERIFY(!another.recentDocuments().contains(paths.at(1)));
    }

    void openPanelOpensChosenFiles()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("db.vesk"));
        world.panels.answer(path);
        world.controller().openDocumentWithPanel();
        QCOMPARE(world.panels.asked.size(), 1);
        QCOMPARE(world.panels.asked.first().kind, FilePanels::Kind::OpenDocuments);
        QCOMPARE(world.controller().documents().size(), 1);
    }
};

VESK_TEST(TestDocumentLifecycle)
#include "tst_DocumentLifecycle.moc"
