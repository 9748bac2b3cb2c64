#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "AppDelegate.h"
#include "ApplicationInfo.h"
#include "DataModel.h"
#include "DocumentController.h"
#include "Samples.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "VeskDocument.h"
#include "WelcomeWindowController.h"
#include "WelcomeWindowRecentView.h"
#include "Workspace.h"

using namespace vesk;

namespace {

// A list of texts from plain literals.
QStringList list(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

QByteArray sampleDocumentBytes()
{
    return test::readFile(QStringLiteral(VESK_FIXTURES_DIR "/documents/version2.vesk"));
}

// Writes documents under the private home and notes them as recent, the first one last, so the
// list reads in the order given.
QStringList makeRecentDocuments(DocumentController& documents, const QStringList& relativePaths)
{
    documents.clearRecentDocuments();
    QStringList paths;
    for (const QString& relative : relativePaths)
        paths.append(QDir::homePath() + QLatin1Char('/') + relative);
    for (auto path = paths.crbegin(); path != paths.crend(); ++path) {
        if (!test::writeFile(*path, sampleDocumentBytes()))
            return {};
        documents.noteNewRecentDocument(*path);
    }
    return paths;
}

WelcomeWindowRecentView* cellAt(WelcomeWindowController& window, int row)
{
    return qobject_cast<WelcomeWindowRecentView*>(window.tableView()->cellWidget(row, 0));
}

int selectedRow(WelcomeWindowController& window)
{
    const QModelIndexList rows = window.tableView()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QStringList openFiles(DocumentController& documents)
{
    QStringList files;
    for (VeskDocument* document : documents.documents())
        files.append(document->fileName().value_or(QStringLiteral("(untitled)")));
    return files;
}

void closeAllDocuments(DocumentController& documents)
{
    for (VeskDocument* document : documents.documents())
        document->updateChangeCount(VeskDocument::ChangeType::Cleared);
    documents.closeAll([](bool) {});
}

} // namespace

class TestWelcomeWindow : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;

private Q_SLOTS:
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
        UserDefaults::standard().clear();
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void titlesAndSubtitles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("in a project under home") << "/Users/u/Projects/web/web.vesk"
                                                 << "/Users/u"
                                                 << "web"
                                                 << "~/Projects/web";
        QTest::newRow("every .vesk removed") << "/Users/u/notes/notes.vesk.vesk"
                                             << "/Users/u"
                                             << "notes"
                                             << "~/notes";
        QTest::newRow("right in home") << "/Users/u/db.vesk"
                                       << "/Users/u"
                                       << "db"
                                       << "~";
        QTest::newRow("outside home") << "/srv/shared/db.vesk"
                                      << "/Users/u"
                                      << "db"
                                      << "/srv/shared";
        QTest::newRow("a folder that only starts like home") << "/Users/u2/x/app.vesk"
                                                             << "/Users/u"
                                                             << "app"
                                                             << "/Users/u2/x";
        QTest::newRow("a blank stays escaped") << "/Users/u/My Projects/app.vesk"
                                               << "/Users/u"
                                               << "app"
                                               << "~/My%20Projects";
        QTest::newRow("a blank in home itself") << "/home/Ann Lee/web/web.vesk"
                                                << "/home/Ann Lee"
                                                << "web"
                                                << "~/web";
    }
    void titlesAndSubtitles()
    {
        QFETCH(QString, path);
        QFETCH(QString, home);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QCOMPARE(WelcomeWindowRecentView::titleForDocument(path), title);
        QCOMPARE(WelcomeWindowRecentView::subtitleForDocument(path, home), subtitle);
    }

