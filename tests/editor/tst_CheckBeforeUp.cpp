#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "OutputWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantHelper.h"
#include "VeskDocument.h"
#include "VeskViewController.h"
#include "QsciWidgets.h"

using namespace vesk;
using namespace vesk::test;

// Check and the check before Up, on the real vagrant with the test-only provider: the lines a
// user types are Ruby that only vagrant can judge.
class TestCheckBeforeUp : public QObject
{
    Q_OBJECT

    static constexpr int kTimeout = 60000;
    static constexpr const char* kValidLines =
        "require_relative \"fake_provider\"\nconfig.vm.provider :vesk_fake\n"
        "config.vm.hostname = \"web\"";
    static constexpr const char* kNewValidLines =
        "require_relative \"fake_provider\"\nconfig.vm.provider :vesk_fake\n"
        "config.vm.post_up_message = \"ready\"";
    // A typo of the kind that would otherwise end a long vagrant up: an unclosed block.
    static constexpr const char* kBrokenLines =
        "require_relative \"fake_provider\"\nconfig.vm.provider :vesk_fake do |fake|\n";

    std::unique_ptr<EditorWorld> m_world;
    QString m_project;

    VeskDocument* openDocument(const char* lines, const QJsonArray& folders = {})
    {
        QJsonObject object{{QStringLiteral("veskVersion"), 2},
                           {QStringLiteral("boxName"), QStringLiteral("debian/bookworm64")},
                           {QStringLiteral("additionalVagrantCommands"), QString::fromUtf8(lines)},
                           {QStringLiteral("syncedDirectories"), folders}};
        const QString path = m_project + QStringLiteral("/web.vesk");
        writeFile(path, QJsonDocument(object).toJson());
        return m_world->controller().openDocument(path);
    }

    static void typeAdditionalLines(VeskDocument* document, const char* lines)
    {
        document->vcVesk()->aceAdditionalCommands()->setText(QString::fromUtf8(lines));
    }

    // The windows opened since `before`, by title once their commands have ended.
    QStringList newWindowTitles(qsizetype before) const
    {
        QStringList titles;
        const QList<OutputWindowController*> windows =
            VagrantHelper::sharedInstance().outputWindows();
        for (qsizetype i = before; i < windows.size(); ++i)
            titles.append(windows[i]->windowTitle());
        return titles;
    }

    static bool hasEnded(const QString& title)
    {
        return title.startsWith(QStringLiteral("Complete: ")) ||
               title.startsWith(QStringLiteral("Error: "));
    }

    // Waits until every window opened since `before` has ended and no new one comes.
    QStringList settle(qsizetype before, int expected)
    {
        // Whether they ended shows in the titles returned.
        [[maybe_unused]] const bool ended = QTest::qWaitFor(
            [&] {
                const QStringList titles = newWindowTitles(before);
                return titles.size() >= expected &&
                       std::all_of(titles.begin(), titles.end(), hasEnded);
            },
            kTimeout);
        QTest::qWait(300);
        return newWindowTitles(before);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/vagrant")))
            QSKIP("vagrant is not installed at /usr/bin/vagrant");
        test::useTestVagrantEnvironment();
    }

    void init()
    {
        m_world = std::make_unique<EditorWorld>();
        // The commands run for real; only VirtualBox is a stand-in, as the provider is the fake.
        VagrantHelper& helper = VagrantHelper::sharedInstance();
        helper.setCommandRunner(nullptr);
        helper.setVagrantCandidates({QStringLiteral("/usr/bin/vagrant")});
        m_project = m_world->folder(QStringLiteral("projects/web"));
        QVERIFY(QFile::copy(QStringLiteral(VESK_FIXTURES_DIR "/vagrant-fake-provider/fake_provider.rb"),
                            m_project + QStringLiteral("/fake_provider.rb")));
    }

    void cleanup()
    {
        for (OutputWindowController* window : VagrantHelper::sharedInstance().outputWindows())
            window->close();
        m_world.reset();
    }

