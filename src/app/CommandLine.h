#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>

class QTextStream;

namespace vesk {

/// Handles the command-line forms that need no window (--help, --version, render, export).
/// Returns the exit status when the arguments were one of them, nothing when the application
/// should start with its windows. `arguments` excludes the program name.
/// The arguments are the program's own bytes: a file name need not be valid text.
std::optional<int> runCommandLine(const QList<QByteArray>& arguments, QTextStream& out,
                                  QTextStream& err);

/// The document a start-up argument names: a path (made absolute) or a file:// URL. Other URLs
/// give nothing and, when asked, a one-line message; an option ("--no-sandbox") gives nothing.
std::optional<QString> documentPathFromArgument(const QString& argument,
                                                QString* errorMessage = nullptr);

/// The usage text printed by --help and on wrong usage.
QString usageText();

} // namespace vesk
