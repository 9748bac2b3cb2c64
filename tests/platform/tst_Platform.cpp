#include <QFile>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "NotificationCenter.h"
#include "Terminals.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "Workspace.h"

using namespace vesk;

namespace {

} // namespace

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_path = m_folder->filePath(QStringLiteral("Vesk.conf"));
    }

    void missingKeysReadEmpty()
    {
        UserDefaults defaults(m_path);
        QVERIFY(!defaults.value(kLaunchCount).isValid());
        QCOMPARE(defaults.boolForKey(kShowWelcomeWindow), false);
        QCOMPARE(defaults.integerForKey(kLaunchCount), 0);
        QCOMPARE(defaults.stringForKey(UD_ATLAS_USERNAME), QString());
        QVERIFY(defaults.dictionaryForKey(kUserDefaultsUpdateIgnores).isEmpty());
    }

    void registeredValuesLieBelowTheUsersOwn()
    {
        UserDefaults defaults(m_path);
        defaults.registerDefaults({{kShowWelcomeWindow, true}, {kLaunchCount, 7}});
        QCOMPARE(defaults.boolForKey(kShowWelcomeWindow), true);
        QCOMPARE(defaults.integerForKey(kLaunchCount), 7);

        defaults.setValue(kShowWelcomeWindow, false);
        QCOMPARE(defaults.boolForKey(kShowWelcomeWindow), false);
        defaults.removeObject(kShowWelcomeWindow);
        QCOMPARE(defaults.boolForKey(kShowWelcomeWindow), true);

        // Registered values are never written to disk.
        defaults.setValue(kLaunchCount, 8);
        UserDefaults other(m_path);
        QCOMPARE(other.integerForKey(kLaunchCount), 8);
        QCOMPARE(other.boolForKey(kShowWelcomeWindow), false);
        QVERIFY(!test::readFile(m_path).contains("showWelcomeWindow"));
    }

    void registersDefaultsFromJson_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("object") << QByteArray(R"({"showWelcomeWindow": true, "launchCount": 3})")
                                << true;
        QTest::newRow("not an object") << QByteArray("[true, 3]") << false;
        QTest::newRow("truncated") << QByteArray(R"({"showWelcomeWindow": tr)") << false;
    }
    void registersDefaultsFromJson()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        const QString json = m_folder->filePath(QStringLiteral("Defaults.json"));
        QVERIFY(test::writeFile(json, content));
        UserDefaults defaults(m_path);
        QCOMPARE(defaults.registerDefaultsFromFile(json), accepted);
        QCOMPARE(defaults.boolForKey(kShowWelcomeWindow), accepted);
        QCOMPARE(defaults.integerForKey(kLaunchCount), accepted ? 3 : 0);
        QVERIFY(
            !defaults.registerDefaultsFromFile(m_folder->filePath(QStringLiteral("none.json"))));
    }

    void writesPersistAcrossInstances_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("true") << kAutoCloseOutputWindow << QVariant(true);
        QTest::newRow("false") << kShowWelcomeWindow << QVariant(false);
        QTest::newRow("integer") << kLaunchCount << QVariant(42);
        QTest::newRow("text") << UD_ATLAS_USERNAME << QVariant(QStringLiteral("ada"));
        QTest::newRow("dictionary") << kUserDefaultsUpdateIgnores
                                    << QVariant(QVariantMap{{QStringLiteral("UUID-1"), 999999999}});
    }
    void writesPersistAcrossInstances()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        auto expectRead = [&](const UserDefaults& defaults) {
            switch (value.typeId()) {
            case QMetaType::Bool:
                QCOMPARE(defaults.boolForKey(key), value.toBool());
                break;
            case QMetaType::Int:
                QCOMPARE(defaults.integerForKey(key), value.toLongLong());
                break;
            case QMetaType::QString:
                QCOMPARE(defaults.stringForKey(key), value.toString());
                break;
            default:
                QCOMPARE(defaults.dictionaryForKey(key), value.toMap());
            }
        };
        // Registered opposite values show that the stored value wins.
        const QVariantMap registered = {
            {kAutoCloseOutputWindow, false}, {kShowWelcomeWindow, true}, {kLaunchCount, 1}};
        {
            UserDefaults writer(m_path);
            UserDefaults reader(m_path); // alive at the same time
            writer.setValue(key, value);
            reader.registerDefaults(registered);
            expectRead(reader);
        }
        UserDefaults later(m_path);
        later.registerDefaults(registered);
        expectRead(later);
    }

    void changedNamesTheKey()
    {
        UserDefaults defaults(m_path);
        QSignalSpy changed(&defaults, &UserDefaults::changed);
        defaults.setValue(kAutoCloseOutputWindow, true);
        defaults.removeObject(kAutoCloseOutputWindow);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(0).toString(), kAutoCloseOutputWindow);
        QCOMPARE(changed.at(1).at(0).toString(), kAutoCloseOutputWindow);
    }

    void clearForgetsStoredValues()
    {
        UserDefaults defaults(m_path);
        defaults.registerDefaults({{kLaunchCount, 2}});
        defaults.setValue(kLaunchCount, 5);
        defaults.setValue(UD_ATLAS_USERNAME, QStringLiteral("ada"));
        defaults.clear();
        QCOMPARE(defaults.integerForKey(kLaunchCount), 2);
        QCOMPARE(defaults.stringForKey(UD_ATLAS_USERNAME), QString());
        QCOMPARE(UserDefaults(m_path).stringForKey(UD_ATLAS_USERNAME), QString());
    }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
};

