#include "CliSupport.h"

namespace tessik::cli {

std::optional<QString> takeValue(QStringList& args, const QString& option, const char* needs) {
    std::optional<QString> value;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) != option) {
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageProblem{QStringLiteral("%1 needs %2").arg(option, QLatin1String(needs))};
        }
        value = args.at(i + 1);
        args.remove(i, 2);
        --i;
    }
    return value;
}

void expectCount(const QStringList& args, qsizetype count, const char* what) {
    if (args.size() != count) {
        throw UsageProblem{QString::fromLatin1(what)};
    }
}

int dispatch(Cli& cli, const QString& command, const QStringList& arguments,
             const QList<std::pair<QString, Subcommand>>& subcommands) {
    QStringList args = arguments;
    const QString chosen = args.isEmpty() ? QString() : args.takeFirst();
    QStringList offered;
    for (const auto& [name, handler] : subcommands) {
        if (name == chosen) {
            return handler(cli, args);
        }
        offered.append(name);
    }
    if (chosen.isEmpty()) {
        throw UsageProblem{QStringLiteral("%1 needs one of: %2").arg(command, offered.join(QStringLiteral(", ")))};
    }
    throw UsageProblem{QStringLiteral("unknown %1 command \"%2\"").arg(command, chosen)};
}

QString column(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

} // namespace tessik::cli
