#include "TestMain.h"

#include <cstdio>
#include <memory>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>


namespace vesk::test {

std::map<QString, Factory>& registry()
{
    static std::map<QString, Factory> tests;
    return tests;
}

Registrar::Registrar(const char* name, Factory factory)
{
    registry().emplace(QString::fromLatin1(name), std::move(factory));
}

} // namespace vesk::test

int main(int argc, char* argv[])
{
    // Every test process gets a private home, so nothing reads or writes the user's own settings,
    // support folder or Vagrant index.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary home\n");
        return 1;
    }
    const QByteArray homePath = home.path().toLocal8Bit();
    qputenv("HOME", homePath);
    qputenv("XDG_CONFIG_HOME", homePath + "/.config");
    qputenv("XDG_DATA_HOME", homePath + "/.local/share");
    qputenv("XDG_CACHE_HOME", homePath + "/.cache");
    qputenv("XDG_STATE_HOME", homePath + "/.local/state");
    qputenv("XDG_RUNTIME_DIR", homePath + "/.runtime");
    qputenv("XDG_DATA_DIRS", homePath + "/.xdg-data-dirs");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    app.setAttribute(Qt::AA_Use96Dpi, true);

    QStringList arguments = QApplication::arguments();
    const auto& tests = vesk::test::registry();
    QStringList selected;
    if (arguments.size() > 1 && tests.count(arguments.at(1))) {
        selected.append(arguments.at(1));
        arguments.removeAt(1);
    } else {
        for (const auto& [name, factory] : tests)
            selected.append(name);
    }

    int failures = 0;
    for (const QString& name : selected) {
        std::unique_ptr<QObject> object(tests.at(name)());
        failures += QTest::qExec(object.get(), arguments);
    }
    return failures == 0 ? 0 : 1;
}