class TestNotificationCenter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void observersHearTheirNameInOrder()
    {
        NotificationCenter center;
        QObject context;
        QStringList heard;
        center.observe(NOTE_MACHINE_INDEX_CHANGED, &context, [&heard](const QVariant& object) {
            heard.append(QStringLiteral("first:") + object.toString());
        });
        center.observe(NOTE_MACHINE_INDEX_CHANGED, &context, [&heard](const QVariant& object) {
            heard.append(QStringLiteral("second:") + object.toString());
        });
        center.observe(NOTE_ATLAS_LOGIN_CHANGED, &context,
                       [&heard](const QVariant&) { heard.append(QStringLiteral("atlas")); });

        center.post(NOTE_MACHINE_INDEX_CHANGED, QStringLiteral("index"));
        QCOMPARE(heard,
                 QStringList({QStringLiteral("first:index"), QStringLiteral("second:index")}));
        heard.clear();
        center.post(NOTE_ATLAS_LOGIN_CHANGED);
        center.post(NOTE_VC_VESK_DATA_CHANGED);
        QCOMPARE(heard, QStringList({QStringLiteral("atlas")}));
    }

    void observationEndsWithItsContext()
    {
        NotificationCenter center;
        int calls = 0;
        auto context = std::make_unique<QObject>();
        center.observe(NOTE_VC_VESK_DATA_CHANGED, context.get(),
                       [&calls](const QVariant&) { ++calls; });
        center.post(NOTE_VC_VESK_DATA_CHANGED);
        context.reset();
        center.post(NOTE_VC_VESK_DATA_CHANGED);
        QCOMPARE(calls, 1);
    }

    void observationEndsWhenDisconnected()
    {
        NotificationCenter center;
        QObject context;
        int calls = 0;
        const QMetaObject::Connection connection = center.observe(
            NOTE_VC_VESK_DATA_CHANGED, &context, [&calls](const QVariant&) { ++calls; });
        QVERIFY(connection);
        center.post(NOTE_VC_VESK_DATA_CHANGED);
        QVERIFY(QObject::disconnect(connection));
        center.post(NOTE_VC_VESK_DATA_CHANGED);
        QCOMPARE(calls, 1);
    }

    void defaultCenterIsOne()
    {
        QCOMPARE(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
        QObject context;
        QVariant received;
        NotificationCenter::defaultCenter().observe(
            NOTE_MACHINE_INDEX_CHANGED, &context,
            [&received](const QVariant& object) { received = object; });
        const QVariantMap records = {{QStringLiteral("abc123"), QStringLiteral("web")}};
        NotificationCenter::defaultCenter().post(NOTE_MACHINE_INDEX_CHANGED, records);
        QCOMPARE(received.toMap(), records);
    }
};

