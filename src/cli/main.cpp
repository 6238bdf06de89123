#include "cli/Cli.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

// Without a display named and no platform chosen, creating the application
// would abort; say so instead.
bool clipboardReachable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// On X11 (and Wayland) the clipboard's content lives in the program that
// offers it: keep running until another program takes the clipboard over.
// Where the platform holds the content itself, there is nothing to serve.
int serveClipboard(QGuiApplication& app) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    QObject::connect(clipboard, &QClipboard::dataChanged, &app, [clipboard] {
        if (!clipboard->ownsClipboard()) {
            QCoreApplication::quit();
        }
    });
    if (!clipboard->ownsClipboard()) {
        return tessik::Cli::Success;
    }
    return app.exec() == 0 ? tessik::Cli::Success : tessik::Cli::RuntimeError;
}

int copyInForeground(int argc, char* argv[], const QStringList& arguments) {
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessik-cli"));
    const int code = tessik::Cli(stdin, stdout, stderr).run(arguments);
    if (code != tessik::Cli::Success) {
        return code;
    }
    std::fflush(stdout);
    return serveClipboard(app);
}

void detachFromTerminal() {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
            ::close(null);
        }
    }
}

// Like other command-line clipboard tools: the copy is made by a child
// that stays behind to serve the clipboard, while this process returns the
// command's result as soon as the content is on the clipboard.
int copyInBackground(int argc, char* argv[], const QStringList& arguments) {
    int report[2];
    if (::pipe(report) != 0) {
        std::perror("tessik-cli: pipe");
        return tessik::Cli::RuntimeError;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("tessik-cli: fork");
        return tessik::Cli::RuntimeError;
    }
    if (child > 0) {
        ::close(report[1]);
        // The child reports the command's exit code and whether it stays
        // behind to serve the clipboard.
        unsigned char reply[2] = {tessik::Cli::RuntimeError, 0};
        ssize_t got = 0;
        while (got < 2) {
            const ssize_t n = ::read(report[0], reply + got, static_cast<size_t>(2 - got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += n;
        }
        ::close(report[0]);
        if (got < 2 || !reply[1]) {
            ::waitpid(child, nullptr, 0);  // it is ending: do not leave it behind
        }
        if (got < 2) {
            std::fputs("tessik-cli: the clipboard could not be set\n", stderr);
            return tessik::Cli::RuntimeError;
        }
        return reply[0];
    }

    ::close(report[0]);
    ::setsid();  // a closing terminal must not take the clipboard with it
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessik-cli"));
    const int code = tessik::Cli(stdin, stdout, stderr).run(arguments);
    const bool serving = code == tessik::Cli::Success && QGuiApplication::clipboard()->ownsClipboard();
    std::fflush(nullptr);
    if (serving) {
        detachFromTerminal();
    }
    const unsigned char reply[2] = {static_cast<unsigned char>(code), serving};
    (void)!::write(report[1], reply, 2);
    ::close(report[1]);
    if (!serving) {
        return code;
    }
    return serveClipboard(app);
}

} // namespace

int main(int argc, char* argv[]) {
    const QStringList arguments = argumentsOf(argc, argv);
    if (tessik::Cli::commandOf(arguments) == QLatin1String("copy")) {
        if (!clipboardReachable()) {
            std::fputs("tessik-cli: copy needs a display: DISPLAY is not set\n", stderr);
            return tessik::Cli::RuntimeError;
        }
        return arguments.contains(QStringLiteral("--foreground"))
                   ? copyInForeground(argc, argv, arguments)
                   : copyInBackground(argc, argv, arguments);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessik-cli"));
    return tessik::Cli(stdin, stdout, stderr).run(arguments);
}
