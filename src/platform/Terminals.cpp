#include "Terminals.h"

#include <QProcess>

namespace vesk {

QList<Terminal> knownTerminals()
{
    const QString dash2 = QStringLiteral("--");
    const QString e = QStringLiteral("-e");
    const QString x = QStringLiteral("-x");
    return {
        {QStringLiteral("Desktop default (xdg-terminal-exec)"),
         QStringLiteral("xdg-terminal-exec"),
         {}},
        {QStringLiteral("Debian's default (x-terminal-emulator)"),
         QStringLiteral("x-terminal-emulator"),
         {e}},
        {QStringLiteral("GNOME Terminal"), QStringLiteral("gnome-terminal"), {dash2}},
        {QStringLiteral("Ptyxis"),
         QStringLiteral("ptyxis"),
         {QStringLiteral("--new-window"), dash2}},
        {QStringLiteral("Console"), QStringLiteral("kgx"), {dash2}},
        {QStringLiteral("Konsole"), QStringLiteral("konsole"), {e}},
        {QStringLiteral("Xfce Terminal"), QStringLiteral("xfce4-terminal"), {x}},
        {QStringLiteral("MATE Terminal"), QStringLiteral("mate-terminal"), {x}},
        {QStringLiteral("Tilix"), QStringLiteral("tilix"), {e}},
        {QStringLiteral("Terminator"), QStringLiteral("terminator"), {x}},
        {QStringLiteral("foot"), QStringLiteral("foot"), {}},
        {QStringLiteral("kitty"), QStringLiteral("kitty"), {}},
        {QStringLiteral("Alacritty"), QStringLiteral("alacritty"), {e}},
        {QStringLiteral("WezTerm"), QStringLiteral("wezterm"), {QStringLiteral("start"), dash2}},
        {QStringLiteral("xterm"), QStringLiteral("xterm"), {e}},
    };
}

TerminalLookup findTerminal(const QString& script, const QString& chosenCommand,
                            const QString& terminalVariable,
                            const std::function<QString(const QString&)>& findExecutable)
{
    TerminalLookup lookup;
    // A command line of the user's own: the script is its last argument.
    auto fromCommandLine = [&](const QString& line, const QStringList& defaultBefore) {
        QStringList command = QProcess::splitCommand(line);
        if (command.isEmpty())
            return false;
        lookup.tried.append(command.first());
        if (findExecutable(command.first()).isEmpty())
            return false;
        if (command.size() == 1) {
            // A bare program: a terminal we know is told its own way, any other with "-e".
            QStringList before = defaultBefore;
            const QString program = command.first().section(u'/', -1);
            for (const Terminal& terminal : knownTerminals()) {
                if (terminal.program == program)
                    before = terminal.before;
            }
            command += before;
        }
        command.append(script);
        lookup.command = command;
        return true;
    };
    if (!chosenCommand.trimmed().isEmpty() &&
        fromCommandLine(chosenCommand, {QStringLiteral("-e")}))
        return lookup;
    // $TERMINAL names a program that takes "-e", the convention of most terminals.
    if (!terminalVariable.trimmed().isEmpty() &&
        fromCommandLine(terminalVariable, {QStringLiteral("-e")}))
        return lookup;
    for (const Terminal& terminal : knownTerminals()) {
        lookup.tried.append(terminal.program);
        if (findExecutable(terminal.program).isEmpty())
            continue;
        lookup.command = QStringList{terminal.program} + terminal.before + QStringList{script};
        return lookup;
    }
    return lookup;
}

} // namespace vesk
