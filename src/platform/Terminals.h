#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QStringList>

namespace vesk {

/// A terminal emulator and how it is told to run one program in a new window.
struct Terminal
{
    QString name;       // as users know it ("GNOME Terminal")
    QString program;    // the executable looked for on PATH
    QStringList before; // the arguments that come before the program to run
};

/// The terminals looked for, in order, after the user's choice and $TERMINAL.
QList<Terminal> knownTerminals();

/// The user defaults key of the chosen terminal: a command line to which the script path is
/// appended ("konsole -e"); empty or absent means "find one".
inline const QString kTerminalCommand = QStringLiteral("terminalCommand");

struct TerminalLookup
{
    QStringList command; // program first; empty when nothing was found
    QStringList tried;   // what was looked for, in order, for the message when nothing was
};

/// The command line that runs `script` in a terminal: the user's chosen command, then
/// $TERMINAL, then the desktop's own choice (xdg-terminal-exec, x-terminal-emulator), then the
/// common terminals. `findExecutable` is QStandardPaths::findExecutable unless a test says so.
TerminalLookup findTerminal(const QString& script, const QString& chosenCommand,
                            const QString& terminalVariable,
                            const std::function<QString(const QString&)>& findExecutable);

} // namespace vesk
