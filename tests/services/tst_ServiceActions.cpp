#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTest>

#include "AppDelegate.h"
#include "AtlasHelper.h"
#include "AtlasLoginWindowController.h"
#include "DocumentController.h"
#include "NewsletterWindowController.h"
#include "OFController.h"
#include "OpenFeedback.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "TheMenu.h"
#include "VagrantHelper.h"

using namespace vesk;

namespace {

const MenuItemModel* find(const QList<MenuItemModel>& items, const QString& title)
{
    for (const MenuItemModel& item : items) {
        if (item.title == title)
            return &item;
    }
    return nullptr;
}

} // namespace

/// How the application reaches the services: its menu actions and the tray's Share row.
class TestServiceActions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newsletterWindowIsSingle()
    {
        DocumentController documents;
        AppDelegate delegate(documents);
        delegate.joinNewsletter();
        QPointer<NewsletterWindowController> first = delegate.newsletterWindowController();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        delegate.joinNewsletter();
        QCOMPARE(delegate.newsletterWindowController(), first.data());

        first->close();
        QVERIFY(!delegate.newsletterWindowController());
        QTRY_VERIFY(!first);
        delegate.joinNewsletter();
        QVERIFY(delegate.newsletterWindowController());
        delegate.newsletterWindowController()->close();
    }

    void feedbackActionsOpenTheirTabs_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("tab");
        QTest::newRow("question") << "actionFeedbackSupport" << int(OFController::SupportTab);
        QTest::newRow("feature") << "actionFeedbackFeature" << int(OFController::FeatureTab);
        QTest::newRow("bug") << "actionFeedbackBug" << int(OFController::BugTab);
    }
    void feedbackActionsOpenTheirTabs()
    {
        QFETCH(QString, action);
        QFETCH(int, tab);
        DocumentController documents;
        AppDelegate delegate(documents);
        QMenu menu;
        delegate.populateApplicationMenu(&menu);
        auto* item = menu.findChild<QAction*>(action);
        QVERIFY(item);
        item->trigger();
        OFController* window = delegate.openFeedback().windowController();
        QVERIFY(window->isVisible());
        QCOMPARE(int(window->selectedTab()), tab);
        QVERIFY(!window->crashReportMode());
        window->close();

        auto* newsletter = menu.findChild<QAction*>(QStringLiteral("actionJoinNewsletter"));
        QVERIFY(newsletter);
        newsletter->trigger();
        QVERIFY(delegate.newsletterWindowController());
        delegate.newsletterWindowController()->close();
    }

    void shareRowAsksForTheLoginFirst()
    {
        // A running and a stopped machine in Vagrant's index of this test's home.
        QVERIFY(test::writeFile(QDir::homePath() +
                                    QStringLiteral("/.vagrant.d/data/machine-index/index"),
                                R"({"version":1,"machines":{
                "aaa111":{"name":"web","provider":"virtualbox","state":"running",
                          "local_data_path":"/p/web/.vagrant","vagrantfile_path":"/p/web"},
                "bbb222":{"name":"db","provider":"virtualbox","state":"poweroff",
                          "local_data_path":"/p/db/.vagrant","vagrantfile_path":"/p/db"}}})"));
        VagrantHelper::Options options;
        options.vagrantCandidates = {QStringLiteral("/usr/bin/true")};
        options.vboxCandidates = {};
        options.watchIndex = false;
        VagrantHelper helper(options);
        TheMenu menu(helper, false);

        const MenuItemModel* web = find(menu.menuModel(), QStringLiteral("web"));
        const MenuItemModel* db = find(menu.menuModel(), QStringLiteral("db"));
        QVERIFY(web && db);
        const MenuItemModel* share = find(web->submenu, QStringLiteral("Share"));
        QVERIFY(share);
        QVERIFY(share->enabled);
        QCOMPARE(share->image, QStringLiteral("Share"));
        QCOMPARE(share->environment->hexId(), std::optional<QString>(QStringLiteral("aaa111")));
        // Right after "RDP".
        QStringList titles;
        for (const MenuItemModel& item : web->submenu)
            titles.append(item.separator ? QStringLiteral("-") : item.title);
        QCOMPARE(titles.mid(titles.indexOf(QStringLiteral("RDP")), 2),
                 (QStringList{QStringLiteral("RDP"), QStringLiteral("Share")}));
        QVERIFY(!find(db->submenu, QStringLiteral("Share"))->enabled);

        AtlasHelper& atlas = AtlasHelper::sharedInstance();
        QVERIFY(!atlas.userIsLoggedInToAtlas());
        share->trigger();
        QPointer<AtlasLoginWindowController> login = atlas.loginWindowController();
        QVERIFY(login);
        QVERIFY(login->isVisible());
        share->trigger();
        QCOMPARE(atlas.loginWindowController(), login.data());
        login->close();
    }
};

VESK_TEST(TestServiceActions)
#include "tst_ServiceActions.moc"
