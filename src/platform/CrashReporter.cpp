#include "CrashReporter.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "ApplicationInfo.h"

namespace vesk {

namespace {

// Everything the handler needs is prepared at start, so that it only formats numbers and calls
// open/write/close, which are safe inside a signal handler.
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kMaxFrames = 128;
char g_pathPrefix[4096]; // "<folder>/<executable>_"
char g_header[2048];
size_t g_headerLength = 0;
volatile sig_atomic_t g_handling = 0;
void* g_altStack = nullptr;

// A small fixed buffer that text is appended to without allocating.
struct Text
{
    char data[4352];
    size_t length = 0;

    void append(const char* text)
    {
        while (*text && length + 1 < sizeof data)
            data[length++] = *text++;
        data[length] = '\0';
    }
    void appendNumber(long long value, int width = 0)
    {
        char digits[24];
        int count = 0;
        const bool negative = value < 0;
        unsigned long long magnitude =
            negative ? 0ULL - static_cast<unsigned long long>(value) : value;
        do {
            digits[count++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude && count < 23);
        while (count < width && count < 23)
            digits[count++] = '0';
        if (negative)
            append("-");
        char out[2] = {0, 0};
        while (count > 0) {
            out[0] = digits[--count];
            append(out);
        }
    }
};

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

// UTC calendar fields from seconds since 1970, by arithmetic alone (gmtime_r may lock).
void civilTime(time_t seconds, long long fields[6])
{
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days to year/month/day in the proleptic Gregorian calendar (eras of 400 years).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    fields[0] = year;
    fields[1] = month;
    fields[2] = day;
    fields[3] = rest / 3600;
    fields[4] = rest % 3600 / 60;
    fields[5] = rest % 60;
}

void writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= size_t(written);
    }
}

void handleFatalSignal(int signal, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    if (!g_handling) {
        g_handling = 1;
        long long t[6];
        civilTime(::time(nullptr), t);

        Text path;
        path.append(g_pathPrefix);
        path.appendNumber(t[0], 4);
        path.append("-");
        path.appendNumber(t[1], 2);
        path.append("-");
        path.appendNumber(t[2], 2);
        path.append("-");
        path.appendNumber(t[3], 2);
        path.appendNumber(t[4], 2);
        path.appendNumber(t[5], 2);
        const size_t stem = path.length;
        path.append(".crash");
        int fd = ::open(path.data, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            // Another process crashed in the same second: keep both logs.
            path.length = stem;
            path.append("_");
            path.appendNumber(::getpid());
            path.append(".crash");
            fd = ::open(path.data, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        }
        if (fd >= 0) {
            Text text;
            text.append("Date/Time:       ");
            text.appendNumber(t[0], 4);
            text.append("-");
            text.appendNumber(t[1], 2);
            text.append("-");
            text.appendNumber(t[2], 2);
            text.append(" ");
            text.appendNumber(t[3], 2);
            text.append(":");
            text.appendNumber(t[4], 2);
            text.append(":");
            text.appendNumber(t[5], 2);
            text.append(" UTC\nSignal:          ");
            text.appendNumber(signal);
            text.append(" (");
            text.append(signalName(signal));
            text.append(")\n");
            if (info && (signal == SIGSEGV || signal == SIGBUS)) {
                text.append("Fault address:   ");
                text.appendNumber(
                    static_cast<long long>(reinterpret_cast<intptr_t>(info->si_addr)));
                text.append("\n");
            }
            text.append("\nBacktrace:\n");
            writeAll(fd, g_header, g_headerLength);
            writeAll(fd, text.data, text.length);
            void* frames[kMaxFrames];
            const int count = ::backtrace(frames, kMaxFrames);
            ::backtrace_symbols_fd(frames, count, fd);
            ::close(fd);
        }
    }
    // Die of the same signal, with its default action (core dump, exit status).
    struct sigaction defaultAction;
    std::memset(&defaultAction, 0, sizeof defaultAction);
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(signal, &defaultAction, nullptr);
    errno = savedErrno;
    ::raise(signal);
}

void copyInto(char* buffer, size_t size, const QByteArray& text)
{
    const size_t length = std::min(size - 1, size_t(text.size()));
    std::memcpy(buffer, text.constData(), length);
    buffer[length] = '\0';
}

} // namespace

CrashReporter& CrashReporter::sharedInstance()
{
    static CrashReporter reporter;
    return reporter;
}

QString CrashReporter::logFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vesk/Logs/CrashReporter");
}

bool CrashReporter::start(const QString& secret, const QStringList& services)
{
    m_secret = secret;
    m_services = services;
    if (m_started)
        return true;

    const QString folder = logFolder();
    if (!QDir().mkpath(folder))
        return false;

    const QString executablePath =
        QCoreApplication::instance()
            ? QCoreApplication::applicationFilePath()
            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString executable = QFileInfo(executablePath).fileName();
    copyInto(g_pathPrefix, sizeof g_pathPrefix,
             QFile::encodeName(folder + u'/' + executable + u'_'));
    const QString header = QStringLiteral("Process:         %1 [%2]\n"
                                          "Path:            %3\n"
                                          "Identifier:      %4\n"
                                          "Version:         %5\n"
                                          "Launched:        %6\n")
                               .arg(executable)
                               .arg(QCoreApplication::applicationPid())
                               .arg(executablePath, applicationName(), applicationVersion(),
                                    QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    copyInto(g_header, sizeof g_header, header.toUtf8());
    g_headerLength = std::strlen(g_header);

    // The first backtrace() loads the unwinder, which allocates: do it now, not in the handler.
    void* frames[4];
    ::backtrace(frames, 4);

    // A stack of its own, so that a stack overflow can still be logged.
    const size_t altStackSize = std::max<size_t>(SIGSTKSZ, 64 * 1024);
    g_altStack = std::malloc(altStackSize);
    if (g_altStack) {
        stack_t stack;
        std::memset(&stack, 0, sizeof stack);
        stack.ss_sp = g_altStack;
        stack.ss_size = altStackSize;
        ::sigaltstack(&stack, nullptr);
    }

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = handleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals)
        ::sigaction(signal, &action, nullptr);
    m_started = true;
    return true;
}

} // namespace vesk
