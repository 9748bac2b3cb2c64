#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "MachineIndex.h"
#include "MachineIndexFixture.h"
#include "SSHHelper.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;

namespace {

constexpr int kTimeout = 20000;

// A private X display (Xvfb) with the icewm window manager, its panel's system tray switched on
// or off, and the real vesk executable started in a home folder of its own. Everything is driven
// and read from outside, as a user's desktop would: xdotool for the mouse and keys, xwininfo and
// wmctrl for what is on the screen.
class Desktop
{
public:
    ~Desktop() { stop(); }

    bool start(bool tray, QString* error)
    {
        for (const char* tool : {"Xvfb", "icewm", "xdotool", "xwininfo", "wmctrl"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                *error = QStringLiteral("%1 is not installed (scripts/setup.sh installs it)")
                             .arg(QString::fromLatin1(tool));
                return false;
            }
        }
        // Xvfb picks a free display itself and names it on the descriptor it is given.
        m_xvfb.setProgram(QStringLiteral("Xvfb"));
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp")});
        m_xvfb.start();
        if (!m_xvfb.waitForStarted() ||
            !QTest::qWaitFor([this] { return m_xvfb.canReadLine(); }, kTimeout)) {
            *error = QStringLiteral("Xvfb did not start");
            return false;
        }
        m_display = u':' + QString::fromLatin1(m_xvfb.readLine().trimmed());

        QDir(m_home.path()).mkpath(QStringLiteral("icewm"));
        QFile preferences(m_home.filePath(QStringLiteral("icewm/preferences")));
        if (!preferences.open(QIODevice::WriteOnly))
            return false;
        preferences.write(tray ? "TaskBarEnableSystemTray=1\n" : "TaskBarEnableSystemTray=0\n");
        preferences.close();
        QProcessEnvironment environment = baseEnvironment();
        environment.insert(QStringLiteral("ICEWM_PRIVCFG"),
                           m_home.filePath(QStringLiteral("icewm")));
        m_windowManager.setProcessEnvironment(environment);
        m_windowManager.setProgram(QStringLiteral("icewm"));
        m_windowManager.start();
        // The panel is up when its task bar window exists (and, with a tray, the tray in it).
        const QString ready =
            tray ? QStringLiteral("\"SystemTray\"") : QStringLiteral("\"TaskBar\"");
        if (!QTest::qWaitFor([&] { return tree().contains(ready); }, kTimeout)) {
            *error = QStringLiteral("icewm did not start on %1").arg(m_display);
            return false;
        }
        return true;
    }

    QString home() const { return m_home.path(); }
    QString display() const { return m_display; }

    bool startVesk(const QList<test::Machine>& machines)
    {
        if (!test::writeFile(m_home.filePath(QStringLiteral(".vagrant.d/data/machine-index/index")),
                             test::indexDocument(machines)))
            return false;
        QProcessEnvironment environment = baseEnvironment();
        const QString home = m_home.path();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"),
                           home + QStringLiteral("/.local/state"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/.runtime"));
        QDir().mkpath(home + QStringLiteral("/.runtime"));
        QFile::setPermissions(home + QStringLiteral("/.runtime"), QFileDevice::ReadOwner |
                                                                      QFileDevice::WriteOwner |
                                                                      QFileDevice::ExeOwner);
        m_vesk.setProcessEnvironment(environment);
        m_vesk.setProgram(QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"));
        m_vesk.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_vesk.start();
        return m_vesk.waitForStarted();
    }

    QProcess& vesk() { return m_vesk; }

    // The whole window tree, one window a line, with names, classes and absolute geometry.
    QString tree() const { return run(QStringLiteral("xwininfo"), {"-root", "-tree"}); }

    QStringList visibleWindowNames() const
    {
        const QStringList ids =
            run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "vesk"})
                .split(u'\n', Qt::SkipEmptyParts);
        QStringList names;
        for (const QString& id : ids)
            names.append(run(QStringLiteral("xdotool"), {"getwindowname", id}).trimmed());
        return names;
    }

    // Where the tray host has embedded vesk's icon: the centre of the icon, or none.
    std::optional<QPoint> trayIconCentre() const
    {
        const QString trayId = run(QStringLiteral("xdotool"), {"search", "--name", "^SystemTray$"})
                                   .split(u'\n', Qt::SkipEmptyParts)
                                   .value(0);
        if (trayId.isEmpty())
            return std::nullopt;
        static const QRegularExpression icon(QStringLiteral(
            R"(\("vesk" "Vesk"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))"));
        const QRegularExpressionMatch match =
            icon.match(run(QStringLiteral("xwininfo"), {"-tree", "-id", trayId}));
        if (!match.hasMatch())
            return std::nullopt;
        return QPoint(match.captured(3).toInt() + match.captured(1).toInt() / 2,
                      match.captured(4).toInt() + match.captured(2).toInt() / 2);
    }

