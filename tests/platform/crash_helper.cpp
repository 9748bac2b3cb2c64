// Starts the crash reporter and then dies the way the first argument says.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include <QCoreApplication>

#include "CrashReporter.h"

// Exported, so that the backtrace names them.
[[gnu::noinline]] void crashWithSegmentationFault(volatile int* address);
[[gnu::noinline]] void crashWithAbort();

void crashWithSegmentationFault(volatile int* address)
{
    *address = 42;
}

void crashWithAbort()
{
    std::abort();
}

// A real fault the sanitizers see as a valid store: memory that may not be touched.
static volatile int* inaccessiblePage()
{
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return static_cast<volatile int*>(page);
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!vesk::CrashReporter::sharedInstance().start(
            QStringLiteral("00000000-0000-4000-8000-000000000000"),
            {QStringLiteral("Analytics"), QStringLiteral("Crashes")}))
        return 2;
    const char* how = argc > 1 ? argv[1] : "";
    if (std::strcmp(how, "segv") == 0)
        crashWithSegmentationFault(inaccessiblePage());
    if (std::strcmp(how, "abort") == 0)
        crashWithAbort();
    std::puts("still alive");
    return 0;
}
