#include <cstdio>

#include <QApplication>
#include <QTextStream>

#include "ApplicationInfo.h"
#include "CommandLine.h"

int main(int argc, char* argv[])
{
    {
        // The script-friendly forms run without a display, so they are handled before Qt starts.
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> status = vesk::runCommandLine(arguments, out, err))
            return *status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(vesk::applicationName());
    QApplication::setApplicationVersion(vesk::applicationVersion());
    QApplication::setOrganizationName(vesk::applicationName());
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
