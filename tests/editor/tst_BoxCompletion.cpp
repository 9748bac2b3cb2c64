#include <unistd.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include "DocumentController.h"
#include "EditorTestSupport.h"
#include "InstalledBoxes.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VeskDocument.h"
#include "VeskDocumentWindowController.h"
#include "VeskViewController.h"

using namespace vesk;
using namespace vesk::test;

// The box field completes from the boxes in Vagrant's data folder, a fixture folder here that
// the test changes while a document window is open.
class TestBoxCompletion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_boxes;

    void addBox(const QString& folder, const QString& version, const QString& provider)
    {
        const QString path = QDir(m_boxes).filePath(folder + u'/' + version + u'/' + provider);
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(path + QStringLiteral("/metadata.json"), "{\"provider\":\"x\"}"));
    }

    static QStringList names(const QList<InstalledBox>& boxes)
    {
        QStringList list;
        for (const InstalledBox& box : boxes)
            list.append(box.name);
        return list;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Before the application's list is made, so it follows the fixture.
        qputenv("VAGRANT_HOME", m_home.path().toUtf8());
        m_boxes = m_home.filePath(QStringLiteral("boxes"));
        addBox(QStringLiteral("ubuntu-VAGRANTSLASH-jammy64"), QStringLiteral("20231215.0.0"),
               QStringLiteral("virtualbox"));
        addBox(QStringLiteral("ubuntu-VAGRANTSLASH-jammy64"), QStringLiteral("20240301.0.0"),
               QStringLiteral("virtualbox"));
        addBox(QStringLiteral("ubuntu-VAGRANTSLASH-jammy64"), QStringLiteral("20231215.0.0"),
               QStringLiteral("libvirt"));
        // Since boxes have architectures: version/architecture/provider.
        addBox(QStringLiteral("debian-VAGRANTSLASH-bookworm64"), QStringLiteral("12.20240503.1"),
               QStringLiteral("amd64/virtualbox"));
        addBox(QStringLiteral("local"), QStringLiteral("0"), QStringLiteral("vesk_fake"));
        QVERIFY(writeFile(m_boxes + QStringLiteral("/ubuntu-VAGRANTSLASH-jammy64/metadata_url"),
                          "https://vagrantcloud.com/ubuntu/jammy64"));
        // Not boxes, or not readable ones: a link to itself, a file, a box that is only begun.
        QVERIFY(QFile::link(m_boxes + QStringLiteral("/looped-VAGRANTSLASH-box"),
                            m_boxes + QStringLiteral("/looped-VAGRANTSLASH-box")));
        QVERIFY(writeFile(m_boxes + QStringLiteral("/stray-file"), "x"));
        QVERIFY(QDir().mkpath(m_boxes + QStringLiteral("/half-VAGRANTSLASH-added/1.0/virtualbox")));
        // Root reads any folder; for others this one cannot be listed at all.
        addBox(QStringLiteral("locked-VAGRANTSLASH-box"), QStringLiteral("1"),
               QStringLiteral("virtualbox"));
        QVERIFY(QFile::setPermissions(m_boxes + QStringLiteral("/locked-VAGRANTSLASH-box"), {}));
    }
    void cleanupTestCase()
    {
        QFile::setPermissions(m_boxes + QStringLiteral("/locked-VAGRANTSLASH-box"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void readsTheBoxesFolder()
    {
        QCOMPARE(InstalledBoxes::defaultBoxesFolder(), m_boxes);
        const QList<InstalledBox> boxes = InstalledBoxes::read(m_boxes);
        QStringList expected{QStringLiteral("debian/bookworm64"), QStringLiteral("local"),
                             QStringLiteral("ubuntu/jammy64")};
        if (::geteuid() == 0)
            expected.insert(2, QStringLiteral("locked/box"));
        QCOMPARE(names(boxes), expected);
        const InstalledBox& jammy = boxes.last();
        QCOMPARE(jammy.versions,
                 (QStringList{QStringLiteral("20240301.0.0"), QStringLiteral("20231215.0.0")}));
        QCOMPARE(jammy.providers,
                 (QStringList{QStringLiteral("libvirt"), QStringLiteral("virtualbox")}));
        QCOMPARE(boxes.first().providers, QStringList{QStringLiteral("virtualbox")});
        QCOMPARE(InstalledBoxes::describe(jammy),
                 QStringLiteral("ubuntu/jammy64 — 20240301.0.0, 20231215.0.0 · libvirt, virtualbox"));
        // No folder at all: no boxes, no complaint.
        QVERIFY(InstalledBoxes::read(m_home.filePath(QStringLiteral("none"))).isEmpty());
    }

    void theBoxFieldCompletesAndStaysFree()
    {
        EditorWorld world;
        VeskDocument* document = world.controller().newDocument();
        QLineEdit* field = document->vcVesk()->txtBoxName();
        QCompleter* completer = field->completer();
        QVERIFY(completer);
        QCOMPARE(completer->model(), &InstalledBoxes::shared());

        // Any part of the name finds it; the list shows versions and providers.
        document->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(document->window()));
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("64"));
        QAbstractItemView* popup = completer->popup();
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(completer->completionCount(), 2);
        saveWindowWithPopup(document->window(), popup, QStringLiteral("editor-box-completion"));
        QTest::keyClick(popup, Qt::Key_Escape);
        field->clear();
        QTest::keyClicks(field, QStringLiteral("JAM"));
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(completer->completionCount(), 1);
        QCOMPARE(popup->model()->index(0, 0).data().toString(),
                 QStringLiteral("ubuntu/jammy64 — 20240301.0.0, 20231215.0.0 · libvirt, virtualbox"));

        // Choosing it puts the bare name in the field, and the document counts the edit.
        document->updateChangeCount(VeskDocument::ChangeType::Cleared);
        QVERIFY(!document->isDocumentEdited());
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QCOMPARE(field->text(), QStringLiteral("ubuntu/jammy64"));
        QVERIFY(document->isDocumentEdited());

        // A name that is not installed is taken as typed.
        field->clear();
        QTest::keyClicks(field, QStringLiteral("acme/not-here"));
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(field->text(), QStringLiteral("acme/not-here"));
        document->loadUIIntoDataModel();
        QCOMPARE(document->dataModel()->boxName(), QStringLiteral("acme/not-here"));
    }

    void theListFollowsTheFolder()
    {
        InstalledBoxes& boxes = InstalledBoxes::shared();
        QVERIFY2(boxes.watchError().isEmpty(), qPrintable(boxes.watchError()));
        addBox(QStringLiteral("hashicorp-VAGRANTSLASH-bionic64"), QStringLiteral("1.0.282"),
               QStringLiteral("virtualbox"));
        QTRY_VERIFY_WITH_TIMEOUT(names(boxes.boxes()).contains(QStringLiteral("hashicorp/bionic64")),
                                 5000);
        QVERIFY(QDir(m_boxes + QStringLiteral("/local")).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!names(boxes.boxes()).contains(QStringLiteral("local")), 5000);
        QCOMPARE(boxes.rowCount(), boxes.boxes().size());

        // Vagrant makes its boxes folder with the first box; a list made before follows it.
        QTemporaryDir fresh;
        InstalledBoxes later(fresh.filePath(QStringLiteral("vagrant.d/boxes")));
        QVERIFY(later.boxes().isEmpty());
        QVERIFY(later.watchError().isEmpty());
        const QString box = fresh.filePath(QStringLiteral("vagrant.d/boxes/first/1/virtualbox"));
        QVERIFY(QDir().mkpath(box));
        QVERIFY(writeFile(box + QStringLiteral("/metadata.json"), "{}"));
        QTRY_VERIFY_WITH_TIMEOUT(names(later.boxes()) == QStringList{QStringLiteral("first")},
                                 5000);
    }

private:
    static void saveWindowWithPopup(QWidget* window, QWidget* popup, const QString& name)
    {
        QPixmap picture = window->grab();
        QPainter painter(&picture);
        painter.drawPixmap(window->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
        painter.end();
        saveScreenshot(picture, name);
    }
};

VESK_TEST(TestBoxCompletion)
#include "tst_BoxCompletion.moc"
