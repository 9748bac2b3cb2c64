// Start-up to tray menu built, as a whole process: run by startup.sh with indexes of several
// sizes. Prints the milliseconds from main() to the menu built.
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>

#include "AppDelegate.h"
#include "DocumentController.h"
#include "TheMenu.h"

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    vesk::DocumentController documents;
    vesk::AppDelegate delegate(documents);
    delegate.applicationDidFinishLaunching();
    const qint64 elapsed = clock.elapsed();
    std::printf("menu built after %lld ms with %lld top-level rows\n", static_cast<long long>(elapsed),
                static_cast<long long>(vesk::TheMenu::sharedInstance().menuModel().size()));
    return 0;
}
