#include "SessionEnd.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include "DocumentController.h"

namespace vesk {

namespace {

// A signal handler may do almost nothing; it writes a byte that the event loop then reads.
int g_signalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

SessionEnd::SessionEnd(QGuiApplication& application, DocumentController& documents,
                       std::function<void()> quit)
    : QObject(&application), m_documents(documents), m_quit(std::move(quit))
{
    // Logging out never waits for an answer: the session goes on without it, and an answer
    // that comes later would find the documents gone.
    connect(&application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { m_documents.preserveForSessionEnd(); });

    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::signalReceived);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

SessionEnd::~SessionEnd()
{
    for (const int number : kSignals)
        std::signal(number, SIG_DFL);
}

void SessionEnd::signalReceived()
{
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    m_documents.preserveForSessionEnd();
    if (m_quit)
        m_quit();
}

} // namespace vesk