    void noRecentDocuments()
    {
        DocumentController documents;
        documents.clearRecentDocuments();
        WelcomeWindowController window(documents);
        window.show();
        QTableWidget* table = window.tableView();
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(selectedRow(window), -1);
        QVERIFY(window.findChild<QLabel*>(QStringLiteral("lblNoRecentDocuments"))->isVisible());
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Down, Qt::Key_Up})
            QTest::keyClick(table, key);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, QPoint(40, 20));
        QVERIFY(documents.documents().isEmpty());
        QVERIFY(window.isVisible());
        test::saveScreenshot(&window, QStringLiteral("welcome-empty"));
    }

    void threeRecentDocuments()
    {
        DocumentController documents;
        const QStringList paths =
            makeRecentDocuments(documents, {QStringLiteral("Projects/web/web.vesk"),
                                            QStringLiteral("notes/notes.vesk.vesk"),
                                            QStringLiteral("Client Work/shop/db.vesk")});
        QCOMPARE(paths.size(), 3);
        WelcomeWindowController window(documents);
        window.show();
        QCOMPARE(window.recentDocuments(), paths);
        QCOMPARE(window.tableView()->rowCount(), 3);
        QVERIFY(!window.findChild<QLabel*>(QStringLiteral("lblNoRecentDocuments"))->isVisible());
        const QStringList titles{QStringLiteral("web"), QStringLiteral("notes"),
                                 QStringLiteral("db")};
        const QStringList subtitles{QStringLiteral("~/Projects/web"), QStringLiteral("~/notes"),
                                    QStringLiteral("~/Client%20Work/shop")};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cellAt(window, row)->lblTitle()->text(), titles.at(row));
            QCOMPARE(cellAt(window, row)->lblSubtitle()->text(), subtitles.at(row));
        }
        // The first row is selected and its text follows the selection's colours.
        QCOMPARE(selectedRow(window), 0);
        QCOMPARE(cellAt(window, 0)->backgroundStyle(),
                 WelcomeWindowRecentView::BackgroundStyle::Emphasized);
        QCOMPARE(cellAt(window, 1)->backgroundStyle(),
                 WelcomeWindowRecentView::BackgroundStyle::Normal);
        QCOMPARE(cellAt(window, 0)->lblTitle()->palette().color(QPalette::WindowText),
                 QPalette().color(QPalette::HighlightedText));
        QVERIFY(cellAt(window, 1)->lblTitle()->palette().color(QPalette::WindowText) !=
                QPalette().color(QPalette::HighlightedText));
        test::saveScreenshot(&window, QStringLiteral("welcome-recent"));

        QTest::keyClick(window.tableView(), Qt::Key_Down);
        QCOMPARE(cellAt(window, 0)->backgroundStyle(),
                 WelcomeWindowRecentView::BackgroundStyle::Normal);
        QCOMPARE(cellAt(window, 1)->backgroundStyle(),
                 WelcomeWindowRecentView::BackgroundStyle::Emphasized);
    }

    void arrowKeys_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("expected");
        QTest::newRow("down from the first") << 0 << QList<int>{Qt::Key_Down} << 1;
        QTest::newRow("down on the last stays") << 2 << QList<int>{Qt::Key_Down} << 2;
        QTest::newRow("up on the first stays") << 0 << QList<int>{Qt::Key_Up} << 0;
        QTest::newRow("up from the last") << 2 << QList<int>{Qt::Key_Up} << 1;
        QTest::newRow("down past the end")
            << 0 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << 2;
        QTest::newRow("down then up") << 1 << QList<int>{Qt::Key_Down, Qt::Key_Up} << 1;
        QTest::newRow("no selection: nothing moves")
            << -1 << QList<int>{Qt::Key_Down, Qt::Key_Up} << -1;
    }
    void arrowKeys()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, keys);
        QFETCH(int, expected);
        DocumentController documents;
        makeRecentDocuments(documents, {QStringLiteral("a/a.vesk"), QStringLiteral("b/b.vesk"),
                                        QStringLiteral("c/c.vesk")});
        WelcomeWindowController window(documents);
        window.show();
        if (start < 0)
            window.tableView()->clearSelection();
        else
            window.tableView()->selectRow(start);
        for (int key : keys)
            QTest::keyClick(window.tableView(), Qt::Key(key));
        QCOMPARE(selectedRow(window), expected);
        QVERIFY(documents.documents().isEmpty());
    }

    void openingARecentDocumentClosesTheWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("row");
        QTest::newRow("return on the first row") << "return" << 0;
        QTest::newRow("return after moving down") << "down return" << 1;
        QTest::newRow("double click on the last row") << "double click" << 2;
    }
    void openingARecentDocumentClosesTheWindow()
    {
        QFETCH(QString, how);
        QFETCH(int, row);
        DocumentController documents;
        const QStringList paths =
            makeRecentDocuments(documents, {QStringLiteral("a/a.vesk"), QStringLiteral("b/b.vesk"),
                                            QStringLiteral("c/c.vesk")});
        AppDelegate delegate(documents);
        delegate.showWelcomeWindow();
        QPointer<WelcomeWindowController> window = delegate.welcomeWindowController();
        QVERIFY(window);
        QTableWidget* table = window->tableView();
        if (how == QStringLiteral("double click")) {
            const QRect cell = table->visualRect(table->model()->index(row, 0));
            // A double click starts with a press, as it does for a real mouse.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        } else {
            if (how.startsWith(QStringLiteral("down")))
                QTest::keyClick(table, Qt::Key_Down);
            QTest::keyClick(table, Qt::Key_Return);
        }
        QCOMPARE(openFiles(documents), QStringList{paths.at(row)});
        QTRY_VERIFY(!window);
        QVERIFY(!delegate.welcomeWindowController());
        closeAllDocuments(documents);
    }

    void escapeClosesTheWindow()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.showWelcomeWindow();
        QPointer<WelcomeWindowController> window = delegate.welcomeWindowController();
        QTest::keyClick(window->tableView(), Qt::Key_Escape);
        QTRY_VERIFY(!window);
        QVERIFY(documents.documents().isEmpty());
    }

    void launchChoice_data()
    {
        QTest::addColumn<QVariant>("showWelcomeWindow");
        QTest::addColumn<bool>("untitledAllowed");
        QTest::newRow("welcome window wanted") << QVariant(true) << false;
        QTest::newRow("switched off") << QVariant(false) << true;
        QTest::newRow("shipped default") << QVariant() << false;
    }
    void launchChoice()
    {
        QFETCH(QVariant, showWelcomeWindow);
        QFETCH(bool, untitledAllowed);
        if (showWelcomeWindow.isValid())
            UserDefaults::standard().setValue(kShowWelcomeWindow, showWelcomeWindow);
        DocumentController documents;
        AppDelegate delegate(documents);
        QCOMPARE(delegate.applicationShouldOpenUntitledFile(), untitledAllowed);
        QCOMPARE(bool(delegate.welcomeWindowController()), !untitledAllowed);
        if (delegate.welcomeWindowController()) {
            QVERIFY(delegate.welcomeWindowController()->isVisible());
            QVERIFY(delegate.welcomeWindowController()->windowFlags() & Qt::FramelessWindowHint);
            delegate.welcomeWindowController()->closeWindow();
        }
        QVERIFY(documents.documents().isEmpty());
    }

    void singleWindow()
    {
        DocumentController documents;
        makeRecentDocuments(documents, {QStringLiteral("a/a.vesk")});
        AppDelegate delegate(documents);
        delegate.showWelcomeWindow();
        QPointer<WelcomeWindowController> first = delegate.welcomeWindowController();
        delegate.showWelcomeWindow();
        QCOMPARE(delegate.welcomeWindowController(), first.data());
        QCOMPARE(first->recentDocuments().size(), 1);

        // Closed and shown again: a new window that reads the list afresh.
        first->closeWindow();
        QTRY_VERIFY(!first);
        makeRecentDocuments(documents, {QStringLiteral("a/a.vesk"), QStringLiteral("b/b.vesk")});
        delegate.showWelcomeWindow();
        QVERIFY(delegate.welcomeWindowController());
        QCOMPARE(delegate.welcomeWindowController()->recentDocuments().size(), 2);
        delegate.welcomeWindowController()->closeWindow();
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("documentsOpened");
        QTest::addColumn<QString>("page");
        QTest::newRow("new document") << "btnNewDocument" << true << 1 << "";
        QTest::newRow("gallery") << "btnGallery" << false << 0 << "/vesk/gallery/";
        QTest::newRow("close") << "btnClose" << true << 0 << "";
    }
    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(bool, closes);
        QFETCH(int, documentsOpened);
        QFETCH(QString, page);
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.showWelcomeWindow();
        QPointer<WelcomeWindowController> window = delegate.welcomeWindowController();
        QTest::mouseClick(window->findChild<QToolButton*>(button), Qt::LeftButton);
        QCOMPARE(documents.documents().size(), documentsOpened);
        if (page.isEmpty()) {
            QVERIFY(m_workspace->calls.isEmpty());
        } else {
            QCOMPARE(m_workspace->calls.size(), 1);
            QCOMPARE(m_workspace->calls.first().target, productPage(page));
        }
        if (closes) {
            QTRY_VERIFY(!window);
        } else {
            QVERIFY(window && window->isVisible());
            window->closeWindow();
        }
        closeAllDocuments(documents);
    }

    void checkBoxWritesTheLaunchChoice()
    {
        UserDefaults::standard().setValue(kShowWelcomeWindow, true);
        DocumentController documents;
        WelcomeWindowController window(documents);
        auto* check = window.findChild<QCheckBox*>(QStringLiteral("chkShowAtLaunch"));
        QVERIFY(check->isChecked());
        check->setChecked(false);
        QCOMPARE(UserDefaults::standard().value(kShowWelcomeWindow), QVariant(false));
        check->setChecked(true);
        QCOMPARE(UserDefaults::standard().value(kShowWelcomeWindow), QVariant(true));
    }

    void versionLabel()
    {
        DocumentController documents;
        WelcomeWindowController window(documents);
        const QString version = QCoreApplication::applicationVersion().isEmpty()
                                    ? applicationVersion()
                                    : QCoreApplication::applicationVersion();
        QCOMPARE(window.lblVersion()->text(), QStringLiteral("Version ") + version);
    }
};

