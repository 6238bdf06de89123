#include "cli/Cli.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessik-cli"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return tessik::Cli(stdin, stdout, stderr).run(arguments);
}