    void click(const QPoint& point) const
    {
        run(QStringLiteral("xdotool"),
            {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
    }
    void keys(const QStringList& names) const
    {
        for (const QString& name : names) {
            run(QStringLiteral("xdotool"), {"key", name});
            QTest::qWait(150);
        }
    }
    // Closes a window as its title bar's close button would (the window manager asks it).
    void closeWindow(const QString& title) const
    {
        run(QStringLiteral("wmctrl"), {"-F", "-c", title});
    }
    void screenshot(const QString& name, const QString& geometry = {}) const
    {
        if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
            return;
        QDir().mkpath(QStringLiteral(VESK_SCREENSHOTS_DIR));
        QStringList arguments{"-window", "root"};
        if (!geometry.isEmpty())
            arguments << "-crop" << geometry;
        arguments << QStringLiteral(VESK_SCREENSHOTS_DIR "/") + name + QStringLiteral(".png");
        run(QStringLiteral("import"), arguments);
    }

private:
    QProcessEnvironment baseEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // No session bus: Qt then embeds its icon in the panel (XEmbed), as on a desktop
        // without a StatusNotifier host.
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // Qt unloads the xcb plugin before the leak check at exit, so what the X libraries keep
        // is reported from an unknown module that no suppression can name. Leaks are checked
        // in the offscreen tests; memory errors are still checked here.
        if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":detect_leaks=0"));
        return environment;
    }

    QString run(const QString& program, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(baseEnvironment());
        process.start(program, arguments);
        if (!process.waitForFinished(kTimeout))
            process.kill();
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    void stop()
    {
        for (QProcess* process : {&m_vesk, &m_windowManager, &m_xvfb}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QTemporaryDir m_home;
    QString m_display;
    QProcess m_xvfb;
    QProcess m_windowManager;
    QProcess m_vesk;
};

QList<test::Machine> machines()
{
    return {{"aaa1111111", "web", "running", "/p/web", "debian/bookworm64"},
            {"bbb2222222", "db", "poweroff", "/p/db", "ubuntu/jammy64"},
            // No friendly name: listed under its short id.
            {"0a1b2c3d4e", "default", "saved", ""}};
}

} // namespace

// The tray on a real tray host: the icon is embedded, its menu lists the index's machines in
// order, and "Machines..." in its "Vesk" submenu opens the Machines window.
class TestTrayE2E : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trayMenuAndMachinesWindow()
    {
        Desktop desktop;
        QString error;
        QVERIFY2(desktop.start(true, &error), qPrintable(error));
        QVERIFY(desktop.startVesk(machines()));

        std::optional<QPoint> icon;
        QVERIFY2(QTest::qWaitFor([&] { return (icon = desktop.trayIconCentre()).has_value(); },
                                 kTimeout),
                 "the tray host never embedded the icon");
        // The welcome window is what the launch rules choose; no Machines window with a tray.
        QTRY_VERIFY_WITH_TIMEOUT(
            desktop.visibleWindowNames().contains(QStringLiteral("Welcome to Vesk")), kTimeout);
        QVERIFY(!desktop.visibleWindowNames().join(u'\n').contains(QStringLiteral("Machines")));
        desktop.screenshot(QStringLiteral("tray-icewm-panel"),
                           QStringLiteral("240x30+%1+738").arg(qMax(0, icon->x() - 200)));

        // A click opens the menu; each machine row opens a submenu named like the row.
        desktop.click(*icon);
        QTest::qWait(500);
        desktop.screenshot(QStringLiteral("tray-icewm-menu"));
        for (const QString& title :
             {QStringLiteral("web"), QStringLiteral("db"), QStringLiteral("0a1b2c3")}) {
            desktop.keys({"Down", "Right"});
            QTRY_VERIFY2_WITH_TIMEOUT(desktop.visibleWindowNames().contains(title),
                                      qPrintable(desktop.visibleWindowNames().join(u',')),
                                      kTimeout);
            desktop.keys({"Left"});
        }
        desktop.keys({"Escape"});

        // Up from the top wraps to "Quit Vesk"; above it is the "Vesk" submenu, whose second
        // group starts with "Machines...", after About, Check for Updates and Preferences.
        desktop.click(*icon);
        QTest::qWait(500);
        desktop.keys({"Up", "Up", "Right", "Down", "Down", "Down", "Return"});
        QTRY_VERIFY2_WITH_TIMEOUT(
            desktop.visibleWindowNames().contains(QStringLiteral("Machines — 1 running")),
            qPrintable(desktop.visibleWindowNames().join(u',')), kTimeout);
        QTest::qWait(300);
        desktop.screenshot(QStringLiteral("machines-window-icewm"));
        QCOMPARE(desktop.vesk().state(), QProcess::Running);
    }
};

// A desktop without a tray: the Machines window is there at launch, and closing every window
// ends Vesk normally instead of leaving an invisible process behind.
class TestNoTrayE2E : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void machinesWindowAtLaunchAndQuitWithTheLastWindow()
    {
        Desktop desktop;
        QString error;
        QVERIFY2(desktop.start(false, &error), qPrintable(error));
        QVERIFY(desktop.startVesk(machines()));
        const QString title = QStringLiteral("Machines — 1 running");
        QTRY_VERIFY2_WITH_TIMEOUT(desktop.visibleWindowNames().contains(title),
                                  qPrintable(desktop.visibleWindowNames().join(u',')), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            desktop.visibleWindowNames().contains(QStringLiteral("Welcome to Vesk")), kTimeout);
        QTest::qWait(300);
        desktop.screenshot(QStringLiteral("machines-window-no-tray-icewm"));

