// `vesk`: the command-line forms run here, on Qt Core alone, so that scripts do not pay for the
// windows; anything else starts the windows' program in this process's place.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTextStream>

#include "CommandLine.h"

namespace {

// Beside this program in a build tree (libexec/vesk), or ../libexec/vesk/vesk once installed.
QList<QByteArray> guiCandidates(const char* argv0)
{
    QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (self.isEmpty())
        self = QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
    const QString folder = QFileInfo(self).absolutePath();
    return {QFile::encodeName(folder + QStringLiteral("/libexec/vesk")),
            QFile::encodeName(folder + QStringLiteral("/../libexec/vesk/vesk"))};
}

} // namespace

int main(int argc, char* argv[])
{
    // A file-size limit makes a write fail (and be reported, the old file kept) instead of
    // killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    {
        QList<QByteArray> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QByteArray(argv[i]));
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> status = vesk::runCommandLine(arguments, out, err))
            return *status;
    }
    int error = ENOENT;
    for (const QByteArray& program : guiCandidates(argv[0])) {
        if (::access(program.constData(), X_OK) != 0)
            continue;
        ::execv(program.constData(), argv);
        error = errno;
    }
    std::fprintf(stderr, "vesk: the windows cannot be started: %s\n", std::strerror(error));
    return 1;
}
