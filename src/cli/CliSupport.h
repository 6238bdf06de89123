#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace tessik {
class Cli;
}

// Argument handling shared by the commands of tessik-cli.
namespace tessik::cli {

// A mistake in the command line: reported with the usage text, exit 2.
struct UsageProblem {
    QString text;
};

// Takes every "OPTION VALUE" pair out of the arguments, leaving the others;
// the last value counts. `needs` says what the value is, for the message when
// it is missing.
std::optional<QString> takeValue(QStringList& args, const QString& option, const char* needs);

// Throws UsageProblem(what) unless there are exactly `count` arguments.
void expectCount(const QStringList& args, qsizetype count, const char* what);

using Subcommand = std::function<int(Cli&, const QStringList&)>;
// The first argument chooses one of `subcommands`.
int dispatch(Cli& cli, const QString& command, const QStringList& arguments,
             const QList<std::pair<QString, Subcommand>>& subcommands);

// Tabs and line breaks inside a column would break the line, so every
// control character is shown as a space.
QString column(QString text);

} // namespace tessik::cli