        desktop.closeWindow(QStringLiteral("Welcome to Vesk"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !desktop.visibleWindowNames().contains(QStringLiteral("Welcome to Vesk")), kTimeout);
        // One window left: Vesk is still there.
        QTest::qWait(500);
        QCOMPARE(desktop.vesk().state(), QProcess::Running);
        desktop.closeWindow(title);
        QVERIFY2(desktop.vesk().waitForFinished(kTimeout), "vesk kept running without a window");
        QCOMPARE(desktop.vesk().exitStatus(), QProcess::NormalExit);
        QCOMPARE(desktop.vesk().exitCode(), 0);
    }
};

// Work an earlier run could not save comes back at launch, and a termination signal (what
// systemd sends at logout) keeps it instead of losing it.
class TestRecoveryE2E : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recoveredAtLaunchKeptAtTermination()
    {
        Desktop desktop;
        QString error;
        QVERIFY2(desktop.start(true, &error), qPrintable(error));
        const QString kept =
            desktop.home() + QStringLiteral("/.local/state/vesk/recovery/"
                                            "4f9c2b1e-0d3a-4c5b-9e8f-7a6b5c4d3e2f.vesk");
        QVERIFY(test::writeFile(kept, R"({"veskVersion":2,"boxName":"recovered/box"})"));
        QVERIFY(desktop.startVesk(machines()));
        QTRY_VERIFY2_WITH_TIMEOUT(desktop.visibleWindowNames()
                                          .filter(QRegularExpression(QStringLiteral("^Untitled")))
                                          .size() == 1,
                                  qPrintable(desktop.visibleWindowNames().join(u',')), kTimeout);
        QTest::qWait(500);
        desktop.screenshot(QStringLiteral("document-recovered-icewm"));

        desktop.vesk().terminate();
        QVERIFY2(desktop.vesk().waitForFinished(kTimeout), "vesk did not end on SIGTERM");
        QCOMPARE(desktop.vesk().exitStatus(), QProcess::NormalExit);
        QCOMPARE(desktop.vesk().exitCode(), 0);
        QVERIFY(test::readFile(kept).contains("recovered/box"));
    }
};

// A real terminal: xterm runs the SSH script, which runs `vagrant ssh` in the machine's folder
// (a fake vagrant on PATH records what it was given and where).
class TestTerminalE2E : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void xtermRunsVagrantSshInTheProjectFolder()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xterm")).isEmpty())
            QSKIP("xterm is not installed (scripts/setup.sh installs it)");
        Desktop desktop;
        QString error;
        QVERIFY2(desktop.start(false, &error), qPrintable(error));
        QTemporaryDir work;
        const QString project = work.filePath(QStringLiteral("my web"));
        const QString bin = work.filePath(QStringLiteral("bin"));
        const QString record = work.filePath(QStringLiteral("record"));
        QVERIFY(QDir().mkpath(project) && QDir().mkpath(bin));
        QVERIFY(test::writeFile(bin + QStringLiteral("/vagrant"),
                                "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > \"" +
                                    QFile::encodeName(record) + ".part\"\nmv \"" +
                                    QFile::encodeName(record) + ".part\" \"" +
                                    QFile::encodeName(record) + "\"\n"));
        QVERIFY(QFile::setPermissions(bin + QStringLiteral("/vagrant"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner));
        const test::ScopedEnvironment display("DISPLAY", desktop.display().toLocal8Bit());
        const test::ScopedEnvironment terminal("TERMINAL", QByteArray("xterm"));
        const test::ScopedEnvironment path("PATH", QFile::encodeName(bin) + ":/usr/bin:/bin");
        const VagrantEnvironmentDictionary machines = parseMachineIndex(
            test::indexDocument({{"abc1234567", "web", "running", project, "debian/bookworm64"}}));
        QCOMPARE(machines.size(), 1);
        QString reason;
        QVERIFY2(SSHHelper::sshEnvironment(machines.values().first(), &reason), qPrintable(reason));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), kTimeout);
        QCOMPARE(QString::fromUtf8(test::readFile(record)).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{project, QStringLiteral("ssh")}));
    }
};

VESK_TEST(TestTrayE2E)
VESK_TEST(TestNoTrayE2E)
VESK_TEST(TestRecoveryE2E)
VESK_TEST(TestTerminalE2E)
#include "tst_DesktopE2E.moc"