class TestWorkspace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_bin = std::make_unique<QTemporaryDir>();
        QVERIFY(m_bin->isValid());
    }

    void terminalCommandPrefersTheUsersChoice_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("terminalVariable");
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QStringList>("notExecutable");
        QTest::addColumn<QStringList>("expected"); // "SCRIPT" stands for the script's path

        using Env = std::optional<QByteArray>;
        auto list = [](std::initializer_list<const char*> items) {
            QStringList result;
            for (const char* item : items)
                result.append(QString::fromLatin1(item));
            return result;
        };
        QTest::newRow("$TERMINAL first") << Env("myterm") << list({"myterm", "x-terminal-emulator"})
                                         << QStringList() << list({"myterm", "-e", "SCRIPT"});
        QTest::newRow("$TERMINAL not found")
            << Env("myterm") << list({"xterm"}) << QStringList() << list({"xterm", "-e", "SCRIPT"});
        QTest::newRow("empty $TERMINAL")
            << Env("") << list({"konsole"}) << QStringList() << list({"konsole", "-e", "SCRIPT"});
        QTest::newRow("x-terminal-emulator before the rest")
            << Env() << list({"xterm", "gnome-terminal", "x-terminal-emulator"}) << QStringList()
            << list({"x-terminal-emulator", "-e", "SCRIPT"});
        QTest::newRow("gnome-terminal runs what follows --")
            << Env() << list({"xterm", "gnome-terminal"}) << QStringList()
            << list({"gnome-terminal", "--", "SCRIPT"});
        QTest::newRow("xfce4-terminal uses -x")
            << Env() << list({"xfce4-terminal"}) << QStringList()
            << list({"xfce4-terminal", "-x", "SCRIPT"});
        QTest::newRow("kitty takes the program as it is")
            << Env() << list({"kitty", "xterm"}) << QStringList() << list({"kitty", "SCRIPT"});
        QTest::newRow("a file that cannot run is passed over")
            << Env() << list({"xterm"}) << list({"x-terminal-emulator"})
            << list({"xterm", "-e", "SCRIPT"});
        QTest::newRow("no terminal") << Env() << QStringList() << list({"xterm"}) << QStringList();
    }
    void terminalCommandPrefersTheUsersChoice()
    {
        QFETCH(std::optional<QByteArray>, terminalVariable);
        QFETCH(QStringList, executables);
        QFETCH(QStringList, notExecutable);
        QFETCH(QStringList, expected);
        for (const QString& name : std::as_const(executables))
            QVERIFY(writeScript(name, "#!/bin/sh\nexit 0\n"));
        for (const QString& name : std::as_const(notExecutable))
            QVERIFY(test::writeFile(m_bin->filePath(name), "#!/bin/sh\nexit 0\n"));
        const test::ScopedEnvironment path("PATH", m_bin->path().toLocal8Bit());
        const test::ScopedEnvironment terminal("TERMINAL", terminalVariable);

        const QString script = QStringLiteral("/tmp/folder with blanks/vesk-ssh.command");
        expected.replaceInStrings(QStringLiteral("SCRIPT"), script);
        const TerminalLookup lookup = findTerminal(
            script, QString(), qEnvironmentVariable("TERMINAL"),
            [](const QString& program) { return QStandardPaths::findExecutable(program); });
        QCOMPARE(lookup.command, expected);
    }

    // How each terminal is told to run the script, and what wins over what.
    void commandLineOfEachTerminal_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("terminalVariable");
        QTest::addColumn<QString>("expected"); // blank-separated, S for the script
        const char* rows[][2] = {
            {"xdg-terminal-exec", "xdg-terminal-exec S"},
            {"x-terminal-emulator", "x-terminal-emulator -e S"},
            {"gnome-terminal", "gnome-terminal -- S"},
            {"ptyxis", "ptyxis --new-window -- S"},
            {"kgx", "kgx -- S"},
            {"konsole", "konsole -e S"},
            {"xfce4-terminal", "xfce4-terminal -x S"},
            {"mate-terminal", "mate-terminal -x S"},
            {"tilix", "tilix -e S"},
            {"terminator", "terminator -x S"},
            {"foot", "foot S"},
            {"kitty", "kitty S"},
            {"alacritty", "alacritty -e S"},
            {"wezterm", "wezterm start -- S"},
            {"xterm", "xterm -e S"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString() << QString()
                                  << QString::fromLatin1(row[1]);
        QTest::newRow("the desktop's choice before the common ones")
            << "xterm konsole xdg-terminal-exec"
            << ""
            << ""
            << "xdg-terminal-exec S";
        QTest::newRow("the user's choice wins") << "xterm konsole"
                                                << "konsole --hold -e"
                                                << ""
                                                << "konsole --hold -e S";
        QTest::newRow("a chosen bare terminal is told its own way") << "xterm gnome-terminal"
                                                                    << "gnome-terminal"
                                                                    << "xterm"
                                                                    << "gnome-terminal -- S";
        QTest::newRow("a chosen terminal that is gone") << "xterm"
                                                        << "tilix -e"
                                                        << ""
                                                        << "xterm -e S";
        QTest::newRow("$TERMINAL naming a known terminal") << "xterm foot"
                                                           << ""
                                                           << "foot"
                                                           << "foot S";
        QTest::newRow("$TERMINAL with its own options") << "xterm myterm"
                                                        << ""
                                                        << "myterm --class vesk -e"
                                                        << "myterm --class vesk -e S";
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "myterm"
                                 << "";
    }
    void commandLineOfEachTerminal()
    {
        QFETCH(QString, installed);
        QFETCH(QString, chosen);
        QFETCH(QString, terminalVariable);
        QFETCH(QString, expected);
        const QStringList programs = installed.split(u' ', Qt::SkipEmptyParts);
        const TerminalLookup lookup = findTerminal(
            QStringLiteral("S"), chosen, terminalVariable, [&](const QString& program) {
                return programs.contains(program) ? QStringLiteral("/usr/bin/") + program
                                                  : QString();
            });
        QCOMPARE(lookup.command.join(u' '), expected);
        if (expected.isEmpty())
            QCOMPARE(lookup.tried.size(), 1 + int(knownTerminals().size()));
    }

    void runInTerminalStartsTheTerminal()
    {
        const QString record = m_bin->filePath(QStringLiteral("arguments.txt"));
        QVERIFY(writeScript(QStringLiteral("x-terminal-emulator"),
                            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + record.toLocal8Bit() +
                                ".part\"\nmv \"" + record.toLocal8Bit() + ".part\" \"" +
                                record.toLocal8Bit() + "\"\n"));
        const test::ScopedEnvironment path("PATH", m_bin->path().toLocal8Bit() + ":/usr/bin:/bin");
        const test::ScopedEnvironment terminal("TERMINAL", std::nullopt);

        DesktopWorkspace workspace;
        QVERIFY(workspace.runInTerminal(QStringLiteral("/tmp/my script.command")));
        QTRY_VERIFY(QFile::exists(record));
        QCOMPARE(test::readFile(record), QByteArray("-e\n/tmp/my script.command\n"));
    }

    void runInTerminalWithoutTerminalFails()
    {
        const test::ScopedEnvironment path("PATH", m_bin->path().toLocal8Bit());
        const test::ScopedEnvironment terminal("TERMINAL", std::nullopt);
        DesktopWorkspace workspace;
        QString reason;
        QVERIFY(!workspace.runInTerminal(QStringLiteral("/tmp/vesk-ssh.command"), &reason));
        QVERIFY2(reason.startsWith(QStringLiteral("No terminal was found: Vesk looked for "
                                                  "xdg-terminal-exec, x-terminal-emulator, "
                                                  "gnome-terminal,")) &&
                     reason.contains(QStringLiteral("xterm. Install a terminal, or choose yours in "
                                                    "Preferences...")),
                 qPrintable(reason));
    }

    void recordingWorkspaceStandsInForTheDesktop()
    {
        auto owned = std::make_unique<RecordingWorkspace>();
        RecordingWorkspace* recording = owned.get();
        Workspace::setShared(std::move(owned));
        auto restore = qScopeGuard([] { Workspace::setShared(nullptr); });
        QCOMPARE(&Workspace::shared(), recording);

        QVERIFY(Workspace::shared().openUrl(QUrl(QStringLiteral("https://example.org/vesk/"))));
        QVERIFY(Workspace::shared().openUrl(QUrl(QStringLiteral("https://example.org/")), false));
        recording->result = false;
        QVERIFY(!Workspace::shared().openFile(QStringLiteral("/tmp/a.vesk")));
        QVERIFY(!Workspace::shared().revealFile(QStringLiteral("/tmp/Vagrantfile")));
        QVERIFY(!Workspace::shared().runInTerminal(QStringLiteral("/tmp/vesk-ssh.command")));

        QCOMPARE(recording->calls.size(), 5);
        const QStringList kinds = {QStringLiteral("openUrl"), QStringLiteral("openUrl"),
                                   QStringLiteral("openFile"), QStringLiteral("revealFile"),
                                   QStringLiteral("runInTerminal")};
        const QStringList targets = {
            QStringLiteral("https://example.org/vesk/"), QStringLiteral("https://example.org/"),
            QStringLiteral("/tmp/a.vesk"), QStringLiteral("/tmp/Vagrantfile"),
            QStringLiteral("/tmp/vesk-ssh.command")};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(recording->calls.at(i).kind, kinds.at(i));
            QCOMPARE(recording->calls.at(i).target, targets.at(i));
        }
        QCOMPARE(recording->calls.at(0).activate, true);
        QCOMPARE(recording->calls.at(1).activate, false);

        restore.dismiss();
        Workspace::setShared(nullptr);
        QVERIFY(dynamic_cast<DesktopWorkspace*>(&Workspace::shared()));
    }

private:
    bool writeScript(const QString& name, const QByteArray& content)
    {
        const QString path = m_bin->filePath(name);
        return test::writeFile(path, content) &&
               QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<QTemporaryDir> m_bin;
};

VESK_TEST(TestUserDefaults)
VESK_TEST(TestNotificationCenter)
VESK_TEST(TestWorkspace)
#include "tst_Platform.moc"