class TestSamples : public QObject
{
    Q_OBJECT

    RecordingWorkspace* m_workspace = nullptr;
    QTemporaryDir m_folder;

    QStringList menuRows(QMenu* menu)
    {
        QStringList rows;
        for (QAction* action : menu->actions())
            rows.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return rows;
    }

private Q_SLOTS:
    void init()
    {
        m_workspace = new RecordingWorkspace;
        Workspace::setShared(std::unique_ptr<Workspace>(m_workspace));
    }
    void cleanup()
    {
        Workspace::setShared(nullptr);
        SamplePanel::setResponder({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void menuFromResource_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<int>>("tags");
        QTest::newRow("no entries")
            << QByteArray("[]") << list({"-", "View More..."}) << QList<int>{};
        QTest::newRow("not JSON") << QByteArray("<plist/>") << list({"-", "View More..."})
                                  << QList<int>{};
        QTest::newRow("three entries")
            << QByteArray("[{\"title\":\"LAMP\",\"readme_url\":\"https://x.test/lamp\"},"
                          "{\"title\":\"Rails\",\"readme_url\":\"https://x.test/rails\"},"
                          "{\"title\":\"Go\",\"readme_url\":\"/vesk/samples/go/\"}]")
            << list({"LAMP", "Rails", "Go", "-", "View More..."}) << QList<int>{0, 1, 2};
        QTest::newRow("an entry without a title keeps the others' tags")
            << QByteArray("[{\"readme_url\":\"x\"},{\"title\":\"Go\"}]")
            << list({"Go", "-", "View More..."}) << QList<int>{1};
    }
    void menuFromResource()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, rows);
        QFETCH(QList<int>, tags);
        const QString path = m_folder.filePath(QStringLiteral("Samples.json"));
        QVERIFY(test::writeFile(path, json));
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.buildSampleMenu(path);
        QMenu* menu = delegate.sampleMenu();
        QCOMPARE(menuRows(menu), rows);
        QList<int> shownTags;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->text() != QStringLiteral("View More..."))
                shownTags.append(action->data().toInt());
        }
        QCOMPARE(shownTags, tags);

        menu->actions().last()->trigger();
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.first().target, productPage(QStringLiteral("/vesk/gallery/")));
    }

    void missingResourceIsEmpty()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.buildSampleMenu(m_folder.filePath(QStringLiteral("none.json")));
        QCOMPARE(menuRows(delegate.sampleMenu()), (list({"-", "View More..."})));
    }

    void applicationMenuHoldsTheSamples()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        QMenu menu;
        delegate.populateApplicationMenu(&menu);
        QMenu* samples = nullptr;
        for (QAction* action : menu.actions()) {
            if (action->menu() && action->text() == QStringLiteral("Samples"))
                samples = action->menu();
        }
        QVERIFY(samples);
        QCOMPARE(menuRows(samples),
                 (list({"LAMP", "Node.js", "Flask", "PostgreSQL", "-", "View More..."})));
    }

    void shippedSamplesAreDocuments()
    {
        const QList<Sample> samples = readSamples();
        QCOMPARE(samples.size(), 4);
        for (const Sample& sample : samples) {
            QFile file(sample.documentResource());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(sample.title));
            DataModel model;
            QVERIFY2(model.loadData(file.readAll()), qPrintable(sample.title));
            QVERIFY(!model.boxName().value_or(QString()).isEmpty());
            QVERIFY(model.bootstrapShellCode().value_or(QString()).contains(
                QStringLiteral("set -euo pipefail")));
            QVERIFY(!model.portForwards().isEmpty());
            QVERIFY(sample.readmeAddress().toString().startsWith(
                productPage(QStringLiteral("/vesk/samples/"))));
        }
    }

    void savingASample_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QByteArray>("alreadyThere");
        QTest::newRow("LAMP into Shop") << "Shop" << QByteArray();
        QTest::newRow("into a folder that exists, keeping its file")
            << "Existing" << sampleDocumentBytes();
    }
    void savingASample()
    {
        QFETCH(QString, folderName);
        QFETCH(QByteArray, alreadyThere);
        const QString folder = m_folder.filePath(folderName);
        const QString expected = folder + QStringLiteral("/LAMP.vesk");
        if (!alreadyThere.isEmpty())
            QVERIFY(test::writeFile(expected, alreadyThere));
        QStringList asked;
        SamplePanel::setResponder([&](const QString& title, const QString& proposed) {
            asked << title << proposed;
            return std::optional<QString>(folder);
        });
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.buildSampleMenu();
        delegate.showWelcomeWindow();
        QPointer<WelcomeWindowController> welcome = delegate.welcomeWindowController();
        QAction* lamp = delegate.sampleMenu()->actions().first();
        QCOMPARE(lamp->text(), QStringLiteral("LAMP"));
        lamp->trigger();

        QCOMPARE(asked, (list({"Choose where to save the sample file", "LAMP"})));
        QVERIFY(QFileInfo::exists(expected));
        if (alreadyThere.isEmpty()) {
            QFile resource(QStringLiteral(":/samples/LAMP.vesk"));
            QVERIFY(resource.open(QIODevice::ReadOnly));
            QCOMPARE(test::readFile(expected), resource.readAll());
        } else {
            QCOMPARE(test::readFile(expected), alreadyThere);
        }
        // The copy is the user's to edit.
        QVERIFY(QFileInfo(expected).permissions() & QFileDevice::WriteOwner);
        QCOMPARE(openFiles(documents), QStringList{expected});
        QCOMPARE(m_workspace->calls.size(), 1);
        QCOMPARE(m_workspace->calls.first().kind, QStringLiteral("openUrl"));
        QCOMPARE(m_workspace->calls.first().target,
                 productPage(QStringLiteral("/vesk/samples/lamp/")));
        QCOMPARE(m_workspace->calls.first().activate, false);
        QTRY_VERIFY(!welcome);
        closeAllDocuments(documents);
    }

    void cancellingThePanelSavesNothing()
    {
        SamplePanel::setResponder(
            [](const QString&, const QString&) { return std::optional<QString>(); });
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.buildSampleMenu();
        delegate.showWelcomeWindow();
        delegate.sampleMenu()->actions().first()->trigger();
        QVERIFY(documents.documents().isEmpty());
        QVERIFY(m_workspace->calls.isEmpty());
        QVERIFY(delegate.welcomeWindowController());
        delegate.welcomeWindowController()->closeWindow();
    }
};

VESK_TEST(TestWelcomeWindow)
VESK_TEST(TestSamples)
#include "tst_Welcome.moc"
