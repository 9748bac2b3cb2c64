// Runs SingleInstance like the application would and prints what happens, one line each:
// "primary", "sent", "failed", then "open: a|b" or "activate" for every request received.
#include <cstdio>

#include <QCoreApplication>

#include "SingleInstance.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList files = QCoreApplication::arguments().mid(1);
    QString name = vesk::SingleInstance::defaultServerName();
    if (files.size() >= 2 && files.first() == QStringLiteral("--name")) {
        name = files.at(1);
        files = files.mid(2);
    }
    vesk::SingleInstance instance(name);
    auto say = [](const QString& line) {
        std::fputs(qPrintable(line + u'\n'), stdout);
        std::fflush(stdout);
    };
    QObject::connect(
        &instance, &vesk::SingleInstance::openFilesRequested, &app,
        [say](const QStringList& paths) { say(QStringLiteral("open: ") + paths.join(u'|')); });
    QObject::connect(&instance, &vesk::SingleInstance::activationRequested, &app,
                     [say] { say(QStringLiteral("activate")); });
    switch (instance.start(files)) {
    case vesk::SingleInstance::Role::Primary:
        say(QStringLiteral("primary ") + instance.socketPath());
        return app.exec();
    case vesk::SingleInstance::Role::Secondary:
        say(QStringLiteral("sent"));
        return 0;
    case vesk::SingleInstance::Role::Failed:
        say(QStringLiteral("failed"));
        return 1;
    }
    return 1;
}