    void checkRunsVagrantValidateOnACopy_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("said");
        QTest::newRow("valid") << QByteArray(kValidLines) << "Complete: web.vesk - Checking..."
                               << "validated successfully";
        QTest::newRow("not Ruby") << QByteArray(kBrokenLines) << "Error: web.vesk - Checking..."
                                  << "syntax error";
    }
    void checkRunsVagrantValidateOnACopy()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, title);
        QFETCH(QString, said);
        VeskDocument* document = openDocument(lines.constData());
        QVERIFY(document);
        const qsizetype before = VagrantHelper::sharedInstance().outputWindows().size();
        QElapsedTimer clock;
        clock.start();
        document->action(QStringLiteral("actionCheck"))->trigger();
        QCOMPARE(settle(before, 1), QStringList{title});
        qInfo("check took %lld ms", qlonglong(clock.elapsed()));
        OutputWindowController* window = VagrantHelper::sharedInstance().outputWindows().last();
        QVERIFY2(window->outputText().contains(said), qPrintable(window->outputText()));
        // The document's own folder is left as it was: no Vagrantfile, no vagrant data.
        QCOMPARE(QDir(m_project).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("fake_provider.rb"), QStringLiteral("web.vesk")}));
        if (title.startsWith(QStringLiteral("Error")))
            test::saveScreenshot(window, QStringLiteral("output-window-failed-check"));
    }

    void checksLeaveNoFoldersBehind()
    {
        // One left by a check that was still running when Vesk quit, a day and more ago.
        const QString stale = QDir::tempPath() + QStringLiteral("/vesk-check-test-stale");
        QVERIFY(writeFile(stale + QStringLiteral("/Vagrantfile"), "# old\n"));
        QVERIFY(QProcess::execute(QStringLiteral("touch"), {"-d", "2 days ago", stale}) == 0);
        VeskDocument* document = openDocument(kValidLines);
        QVERIFY(document);
        const qsizetype before = VagrantHelper::sharedInstance().outputWindows().size();
        document->check();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Complete: web.vesk - Checking...")});
        QVERIFY(!QFileInfo::exists(stale));
        // The check's own copy went with it, without following its links into the project.
        const QString said = VagrantHelper::sharedInstance().outputWindows().last()->outputText();
        const QString copy = said.section(u'\n', 0, 0).section(u' ', -1);
        QVERIFY2(copy.startsWith(QDir::tempPath() + QStringLiteral("/vesk-check-")), qPrintable(copy));
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(QFileInfo::exists(m_project + QStringLiteral("/fake_provider.rb")));
    }

    void relativeFoldersAreTheProjectFolders()
    {
        // Vagrant reads a relative host folder from the Vagrantfile's folder; the copy must see
        // the document's own.
        QVERIFY(QDir().mkpath(m_project + QStringLiteral("/site")));
        VeskDocument* document = openDocument(
            kValidLines, QJsonArray{QJsonObject{{QStringLiteral("host"), QStringLiteral("site")},
                                                {QStringLiteral("guest"), QStringLiteral("/srv")}}});
        QVERIFY(document);
        const qsizetype before = VagrantHelper::sharedInstance().outputWindows().size();
        document->check();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Complete: web.vesk - Checking...")});
    }

    void aSecondUpWhileTheCheckRunsIsDropped()
    {
        VeskDocument* document = openDocument(kValidLines);
        QVERIFY(document);
        VagrantHelper& helper = VagrantHelper::sharedInstance();
        qsizetype before = helper.outputWindows().size();
        document->check();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Complete: web.vesk - Checking...")});

        // Up checks the new lines; they are typed back to the checked ones and Up is pressed
        // again before the check ends: the machine is still brought up once.
        typeAdditionalLines(document, kNewValidLines);
        before = helper.outputWindows().size();
        document->up();
        typeAdditionalLines(document, kValidLines);
        document->up();
        QCOMPARE(settle(before, 2), (QStringList{QStringLiteral("Complete: web.vesk - Checking..."),
                                                 QStringLiteral("Complete: web.vesk - Upping...")}));
    }

    void upStopsAtAFailedCheck()
    {
        VeskDocument* document = openDocument(kBrokenLines);
        QVERIFY(document);
        const qsizetype before = VagrantHelper::sharedInstance().outputWindows().size();
        QVERIFY(document->upNeedsCheck());
        document->up();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Error: web.vesk - Checking...")});
        QVERIFY(VagrantHelper::sharedInstance().outputWindows().last()->isVisible());
        QVERIFY(!QFileInfo::exists(m_project + QStringLiteral("/Vagrantfile")));
    }

    void upChecksOnlyWhenTheLinesChanged()
    {
        VeskDocument* document = openDocument(kValidLines);
        QVERIFY(document);
        VagrantHelper& helper = VagrantHelper::sharedInstance();

        // First Up: the check passes, its window goes, and Up runs.
        qsizetype before = helper.outputWindows().size();
        document->up();
        QStringList titles = settle(before, 2);
        QCOMPARE(titles, (QStringList{QStringLiteral("Complete: web.vesk - Checking..."),
                                      QStringLiteral("Complete: web.vesk - Upping...")}));
        QVERIFY(!helper.outputWindows()[before]->isVisible());
        QVERIFY(QFileInfo::exists(m_project + QStringLiteral("/Vagrantfile")));

        // Unchanged lines: straight to Up.
        QVERIFY(!document->upNeedsCheck());
        before = helper.outputWindows().size();
        document->up();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Complete: web.vesk - Upping...")});

        // Lines typed since the check: checked again, and the Vagrantfile that Up runs is the
        // one just checked, although an earlier export is there. A second Up while the check
        // runs brings the machine up once.
        typeAdditionalLines(document, kNewValidLines);
        QVERIFY(document->upNeedsCheck());
        before = helper.outputWindows().size();
        document->up();
        document->up();
        QCOMPARE(settle(before, 2), (QStringList{QStringLiteral("Complete: web.vesk - Checking..."),
                                                 QStringLiteral("Complete: web.vesk - Upping...")}));
        QVERIFY(readFile(m_project + QStringLiteral("/Vagrantfile")).contains("post_up_message"));

        // A typo stops Up.
        typeAdditionalLines(document, kBrokenLines);
        QVERIFY(document->upNeedsCheck());
        before = helper.outputWindows().size();
        document->up();
        QCOMPARE(settle(before, 1), QStringList{QStringLiteral("Error: web.vesk - Checking...")});

        // A document without Ruby lines of its own has nothing to check.
        typeAdditionalLines(document, "");
        QVERIFY(!document->upNeedsCheck());
    }
};

VESK_TEST(TestCheckBeforeUp)
#include "tst_CheckBeforeUp.moc"
