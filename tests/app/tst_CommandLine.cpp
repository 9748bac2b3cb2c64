#include <cstdio>

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "CommandLine.h"
#include "DataModel.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "VagrantFileTemplateHelper.h"

using namespace vesk;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runVesk(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"), arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QByteArray kDocument =
    R"({"veskVersion":2,"boxName":"debian/bookworm64","bootstrapShellCode":"echo hi\n",)"
    R"("portForwards":[{"from":8080,"to":80}],"syncedDirectories":[],"UUID":"X"})";

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << "Vesk "
                                 << QString();
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                              << "vesk render FILE.vesk" << QString();
        QTest::newRow("render without file")
            << QStringList{QStringLiteral("render")} << 2 << QString() << "Usage:";
        QTest::newRow("export with two files")
            << QStringList{QStringLiteral("export"), QStringLiteral("a.vesk"),
                           QStringLiteral("b.vesk")}
            << 2 << QString() << "Usage:";
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Run run = runVesk(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(run.out.contains(out), qPrintable(run.out));
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
    }

    // Qt's own options go on to QApplication with the documents; any other option is refused
    // before a window is made.
    void startupArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status"); // -1: the windows start
        QTest::newRow("-platform xcb") << QStringList{"-platform", "xcb", "a.vesk"} << -1;
        QTest::newRow("-style=Fusion") << QStringList{"-style=Fusion"} << -1;
        QTest::newRow("--style Fusion") << QStringList{"--style", "Fusion", "b.vesk"} << -1;
        QTest::newRow("-reverse") << QStringList{"a.vesk", "-reverse"} << -1;
        QTest::newRow("a document named -") << QStringList{"-"} << -1;
        // Qt WebEngine's and Chromium's options, and whatever else the windows are given.
        QTest::newRow("--no-sandbox") << QStringList{"a.vesk", "--no-sandbox"} << -1;
        QTest::newRow("--webEngineArgs") << QStringList{"--webEngineArgs", "--disable-gpu"} << -1;
        QTest::newRow("an option only the windows see") << QStringList{"--frobnicate"} << -1;
        // Our own forms stay strict.
        QTest::newRow("machines with a stray option") << QStringList{"machines", "--xml"} << 2;
    }
    void startupArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QList<QByteArray> native;
        for (const QString& argument : arguments)
            native.append(QFile::encodeName(argument));
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        QCOMPARE(runCommandLine(native, out, err).value_or(-1), status);
        QCOMPARE(errText.isEmpty(), status != 2);
    }

    void documentArguments_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::newRow("file URL") << "file:///tmp/my%20web/web.vesk"
                                  << "/tmp/my web/web.vesk";
        QTest::newRow("absolute path") << "/tmp/web.vesk"
                                       << "/tmp/web.vesk";
        QTest::newRow("relative path") << "web.vesk" << QDir::current().filePath("web.vesk");
        QTest::newRow("web address") << "https://example.org/web.vesk"
                                     << "";
    }
    void documentArguments()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QString error;
        const std::optional<QString> document = documentPathFromArgument(argument, &error);
        QCOMPARE(document.value_or(QString()), path);
        QCOMPARE(error.isEmpty(), !path.isEmpty() || argument.startsWith(u'-'));
        if (!error.isEmpty())
            QCOMPARE(error, QStringLiteral("vesk: %1: only files on this computer can be opened")
                                .arg(argument));
    }

    // The script-friendly forms load Qt Core and nothing of the windows: no Qt Gui, Widgets,
    // QScintilla or WebEngine (the dynamic loader names every library it maps).
    void commandLineLoadsNoWindowLibraries_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("render") << QStringList{"render", "DOC"};
        QTest::newRow("export") << QStringList{"export", "DOC"};
        QTest::newRow("machines") << QStringList{"machines"};
        QTest::newRow("machines --json") << QStringList{"machines", "--json"};
        QTest::newRow("--version") << QStringList{"--version"};
        QTest::newRow("--help") << QStringList{"--help"};
    }
    void commandLineLoadsNoWindowLibraries()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir folder;
        const QString document = folder.filePath(QStringLiteral("web.vesk"));
        QVERIFY(test::writeFile(document, kDocument));
        arguments.replaceInStrings(QStringLiteral("DOC"), document);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        environment.insert(QStringLiteral("HOME"), folder.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QString loaded = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(loaded.contains(QStringLiteral("libQt6Core.so")), "LD_DEBUG said nothing");
        static const QRegularExpression windows(
            QStringLiteral("file=(libQt6(Gui|Widgets|WebEngine\\w*|Quick|Qml|OpenGL)|"
                           "libqscintilla2\\w*|libGL\\w*|libEGL)\\S*"));
        QStringList found;
        for (auto match = windows.globalMatch(loaded); match.hasNext();)
            found.append(match.next().captured(1));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u' ')));
    }

    // The windows' process at rest: no browser engine, Qt Quick, Qml or GL stack is mapped
    // until a box is picked (the picker is a program of its own).
    void windowsLoadNoBrowserUntilABoxIsPicked()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        QProcess vesk;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                           home.filePath(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"),
                           home.filePath(QStringLiteral("state")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        vesk.setProcessEnvironment(environment);
        vesk.start(QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"), {});
        QVERIFY(vesk.waitForStarted());
        const QString maps = QStringLiteral("/proc/%1/maps").arg(vesk.processId());
        // Up once the windows' libraries are in; then a moment for whatever comes after.
        QTRY_VERIFY_WITH_TIMEOUT(test::readFile(maps).contains("libQt6Widgets"), 20000);
        QTest::qWait(1500);
        const QString mapped = QString::fromUtf8(test::readFile(maps));
        vesk.terminate();
        QVERIFY(vesk.waitForFinished(10000));
        static const QRegularExpression heavy(
            // The GL vendor libraries and drivers, not the small dispatchers Qt Gui links.
            QStringLiteral("(libQt6WebEngine\\w*|libQt6Quick\\w*|libQt6Qml\\w*|libGLX_\\w+|"
                           "libEGL_\\w+|libLLVM\\S*|\\w*_dri\\.so|libgallium\\S*)"));
        QStringList found;
        for (auto match = heavy.globalMatch(mapped); match.hasNext();)
            found.append(match.next().captured(1));
        found.removeDuplicates();
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u' ')));
    }

    void renderPrintsTheExportText()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("web.vesk"));
        QVERIFY(test::writeFile(path, kDocument));
        const Run run = runVesk({QStringLiteral("render"), path});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QString());

        DataModel model;
        QVERIFY(model.loadData(kDocument));
        QCOMPARE(run.out, *VagrantFileTemplateHelper(model).templateString());
        QVERIFY(run.out.contains(QStringLiteral("host: 8080, guest: 80")));
        QVERIFY(!run.out.contains(*VagrantFileTemplateHelper(model).displayTempHeader()));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("Vagrantfile"))));
    }

    void exportWritesBesideTheDocument()
    {
        QTemporaryDir folder;
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("web.vesk")), kDocument));
        // A relative path, as typed in a shell.
        const Run run =
            runVesk({QStringLiteral("export"), QStringLiteral("web.vesk")}, folder.path());
        QCOMPARE(run.status, 0);
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("Vagrantfile"))));
        QCOMPARE(test::readFile(folder.filePath(QStringLiteral("bootstrap.sh"))),
                 QByteArray("echo hi\n"));

        QDir().mkpath(folder.filePath(QStringLiteral("B")));
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("B/Quarrow.vesk")), kDocument));
        QCOMPARE(
            runVesk({QStringLiteral("export"), folder.filePath(QStringLiteral("B/Quarrow.vesk"))})
                .status,
            0);
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("Quarrow/Vagrantfile"))));
    }

    void unreadableDocuments_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        for (const QString& command : {QStringLiteral("render"), QStringLiteral("export")}) {
            QTest::addRow("%s missing file", qPrintable(command))
                << command << QByteArray() << "No such file";
            QTest::addRow("%s not JSON", qPrintable(command))
                << command << QByteArray("<html>") << "not JSON";
            QTest::addRow("%s version 3", qPrintable(command))
                << command << QByteArray(R"({"veskVersion":3})") << "unsupported veskVersion 3";
            QTest::addRow("%s wrong type", qPrintable(command))
                << command << QByteArray(R"({"veskVersion":2,"portForwards":"80"})")
                << "not a list";
        }
    }
    void unreadableDocuments()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("bad.vesk"));
        if (!content.isEmpty())
            QVERIFY(test::writeFile(path, content));
        const Run run = runVesk({command, path});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY2(run.err.contains(path) && run.err.contains(reason), qPrintable(run.err));
        // Nothing written when the document cannot be read.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), content.isEmpty() ? 0 : 1);
    }

    // Only regular files are read, and only up to 64 MB: a FIFO must not block, a device must
    // not be read until memory runs out.
    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        for (const QString& command : {QStringLiteral("render"), QStringLiteral("export")}) {
            QTest::addRow("%s FIFO", qPrintable(command)) << command << "fifo"
                                                          << "not a regular file";
            QTest::addRow("%s /dev/zero", qPrintable(command)) << command << "/dev/zero"
                                                               << "not a regular file";
            QTest::addRow("%s folder", qPrintable(command)) << command << "folder"
                                                            << "Is a directory";
            QTest::addRow("%s 65 MB", qPrintable(command)) << command << "large"
                                                           << "larger than 64 MB";
        }
    }
    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        QString path = folder.filePath(QStringLiteral("odd.vesk"));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == QLatin1String("large")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(65 * 1024 * 1024));
        } else {
            path = kind;
        }
        QElapsedTimer timer;
        timer.start();
        const Run run = runVesk({command, path});
        QVERIFY2(timer.elapsed() < 10000, "the command blocked");
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QStringLiteral("vesk: %1: cannot be read: %2\n").arg(path, reason));
    }

    // A file name is kept byte for byte, whatever the locale makes of it, and a name with a
    // control character is quoted so that the message stays one line.
    void fileNames()
    {
        QTemporaryDir folder;
        // "café.vesk" in Latin-1 under a UTF-8 locale: not valid text, still a file name.
        const QByteArray latin1 = QFile::encodeName(folder.path()) + "/caf\xe9.vesk";
        std::FILE* file = std::fopen(latin1.constData(), "w");
        QVERIFY(file);
        std::fwrite(kDocument.constData(), 1, size_t(kDocument.size()), file);
        std::fclose(file);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral("/bin/bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral(R"(exec "$0" render "$1/caf"$'\351'.vesk)"),
                       QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"), folder.path()});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        QVERIFY(process.readAllStandardOutput().contains("debian/bookworm64"));

        // Export into such a folder: the files land there and are named with the byte shown.
        const QByteArray latin1Folder = QFile::encodeName(folder.path()) + "/d\xe9p";
        QCOMPARE(::mkdir(latin1Folder.constData(), 0700), 0);
        file = std::fopen(QByteArray(latin1Folder + "/web.vesk").constData(), "w");
        QVERIFY(file);
        std::fwrite(kDocument.constData(), 1, size_t(kDocument.size()), file);
        std::fclose(file);
        process.start(QStringLiteral("/bin/bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral(R"(exec "$0" export "$1/d"$'\351'p/web.vesk)"),
                       QStringLiteral(VESK_BINARY_DIR "/src/app/vesk"), folder.path()});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
                 QStringLiteral("\"%1/d\\xe9p/Vagrantfile\"\n\"%1/d\\xe9p/bootstrap.sh\"\n")
                     .arg(folder.path()));
        struct stat status
        {
        };
        QCOMPARE(::stat(QByteArray(latin1Folder + "/Vagrantfile").constData(), &status), 0);

        const QString newline = folder.filePath(QStringLiteral("two\nlines \"x\".vesk"));
        QVERIFY(test::writeFile(newline, "<html>"));
        const Run run = runVesk({QStringLiteral("render"), newline});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY2(
            run.err.startsWith(QStringLiteral("vesk: \"%1/two\\nlines \\\"x\\\".vesk\": cannot be "
                                              "read: not JSON")
                                   .arg(folder.path())),
            qPrintable(run.err));
    }

    void exportFailureIsAnError()
    {
        QTemporaryDir folder;
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("web.vesk")), kDocument));
        QDir().mkpath(folder.filePath(QStringLiteral("Vagrantfile")));
        const Run run =
            runVesk({QStringLiteral("export"), folder.filePath(QStringLiteral("web.vesk"))});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Vagrantfile: cannot be written")),
                 qPrintable(run.err));
    }

    // `vesk export` on a full disk: the files may not grow past 4 KiB. The command says so in
    // one line with status 1, and the old export is there byte for byte.
    void fullDiskKeepsTheOldExport_data()
    {
        QTest::addColumn<int>("ports");
        QTest::addColumn<int>("scriptSize");
        QTest::addColumn<QString>("failedFile");
        QTest::newRow("Vagrantfile too large") << 200 << 10 << "Vagrantfile";
        QTest::newRow("bootstrap.sh too large") << 1 << 20000 << "bootstrap.sh";
    }
    void fullDiskKeepsTheOldExport()
    {
        QFETCH(int, ports);
        QFETCH(int, scriptSize);
        QFETCH(QString, failedFile);
        QTemporaryDir folder;
        DataModel model;
        model.setBoxName(QStringLiteral("debian/bookworm64"));
        model.setBootstrapShellCode(QString(scriptSize, u'#'));
        QList<PortForward> forwards;
        for (int i = 0; i < ports; ++i)
            forwards.append({10000 + i, 80});
        model.setPortForwards(forwards);
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("web.vesk")),
                                model.dataRepresentation()));
        QVERIFY(
            test::writeFile(folder.filePath(QStringLiteral("Vagrantfile")), "old Vagrantfile\n"));
        QVERIFY(test::writeFile(folder.filePath(QStringLiteral("bootstrap.sh")), "old script\n"));

        QProcess process;
        process.setWorkingDirectory(folder.path());
        process.start(QStringLiteral("/bin/bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral("ulimit -f 4; trap '' XFSZ; exec \"$0\" export web.vesk"),
                       QStringLiteral(VESK_BINARY_DIR "/src/app/vesk")});
        QVERIFY(process.waitForFinished(30000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(err, QStringLiteral("vesk: %1: cannot be written: File too large\n")
                          .arg(folder.filePath(failedFile)));
        QCOMPARE(test::readFile(folder.filePath(QStringLiteral("Vagrantfile"))),
                 QByteArray("old Vagrantfile\n"));
        QCOMPARE(test::readFile(folder.filePath(QStringLiteral("bootstrap.sh"))),
                 QByteArray("old script\n"));
        const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(QSet<QString>(left.cbegin(), left.cend()),
                 (QSet<QString>{"Vagrantfile", "bootstrap.sh", "web.vesk"}));
    }
};

VESK_TEST(TestCommandLine)
#include "tst_CommandLine.moc"
