#include <QDir>
#include <QFile>
#include <QFileInfo>
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
        QTest::newRow("beside the document") << "/home/u/Projects/web/web.vesk" << "/home/u/Projects/web";
        QTest::newRow("Quarrow uses a sibling") << "/home/u/A/B/Quarrow.vesk" << "/home/u/A/Quarrow";
        QTest::newRow("other case is not special") << "/home/u/A/B/quarrow.vesk" << "/home/u/A/B";
        QTest::newRow("blanks stay blanks") << "/home/u/My Projects/x.vesk" << "/home/u/My Projects";
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
        const ExportResult result = exportDocument(model, folder.filePath(QStringLiteral("a.vesk")));
        QVERIFY(!result.ok);
        QCOMPARE(result.failedFile, folder.filePath(QStringLiteral("Vagrantfile")));
        QVERIFY(!result.reason.isEmpty());
        QVERIFY(result.written.isEmpty());
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("bootstrap.sh"))));
    }
};

VESK_TEST(TestExport)
#include "tst_Export.moc"
