#pragma once

#include <optional>

#include <QStringList>

class QTextStream;

namespace vesk {

/// Handles the command-line forms that need no window (--help, --version, render, export).
/// Returns the exit status when the arguments were one of them, nothing when the application
/// should start with its windows. `arguments` excludes the program name.
std::optional<int> runCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err);

/// The usage text printed by --help and on wrong usage.
QString usageText();

} // namespace vesk
