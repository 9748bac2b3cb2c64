#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "BootstrapTemplateHelper.h"
#include "DataModel.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Utilities.h"
#include "VagrantFileTemplateHelper.h"

using namespace vesk;

namespace {

QString supportFile(const QString& name)
{
    return QDir(applicationSupportDirectory()).filePath(name);
}

// A user template in the support folder, removed again when the test ends.
class UserTemplate
{
public:
    UserTemplate(const QString& name, const QByteArray& text) : m_path(supportFile(name))
    {
        test::writeFile(m_path, text);
    }
    ~UserTemplate() { QFile::remove(m_path); }

private:
    QString m_path;
};

void fillRealisticModel(DataModel& model)
{
    model.setBoxName(QStringLiteral("debian/bookworm64"));
    model.setBootstrapShellCode(QStringLiteral("apt-get install -y nginx\n"));
    model.setPortForwards({{8080, 80}, {3000, 3000}});
    model.setSyncedDirectories({{QStringLiteral("./site files"), QStringLiteral("/var/www")}});
    model.setAdditionalVagrantCommands(QStringLiteral("\tconfig.vm.hostname = \"web\""));
    model.setPreamble(QStringLiteral("ENV[\"LC_ALL\"] = \"en_US.UTF-8\""));
}

bool runs(const QString& program, const QStringList& arguments, const QString& input,
          QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return false;
    process.write(input.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished();
    *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestTemplates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { test::setLocale("en_US"); }

    void provisioningLine_data()
    {
        QTest::addColumn<std::optional<QString>>("script");
        QTest::addColumn<bool>("line");
        QTest::newRow("absent") << std::optional<QString>() << false;
        QTest::newRow("empty") << std::optional<QString>(QString()) << false;
        QTest::newRow("blanks and newlines")
            << std::optional<QString>(QStringLiteral(" \n\t\n  ")) << false;
        QTest::newRow("one character") << std::optional<QString>(QStringLiteral("\n x \n")) << true;
        QTest::newRow("a script") << std::optional<QString>(QStringLiteral("echo hi")) << true;
    }
    void provisioningLine()
    {
        QFETCH(std::optional<QString>, script);
        QFETCH(bool, line);
        DataModel model;
        model.setBootstrapShellCode(script);
        const QString expected =
            line ? QStringLiteral("\tconfig.vm.provision :shell, path: \"bootstrap.sh\"")
                 : QString();
        QCOMPARE(VagrantFileTemplateHelper(model).bootstrap(), expected);
    }

    void blocks()
    {
        DataModel model;
        VagrantFileTemplateHelper helper(model);
        QCOMPARE(helper.portForwards(), QString());
        QCOMPARE(helper.syncedDirectories(), QString());

        model.setPortForwards({{8080, 80}, {3000, 3000}});
        QCOMPARE(helper.portForwards(),
                 QStringLiteral("\tconfig.vm.network :forwarded_port, host: 8080, guest: 80\n"
                                "\tconfig.vm.network :forwarded_port, host: 3000, guest: 3000"));

        // Paths mean what was typed: blanks stay, quotes and backslashes are escaped for Ruby.
        model.setSyncedDirectories({{QStringLiteral("/Users/u/My Site"), QStringLiteral("/srv")},
                                    {QStringLiteral("C:\\a\"b"), QStringLiteral("/x")}});
        QCOMPARE(helper.syncedDirectories(),
                 QStringLiteral("\tconfig.vm.synced_folder \"/Users/u/My Site\", \"/srv\"\n"
                                "\tconfig.vm.synced_folder \"C:\\\\a\\\"b\", \"/x\""));
    }

    void placeholdersFilledInOrder_data()
    {
        QTest::addColumn<QByteArray>("templateText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty lists leave the lines")
            << QByteArray("A\n{{{portForwards}}}\nB\n{{{syncedDirectories}}}\nC") << "A\n\nB\n\nC";
        QTest::newRow("used twice")
            << QByteArray("{{{boxName}}} and {{{boxName}}}")
            << "box/one\\{\\{\\{preamble}}} and box/one\\{\\{\\{preamble}}}";
        QTest::newRow("later placeholder inside an earlier value")
            << QByteArray("{{{preamble}}}|{{{additionalVagrantCommands}}}")
            << "box/one\\{\\{\\{preamble}}}|extra";
        QTest::newRow("unknown placeholders stay")
            << QByteArray("{{{nothing}}}{{{BOXNAME}}}") << "{{{nothing}}}{{{BOXNAME}}}";
        QTest::newRow("no placeholders") << QByteArray("plain") << "plain";
    }
    void placeholdersFilledInOrder()
    {
        QFETCH(QByteArray, templateText);
        QFETCH(QString, expected);
        UserTemplate user(QStringLiteral("VagrantFileTemplate.txt"), templateText);
        DataModel model;
        model.setPreamble(QStringLiteral("{{{boxName}}}"));
        model.setBoxName(QStringLiteral("box/one{{{preamble}}}"));
        model.setAdditionalVagrantCommands(QStringLiteral("extra"));
        QCOMPARE(VagrantFileTemplateHelper(model).templateString(),
                 std::optional<QString>(expected));
    }

    // Values that look like data stay data: whatever is typed as a box name or a synced-folder
    // path, `ruby -c` accepts the Vagrantfile, and loading it (with a stand-in for Vagrant)
    // sets exactly the typed text and runs nothing else.
    void hostileValuesStayText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quote and call") << "\"; File.write(\"pwned\", \"x\"); \"";
        QTest::newRow("interpolation") << "#{File.write(\"pwned\", \"x\")}";
        QTest::newRow("global and instance interpolation") << "#$0 #@x #@@y";
        QTest::newRow("newline then code") << "box\nFile.write(\"pwned\", \"x\")\n#";
        QTest::newRow("backslashes") << "C:\\Users\\\"me\"\\";
        QTest::newRow("control characters") << QStringLiteral("a\tb\rc\x1b[31md\x7f\x01");
        QTest::newRow("trailing backslash") << "box\\";
        QTest::newRow("placeholder of quoted text") << "{{{syncedDirectories}}}";
        QTest::newRow("placeholder of raw lines") << "{{{additionalVagrantCommands}}}";
        QTest::newRow("unicode") << QStringLiteral("caf\u00e9/\u65e5\u672c \U0001F600");
    }
    void hostileValuesStayText()
    {
        QFETCH(QString, value);
        const QString ruby = QStandardPaths::findExecutable(QStringLiteral("ruby"));
        if (ruby.isEmpty())
            QSKIP("ruby is not installed (vagrant brings it)");
        DataModel model;
        model.setBoxName(value);
        model.setSyncedDirectories({{value, value + QStringLiteral("/guest")}});
        // Raw Ruby by design; a value above must not reach it.
        model.setAdditionalVagrantCommands(QStringLiteral("config.vm.hostname = \"web\""));
        const std::optional<QString> text = VagrantFileTemplateHelper(model).templateString();
        QVERIFY(text);
        QTemporaryDir folder;
        const QString vagrantfile = folder.filePath(QStringLiteral("Vagrantfile"));
        QVERIFY(test::writeFile(vagrantfile, text->toUtf8()));
        QString output;
        QVERIFY2(runs(ruby, {QStringLiteral("-c"), vagrantfile}, QString(), &output),
                 qPrintable(output));

        QProcess load;
        load.setWorkingDirectory(folder.path());
        load.start(ruby,
                   {QStringLiteral(VESK_FIXTURES_DIR "/ruby/record_vagrantfile.rb"), vagrantfile});
        QVERIFY(load.waitForFinished(30000));
        QCOMPARE(load.exitCode(), 0);
        QStringList settings;
        for (const QByteArray& line : load.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                settings.append(QString::fromUtf8(line));
        }
        auto json = [](const QString& text) {
            return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
                .mid(1)
                .chopped(1);
        };
        QCOMPARE(settings, (QStringList{
                               QStringLiteral("[\"config.vm.box\",%1]").arg(json(value)),
                               QStringLiteral("[\"config.vm.synced_folder\",[%1,%2],{}]")
                                   .arg(json(value), json(value + QStringLiteral("/guest"))),
                               QStringLiteral("[\"config.vm.hostname\",\"web\"]"),
                           }));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("pwned"))));
    }

    // Placeholders inside raw values are still filled, but a rendering cannot grow without end.
    void renderingsHaveALimit()
    {
        DataModel model;
        QString preamble;
        for (int i = 0; i < 300; ++i)
            preamble += QStringLiteral("{{{additionalVagrantCommands}}}");
        model.setPreamble(preamble);
        model.setAdditionalVagrantCommands(QString(100000, u'x'));
        QString error;
        QVERIFY(!VagrantFileTemplateHelper(model).templateString(&error));
        QCOMPARE(error, QStringLiteral("The Vagrantfile would be larger than 16 MB: "
                                       "{{{additionalVagrantCommands}}} is filled in 301 times."));
        // The preview says so instead of the Vagrantfile.
        QVERIFY(VagrantFileTemplateHelper(model).displayTemplateString()->contains(error));
        model.setAdditionalVagrantCommands(QString(1000, u'x'));
        QVERIFY(VagrantFileTemplateHelper(model).templateString());
    }

    void userTemplateTakesEffectAtOnce()
    {
        DataModel model;
        model.setBoxName(QStringLiteral("b"));
        VagrantFileTemplateHelper helper(model);
        const QString shipped = *helper.templateString();
        QVERIFY(shipped.contains(QStringLiteral("Vagrant.configure(\"2\")")));
        {
            UserTemplate user(QStringLiteral("VagrantFileTemplate.txt"), "mine: {{{boxName}}}\n");
            QCOMPARE(*helper.templateString(), QStringLiteral("mine: b\n"));
        }
        QCOMPARE(*helper.templateString(), shipped);
    }

    void previewDiffersOnlyByHeader()
    {
        DataModel model;
        fillRealisticModel(model);
        VagrantFileTemplateHelper helper(model);
        const QString header = *helper.displayTempHeader();
        QVERIFY(!header.isEmpty());
        QCOMPARE(*helper.displayTemplateString(), header + u'\n' + *helper.templateString());

        UserTemplate user(QStringLiteral("VagrantFileDisplayTempHeaderTemplate.txt"), "# mine");
        QCOMPARE(*helper.displayTemplateString(),
                 QStringLiteral("# mine\n") + *helper.templateString());
    }

    void dateIsShortLocaleDate()
    {
        UserTemplate user(QStringLiteral("VagrantFileTemplate.txt"), "{{{date}}}");
        DataModel model;
        const QString expected = shortDateString(QDateTime::currentDateTime());
        QCOMPARE(*VagrantFileTemplateHelper(model).templateString(), expected);
        QVERIFY(!expected.contains(u':')); // no time
    }

    void missingTemplate()
    {
        QCOMPARE(readTemplate(QStringLiteral("NoSuchTemplate.txt")), std::nullopt);
        // A support-folder entry that is not a readable file falls back to the shipped one.
        QDir().mkpath(supportFile(QStringLiteral("BootstrapTemplate.txt")));
        const std::optional<QString> script = BootstrapTemplateHelper::templateString();
        QDir().rmdir(supportFile(QStringLiteral("BootstrapTemplate.txt")));
        QVERIFY(script);
        QVERIFY(script->startsWith(QStringLiteral("#!")));
    }

    void bootstrapTemplate()
    {
        const QString script = *BootstrapTemplateHelper::templateString();
        QVERIFY(!script.contains(QStringLiteral("{{{date}}}")));
        QVERIFY(script.contains(shortDateString(QDateTime::currentDateTime())));
        UserTemplate user(QStringLiteral("BootstrapTemplate.txt"), "# {{{date}}} {{{boxName}}}");
        QCOMPARE(*BootstrapTemplateHelper::templateString(),
                 QStringLiteral("# ") + shortDateString(QDateTime::currentDateTime()) +
                     QStringLiteral(" {{{boxName}}}"));
    }

    void shippedTemplatesAreValid()
    {
        const QString text = *readTemplate(QStringLiteral("VagrantFileTemplate.txt"));
        for (const char* placeholder :
             {"{{{date}}}", "{{{preamble}}}", "{{{boxName}}}", "{{{additionalVagrantCommands}}}"})
            QVERIFY2(text.contains(QLatin1String(placeholder)), placeholder);
        // These fragments begin with their own tab, so they stand alone on their lines.
        for (const char* placeholder :
             {"{{{bootstrap}}}", "{{{portForwards}}}", "{{{syncedDirectories}}}"})
            QVERIFY2(text.contains(u'\n' + QLatin1String(placeholder) + u'\n'), placeholder);

        DataModel model;
        fillRealisticModel(model);
        QString output;
        const QString ruby = QStandardPaths::findExecutable(QStringLiteral("ruby"));
        if (!ruby.isEmpty()) {
            QVERIFY2(runs(ruby, {QStringLiteral("-c")},
                          *VagrantFileTemplateHelper(model).templateString(), &output),
                     qPrintable(output));
            DataModel empty;
            QVERIFY2(runs(ruby, {QStringLiteral("-c")},
                          *VagrantFileTemplateHelper(empty).templateString(), &output),
                     qPrintable(output));
        }
        QVERIFY2(runs(QStringLiteral("/bin/bash"), {QStringLiteral("-n")},
                      *BootstrapTemplateHelper::templateString(), &output),
                 qPrintable(output));
    }
};

VESK_TEST(TestTemplates)
#include "tst_Templates.moc"
