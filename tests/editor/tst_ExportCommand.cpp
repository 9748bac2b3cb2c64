#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "BootstrapViewController.h"
#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"

using namespace vesk;
using namespace vesk::test;

class TestExportCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportWritesFiles_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("existingBootstrap");
        QTest::addColumn<bool>("bootstrapWritten");
        QTest::addColumn<bool>("provisionLine");
        QTest::newRow("script, no bootstrap.sh yet") << "echo hello\n" << false << true << true;
        QTest::newRow("blank script, no bootstrap.sh") << "  \n\t\n" << false << false << false;
        QTest::newRow("blank script overwrites existing bootstrap.sh") << "\n"
                                                                       << true << true << false;
        QTest::newRow("script replaces existing bootstrap.sh") << "echo new\n"
                                                               << true << true << true;
    }
    void exportWritesFiles()
    {
        QFETCH(QString, script);
        QFETCH(bool, existingBootstrap);
        QFETCH(bool, bootstrapWritten);
        QFETCH(bool, provisionLine);
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("m/db.vesk"));
        const QDir folder = QFileInfo(path).dir();
        if (existingBootstrap)
            writeFile(folder.filePath(QStringLiteral("bootstrap.sh")), "old script\n");
        VeskDocument* document = world.controller().openDocument(path);
        document->vcBoot()->setCode(script);
        const bool editedBefore = document->isDocumentEdited();

        QVERIFY(document->exportVagrantfile());

        QCOMPARE(world.alerts.count(), 0);
        const QByteArray vagrantfile = readFile(folder.filePath(QStringLiteral("Vagrantfile")));
        QVERIFY(vagrantfile.contains("debian/bookworm64"));
        QCOMPARE(vagrantfile.contains("config.vm.provision :shell, path: \"bootstrap.sh\""),
                 provisionLine);
        const QString bootstrap = folder.filePath(QStringLiteral("bootstrap.sh"));
        QCOMPARE(QFileInfo::exists(bootstrap), bootstrapWritten);
        if (bootstrapWritten)
            QCOMPARE(readFile(bootstrap), script.toUtf8());
        QCOMPARE(document->isDocumentEdited(), editedBefore);
        QVERIFY(document->sheetFlush()->isVisible());
    }

    void quarrowExportsIntoSiblingFolder()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("A/B/Quarrow.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        QVERIFY(document->exportVagrantfile());
        QVERIFY(QFileInfo::exists(world.folder() + QStringLiteral("/A/Quarrow/Vagrantfile")));
        QVERIFY(!QFileInfo::exists(world.folder() + QStringLiteral("/A/B/Vagrantfile")));
    }

    void progressSheetStepsThroughItsLabelsAndCloses()
    {
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("m/db.vesk"));
        VeskDocument* document = world.controller().openDocument(path);
        QStringList labels;
        QObject::connect(document->piFlush(), &QProgressBar::valueChanged, document, [&](int) {
            const QString text = document->txtFlush()->text();
            if (labels.isEmpty() || labels.last() != text)
                labels.append(text);
        });
        QVERIFY(document->exportVagrantfile());
        QVERIFY(document->sheetFlush()->isVisible());
        QCOMPARE(document->sheetFlush()->windowModality(), Qt::WindowModal);
        QTRY_VERIFY_WITH_TIMEOUT(!document->sheetFlush()->isVisible(), 10000);
        QCOMPARE(document->piFlush()->value(), 100);
        QCOMPARE(labels, (QStringList{QStringLiteral("Generating Vagrantfile..."),
                                      QStringLiteral("Writing changes to disk..."),
                                      QStringLiteral("Reticulating splines...")}));
    }

    void writeFailureIsReportedInsteadOfProgress_data()
    {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("Vagrantfile") << "Vagrantfile";
        QTest::newRow("bootstrap.sh") << "bootstrap.sh";
    }
    void writeFailureIsReportedInsteadOfProgress()
    {
        QFETCH(QString, blocked);
        EditorWorld world;
        const QString path =
            world.copyFixture(QStringLiteral("version2.vesk"), QStringLiteral("m/db.vesk"));
        const QString target = QFileInfo(path).dir().filePath(blocked);
        // A non-empty folder in the file's place cannot be replaced, not even by root.
        QVERIFY(QDir().mkpath(target + QStringLiteral("/inside")));
        VeskDocument* document = world.controller().openDocument(path);

        QVERIFY(!document->exportVagrantfile());

        QCOMPARE(world.alerts.count(), 1);
        QCOMPARE(world.alerts.last().messageText,
                 QStringLiteral("The Vagrantfile Could Not Be Exported"));
        QVERIFY2(world.alerts.last().informativeText.startsWith(
                     QStringLiteral("The file “%1” could not be written: ").arg(target)),
                 qPrintable(world.alerts.last().informativeText));
        QVERIFY(world.alerts.last().informativeText.size() >
                QStringLiteral("The file “%1” could not be written: ").arg(target).size());
        QVERIFY(!document->sheetFlush()->isVisible());
    }
};

VESK_TEST(TestExportCommand)
#include "tst_ExportCommand.moc"
