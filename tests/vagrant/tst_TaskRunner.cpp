#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "KRNTaskHelper.h"
#include "OutputWindowController.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "UserDefaults.h"

using namespace vesk;

namespace {

constexpr int kProcessTimeout = 20000;

// What one runner handed to its callbacks.
struct Recording
{
    QStringList chunks;
    int completions = 0;
    qsizetype charactersAtCompletion = -1;
    bool nullChunk = false;

    QString text() const { return chunks.join(QString()); }
};

// A runner for `/bin/sh -c script` whose handlers record into `recording`.
KRNTaskHelper* shellRunner(const QString& script, Recording& recording, QObject* parent)
{
    auto* helper = new KRNTaskHelper(parent);
    auto* process = new QProcess;
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({QStringLiteral("-c"), script});
    helper->setTask(process);
    helper->setOutputHandler([&recording](const QString& chunk) {
        recording.nullChunk = recording.nullChunk || chunk.isNull();
        recording.chunks.append(chunk);
    });
    helper->setCompletionHandler([&recording] {
        ++recording.completions;
        recording.charactersAtCompletion = recording.text().size();
    });
    return helper;
}

// The number of U+FFFD that stand for one bad sequence is the decoder's business; what matters
// is that the bad bytes are marked and nothing around them is lost.
QString collapseReplacements(QString text)
{
    static const QRegularExpression runs(QStringLiteral("\uFFFD+"));
    return text.replace(runs, QStringLiteral("\uFFFD"));
}


} // namespace

class TestKRNTaskHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decoderJoinsSplitCharacters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ASCII") << QByteArray("==> default: Booting VM...\n")
                               << QStringLiteral("==> default: Booting VM...\n");
        QTest::newRow("two-byte character")
            << QByteArray("caf\xC3\xA9!") << QStringLiteral("café!");
        QTest::newRow("three-byte character")
            << QByteArray("\xE2\x82\xAC 5") << QStringLiteral("\u20AC 5");
        QTest::newRow("four-byte character")
            << QByteArray("ok \xF0\x9F\x98\x80.") << QStringLiteral("ok \U0001F600.");
        QTest::newRow("byte order mark is text")
            << QByteArray("\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
        QTest::newRow("invalid byte") << QByteArray("a\xFF"
                                                    "b")
                                      << QStringLiteral("a\uFFFDb");
        QTest::newRow("lone continuation byte") << QByteArray("a\x80"
                                                              "b")
                                                << QStringLiteral("a\uFFFDb");
        QTest::newRow("unfinished then new character")
            << QByteArray("\xC3\xC3\xA9") << QStringLiteral("\uFFFD\u00E9");
        QTest::newRow("unfinished then ASCII") << QByteArray("\xE2\x82"
                                                             "A")
                                               << QStringLiteral("\uFFFDA");
        QTest::newRow("cut off at the end")
            << QByteArray("end \xF0\x9F\x98") << QStringLiteral("end \uFFFD");
    }
    void decoderJoinsSplitCharacters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        // Every way of cutting the bytes into three reads gives the same text.
        for (qsizetype first = 0; first <= bytes.size(); ++first) {
            for (qsizetype second = first; second <= bytes.size(); ++second) {
                Utf8StreamDecoder decoder;
                QString text = decoder.decode(bytes.first(first));
                text += decoder.decode(bytes.sliced(first, second - first));
                text += decoder.decode(bytes.sliced(second));
                text += decoder.finish();
                QVERIFY(!decoder.hasPendingBytes());
                QVERIFY2(collapseReplacements(text) == expected,
                         qPrintable(QStringLiteral("cut at %1 and %2").arg(first).arg(second)));
            }
        }
    }

    void bothStreamsArrive_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("standard output and error")
            << "printf 'out-text'; printf 'err-text' >&2"
            << QStringList{QStringLiteral("out-text"), QStringLiteral("err-text")};
        QTest::newRow("standard error only")
            << "printf 'Vagrant could not find a Vagrantfile\\n' >&2"
            << QStringList{QStringLiteral("Vagrant could not find a Vagrantfile\n")};
        QTest::newRow("no output") << "exit 0" << QStringList();
    }
    void bothStreamsArrive()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, pieces);
        Recording recording;
        KRNTaskHelper* helper = shellRunner(script, recording, this);
        helper->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        const QString text = recording.text();
        qsizetype expectedSize = 0;
        for (const QString& piece : pieces) {
            QVERIFY2(text.contains(piece), qPrintable(text));
            expectedSize += piece.size();
        }
        QCOMPARE(text.size(), expectedSize);
        QVERIFY(!recording.nullChunk);
        QVERIFY(helper->succeeded());
    }

    void characterSplitBetweenWritesArrivesWhole()
    {
        Recording recording;
        // The euro sign's first byte, a pause long enough to be read on its own, then the rest.
        KRNTaskHelper* helper =
            shellRunner(QStringLiteral("printf '\\342'; sleep 0.3; printf '\\202\\254 total'"),
                        recording, this);
        helper->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        QCOMPARE(recording.text(), QStringLiteral("\u20AC total"));
        for (const QString& chunk : std::as_const(recording.chunks))
            QVERIFY(!chunk.contains(QChar::ReplacementCharacter));
    }

    void invalidBytesBecomeReplacementCharacters_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("invalid byte") << "printf 'a\\377b'" << QStringLiteral("a\uFFFDb");
        QTest::newRow("cut off by the end of output")
            << "printf 'x\\342\\202'" << QStringLiteral("x\uFFFD");
        QTest::newRow("on standard error") << "printf '\\300!' >&2" << QStringLiteral("\uFFFD!");
    }
    void invalidBytesBecomeReplacementCharacters()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        Recording recording;
        shellRunner(script, recording, this)->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        QVERIFY(!recording.nullChunk);
        QCOMPARE(collapseReplacements(recording.text()), expected);
        // Everything, the replacement included, arrived before the completion.
        QCOMPARE(recording.charactersAtCompletion, recording.text().size());
    }

    void allOutputArrivesBeforeCompletion_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::newRow("standard output") << QString();
        QTest::newRow("standard error") << ">&2";
    }
    void allOutputArrivesBeforeCompletion()
    {
        QFETCH(QString, redirect);
        constexpr int size = 3 * 1024 * 1024;
        Recording recording;
        // Far more than a pipe holds, and the shell exits the moment the last byte is written.
        KRNTaskHelper* helper = shellRunner(
            QStringLiteral("head -c %1 /dev/zero | tr '\\000' 'v' %2").arg(size).arg(redirect),
            recording, this);
        helper->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        QCOMPARE(recording.charactersAtCompletion, qsizetype(size));
        QCOMPARE(recording.text().size(), qsizetype(size));
        QCOMPARE(recording.text().count(u'v'), qsizetype(size));
    }

    void completionRunsOnce_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("crashed");
        QTest::newRow("success") << "echo done" << 0 << false;
        QTest::newRow("failure") << "echo failed >&2; exit 3" << 3 << false;
        QTest::newRow("killed") << "kill -KILL $$" << 0 << true;
    }
    void completionRunsOnce()
    {
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        QFETCH(bool, crashed);
        Recording recording;
        KRNTaskHelper* helper = shellRunner(script, recording, this);
        helper->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        QVERIFY(helper->isComplete());
        // Let every event that is still on its way arrive.
        QTest::qWait(300);
        QCOMPARE(recording.completions, 1);
        QCOMPARE(helper->task()->exitStatus(),
                 crashed ? QProcess::CrashExit : QProcess::NormalExit);
        if (!crashed)
            QCOMPARE(helper->task()->exitCode(), exitCode);
        QCOMPARE(helper->succeeded(), !crashed && exitCode == 0);
    }

    void childPathEndsWithUsrLocalBin_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("path");
        QTest::addColumn<std::optional<QString>>("callerPath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ordinary PATH")
            << std::optional<QByteArray>("/usr/bin:/bin") << std::optional<QString>()
            << QStringLiteral("/usr/bin:/bin:/usr/local/bin");
        QTest::newRow("no PATH") << std::optional<QByteArray>() << std::optional<QString>()
                                 << QStringLiteral(":/usr/local/bin");
        QTest::newRow("environment prepared by the caller")
            << std::optional<QByteArray>("/usr/bin:/bin")
            << std::optional<QString>(QStringLiteral("/opt/tools/bin"))
            << QStringLiteral("/opt/tools/bin:/usr/local/bin");
    }
    void childPathEndsWithUsrLocalBin()
    {
        QFETCH(std::optional<QByteArray>, path);
        QFETCH(std::optional<QString>, callerPath);
        QFETCH(QString, expected);
        const test::ScopedEnvironment environment("PATH", path);
        Recording recording;
        KRNTaskHelper* helper =
            shellRunner(QStringLiteral("printf '%s|%s' \"$PATH\" \"$HOME\""), recording, this);
        if (callerPath) {
            QProcessEnvironment prepared;
            prepared.insert(QStringLiteral("PATH"), *callerPath);
            prepared.insert(QStringLiteral("HOME"), QStringLiteral("/home/prepared"));
            helper->task()->setProcessEnvironment(prepared);
        }
        helper->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        // Other variables pass unchanged.
        const QString home = callerPath ? QStringLiteral("/home/prepared") : QDir::homePath();
        QCOMPARE(recording.text(), expected + u'|' + home);
    }

    void standardInputIsEmpty()
    {
        Recording recording;
        // A command that asks a question gets end-of-file at once instead of waiting forever.
        shellRunner(QStringLiteral("if read answer; then echo \"got $answer\"; else echo eof; fi"),
                    recording, this)
            ->launch();
        QTRY_COMPARE_WITH_TIMEOUT(recording.completions, 1, kProcessTimeout);
        QCOMPARE(recording.text(), QStringLiteral("eof\n"));
    }

    void programThatCannotStartCompletesOnce_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("missing program") << "/nonexistent/vagrant";
        QTest::newRow("not executable") << "not-executable";
        QTest::newRow("no task") << QString();
    }
    void programThatCannotStartCompletesOnce()
    {
        QFETCH(QString, program);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        auto* helper = new KRNTaskHelper(this);
        if (!program.isEmpty()) {
            if (program == QStringLiteral("not-executable")) {
                program = folder.filePath(program);
                QVERIFY(test::writeFile(program, "#!/bin/sh\necho never\n"));
            }
            auto* process = new QProcess;
            process->setProgram(program);
            helper->setTask(process);
        }
        int completions = 0;
        QStringList output;
        helper->setOutputHandler([&output](const QString& chunk) { output.append(chunk); });
        helper->setCompletionHandler([&completions] { ++completions; });
        helper->launch();
        // Never from inside launch(): the caller may not have stored the runner yet.
        QCOMPARE(completions, 0);
        QTRY_COMPARE_WITH_TIMEOUT(completions, 1, kProcessTimeout);
        QTest::qWait(200);
        QCOMPARE(completions, 1);
        QVERIFY(output.isEmpty());
        QVERIFY(helper->task());
        QCOMPARE(helper->task()->error(), QProcess::FailedToStart);
        QVERIFY(!helper->succeeded());
    }

    void runsWithoutHandlers()
    {
        auto* helper = new KRNTaskHelper(this);
        auto* process = new QProcess;
        process->setProgram(QStringLiteral("/bin/sh"));
        process->setArguments({QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2")});
        helper->setTask(process);
        helper->launch();
        QTRY_VERIFY_WITH_TIMEOUT(helper->isComplete(), kProcessTimeout);
        QCOMPARE(helper->task()->state(), QProcess::NotRunning);
        QVERIFY(helper->succeeded());
    }

    void cleanup() { qDeleteAll(findChildren<KRNTaskHelper*>(Qt::FindDirectChildrenOnly)); }
};

class TestOutputWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { UserDefaults::standard().removeObject(kAutoCloseOutputWindow); }
    void cleanup() { UserDefaults::standard().removeObject(kAutoCloseOutputWindow); }

    void appendsLaterInOrder_data()
    {
        QTest::addColumn<QStringList>("appends");
        QTest::addColumn<bool>("separately"); // each append shown before the next is made
        QTest::addColumn<QString>("expected");
        QTest::newRow("no separator") << QStringList{QStringLiteral("abc"), QStringLiteral("def")}
                                      << false << QStringLiteral("abcdef");
        QTest::newRow("no separator, shown one by one")
            << QStringList{QStringLiteral("abc"), QStringLiteral("def")} << true
            << QStringLiteral("abcdef");
        QTest::newRow("empty text changes nothing")
            << QStringList{QStringLiteral("abc"), QString(), QStringLiteral("def")} << true
            << QStringLiteral("abcdef");
        QTest::newRow("line breaks kept")
            << QStringList{QStringLiteral("one\n"), QStringLiteral("\ntwo\n")} << true
            << QStringLiteral("one\n\ntwo\n");
        QTest::newRow("completion line without breaks")
            << QStringList{QStringLiteral("==> default: done"),
                           QStringLiteral("===== COMPLETE =====")}
            << true << QStringLiteral("==> default: done===== COMPLETE =====");
        QTest::newRow("non-breaking space and tab kept")
            << QStringList{QStringLiteral("a\u00A0b\tc")} << false << QStringLiteral("a\u00A0b\tc");
        QTest::newRow("CR LF is one line break")
            << QStringList{QStringLiteral("a\r\nb\r\n")} << false << QStringLiteral("a\nb\n");
        QTest::newRow("CR LF split between appends")
            << QStringList{QStringLiteral("a\r"), QStringLiteral("\nb")} << true
            << QStringLiteral("a\nb");
        QTest::newRow("lone CR ends a line")
            << QStringList{QStringLiteral("Progress: 10%\rProgress: 20%\r")} << false
            << QStringLiteral("Progress: 10%\nProgress: 20%\n");
        QTest::newRow("line and paragraph separators end lines")
            << QStringList{QStringLiteral("a\u2028b\u2029c")} << false << QStringLiteral("a\nb\nc");
    }
    void appendsLaterInOrder()
    {
        QFETCH(QStringList, appends);
        QFETCH(bool, separately);
        QFETCH(QString, expected);
        OutputWindowController window;
        window.showWindow();
        auto* appendTimer = window.findChild<QTimer*>(QStringLiteral("appendTimer"));
        QVERIFY(appendTimer);
        for (const QString& text : std::as_const(appends)) {
            window.addOutput(text);
            // Even on the main thread the text arrives through the event loop.
            if (!text.isEmpty())
                QVERIFY(!window.outputText().endsWith(text));
            if (separately) {
                QCoreApplication::processEvents();
                QTRY_VERIFY(!appendTimer->isActive());
            }
        }
        QTRY_COMPARE(window.outputText(), expected);
    }

    void manyLinesReadBackExactly()
    {
        OutputWindowController window;
        window.showWindow();
        QString expected;
        for (int i = 0; i < 500; ++i) {
            // Lines of every length, the empty one included, and a few appends that end mid-line.
            const QString line = QString(i % 7, u'x') + QString::number(i) +
                                 (i % 11 == 0 ? QStringLiteral("") : QStringLiteral("\n"));
            expected += line;
            window.addOutput(line);
            if (i % 50 == 0)
                QTRY_COMPARE(window.outputText(), expected);
        }
        QTRY_COMPARE(window.outputText(), expected);
    }

    void appendsFromAnotherThreadKeepTheirOrder()
    {
        OutputWindowController window;
        QString expected;
        for (int i = 0; i < 2000; ++i)
            expected += QString::number(i) + u',';
        std::unique_ptr<QThread> thread(QThread::create([&window] {
            for (int i = 0; i < 2000; ++i)
                window.addOutput(QString::number(i) + u',');
        }));
        thread->start();
        QVERIFY(thread->wait(kProcessTimeout));
        QTRY_COMPARE(window.outputText(), expected);
    }

    void largeOutputIsNeverTruncated()
    {
        OutputWindowController window;
        window.showWindow();
        QString expected;
        constexpr int lines = 100000;
        for (int i = 0; i < lines; ++i) {
            const QString line =
                QStringLiteral("    default: Line %1 of the provisioning script's output\n").arg(i);
            expected += line;
            window.addOutput(line);
        }
        QTRY_COMPARE(window.outputText().size(), expected.size());
        QCOMPARE(window.outputText(), expected);
    }

    void scrollsToTheEnd()
    {
        OutputWindowController window;
        window.showWindow();
        for (int i = 0; i < 400; ++i)
            window.addOutput(QStringLiteral("==> default: line %1\n").arg(i));
        QScrollBar* bar = window.textView()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0 && window.outputText().endsWith(QStringLiteral("399\n")));
        QCOMPARE(bar->value(), bar->maximum());
        // The user scrolls up; the next output brings the end back into view.
        bar->setValue(0);
        window.addOutput(QStringLiteral("===== COMPLETE ====="));
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    void showWindowClearsTheText()
    {
        OutputWindowController window;
        window.addOutput(QStringLiteral("earlier output"));
        QTRY_COMPARE(window.outputText(), QStringLiteral("earlier output"));
        window.showWindow();
        QCOMPARE(window.outputText(), QString());
        QVERIFY(window.isVisible());
        QVERIFY(window.isWindow());
    }

    void checkBoxFollowsTheUserDefault_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("unset reads false") << false;
        QTest::newRow("set") << true;
    }
    void checkBoxFollowsTheUserDefault()
    {
        QFETCH(bool, stored);
        UserDefaults& defaults = UserDefaults::standard();
        if (stored)
            defaults.setValue(kAutoCloseOutputWindow, true);
        OutputWindowController window;
        OutputWindowController other;
        auto* box = window.findChild<QCheckBox*>(QStringLiteral("chkCloseWhenComplete"));
        QVERIFY(box);
        QCOMPARE(box->isChecked(), stored);

        // The check box writes the default ...
        box->click();
        QCOMPARE(defaults.boolForKey(kAutoCloseOutputWindow), !stored);
        QCOMPARE(other.chkCloseWhenComplete()->isChecked(), !stored);
        // ... and shows it when someone else changes it.
        defaults.setValue(kAutoCloseOutputWindow, stored);
        QCOMPARE(box->isChecked(), stored);
        QCOMPARE(other.chkCloseWhenComplete()->isChecked(), stored);
        // The write went to disk at once.
        UserDefaults reread(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/Vesk/Vesk.conf"));
        QCOMPARE(reread.boolForKey(kAutoCloseOutputWindow), stored);
    }

    void pollShowsTheWatchedFile()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("share.log"));
        QVERIFY(test::writeFile(path, "first version\n"));
        const QDateTime start = QDateTime::currentDateTime().addSecs(-60);
        QVERIFY(setModified(path, start));

        OutputWindowController window;
        window.setFilePathToWatch(path);
        QVERIFY(window.watchedFileModificationDate() == start);
        window.addOutput(QStringLiteral("output before showing"));
        window.showWindow();
        auto* timer = window.findChild<QTimer*>(QStringLiteral("fileWatchTimer"));
        QVERIFY(timer);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        timer->setInterval(20); // the rules, not the pace, are under test
        QTRY_COMPARE(window.outputText(), QStringLiteral("first version\n"));

        // A newer modification date replaces the whole text.
        QVERIFY(test::writeFile(path, "second version\n"));
        QVERIFY(setModified(path, start.addSecs(10)));
        QTRY_COMPARE(window.outputText(), QStringLiteral("second version\n"));

        // An unchanged or older date is not shown again.
        QVERIFY(test::writeFile(path, "same date\n"));
        QVERIFY(setModified(path, start.addSecs(10)));
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QStringLiteral("second version\n"));
        QVERIFY(test::writeFile(path, "older\n"));
        QVERIFY(setModified(path, start.addSecs(5)));
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QStringLiteral("second version\n"));

        // Text that is not UTF-8 leaves the previous text in place.
        QVERIFY(test::writeFile(path, "caf\xE9\n"));
        QVERIFY(setModified(path, start.addSecs(20)));
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QStringLiteral("second version\n"));

        // A restart clears the text and shows the file only once it has changed again.
        window.startWatchingFile();
        timer->setInterval(20);
        QCOMPARE(window.outputText(), QString());
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QString());
        QVERIFY(test::writeFile(path, "third version\n"));
        QVERIFY(setModified(path, start.addSecs(30)));
        QTRY_COMPARE(window.outputText(), QStringLiteral("third version\n"));

        // A file that vanishes leaves its text.
        QVERIFY(QFile::remove(path));
        QVERIFY(!window.watchedFileModificationDate());
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QStringLiteral("third version\n"));
    }

    void pollWithoutFileDoesNothing()
    {
        OutputWindowController window;
        QCOMPARE(window.filePathToWatch(), std::nullopt);
        QVERIFY(!window.watchedFileModificationDate());
        window.showWindow();
        auto* timer = window.findChild<QTimer*>(QStringLiteral("fileWatchTimer"));
        timer->setInterval(20);
        window.addOutput(QStringLiteral("kept"));
        waitForTicks(timer);
        QCOMPARE(window.outputText(), QStringLiteral("kept"));
    }

    void closingStopsThePoll()
    {
        OutputWindowController window;
        auto* timer = window.findChild<QTimer*>(QStringLiteral("fileWatchTimer"));
        QVERIFY(!timer->isActive());
        window.showWindow();
        QVERIFY(timer->isActive());
        QVERIFY(window.close());
        QVERIFY(!timer->isActive());
        // A closed window still takes the output of its command.
        window.addOutput(QStringLiteral("late output"));
        QTRY_COMPARE(window.outputText(), QStringLiteral("late output"));
        // Following another file does not start a timer for a closed window.
        window.setFilePathToWatch(QStringLiteral("/nonexistent/file.log"));
        QVERIFY(!timer->isActive());
    }

    void screenshot()
    {
        OutputWindowController window;
        window.setWindowTitle(QStringLiteral("web.vesk - Upping..."));
        window.showWindow();
        const QStringList lines = {
            QStringLiteral("Bringing machine 'default' up with 'virtualbox' provider...\n"),
            QStringLiteral("==> default: Importing base box 'debian/bookworm64'...\n"),
            QStringLiteral("==> default: Matching MAC address for NAT networking...\n"),
            QStringLiteral("==> default: Checking if box 'debian/bookworm64' version "
                           "'12.20240503.1' is up to date...\n"),
            QStringLiteral("==> default: Setting the name of the VM: web_default_1733812934\n"),
            QStringLiteral("==> default: Clearing any previously set network interfaces...\n"),
            QStringLiteral("==> default: Preparing network interfaces based on configuration...\n"),
            QStringLiteral("    default: Adapter 1: nat\n"),
            QStringLiteral("==> default: Forwarding ports...\n"),
            QStringLiteral("    default: 80 (guest) => 8080 (host) (adapter 1)\n"),
            QStringLiteral("    default: 22 (guest) => 2222 (host) (adapter 1)\n"),
            QStringLiteral("==> default: Booting VM...\n"),
            QStringLiteral("==> default: Waiting for machine to boot. This may take a few "
                           "minutes...\n"),
            QStringLiteral("    default: SSH address: 127.0.0.1:2222\n"),
            QStringLiteral("    default: SSH username: vagrant\n"),
            QStringLiteral("    default: SSH auth method: private key\n"),
            QStringLiteral("==> default: Machine booted and ready!\n"),
            QStringLiteral("==> default: Mounting shared folders...\n"),
            QStringLiteral("    default: /vagrant => /home/ada/Projects/web\n"),
            QStringLiteral("==> default: Running provisioner: shell...\n"),
            QStringLiteral("    default: Running: /tmp/vagrant-shell20241210-4127-1x2k3.sh\n"),
            QStringLiteral("    default: Reading package lists...\n"),
            QStringLiteral("    default: Setting up nginx (1.22.1-9) ...\n"),
        };
        for (const QString& line : lines)
            window.addOutput(line);
        window.addOutput(QStringLiteral("===== COMPLETE ====="));
        window.setWindowTitle(QStringLiteral("Complete: web.vesk - Upping..."));
        QTRY_VERIFY(window.outputText().endsWith(QStringLiteral("===== COMPLETE =====")));
        const QString path = test::saveScreenshot(&window, QStringLiteral("output-window"));
        QVERIFY(QFile::exists(path));
    }

private:
    static bool setModified(const QString& path, const QDateTime& date)
    {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) &&
               file.setFileTime(date, QFileDevice::FileModificationTime);
    }

    // Lets the poll run a few times.
    static void waitForTicks(QTimer* timer)
    {
        QSignalSpy ticks(timer, &QTimer::timeout);
        QTRY_VERIFY(ticks.count() >= 3);
    }
};

VESK_TEST(TestKRNTaskHelper)
VESK_TEST(TestOutputWindow)
#include "tst_TaskRunner.moc"
