#pragma once

#include <QByteArray>
#include <QStandardPaths>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// An Xvfb on a display number it picks itself (-displayfd), so tests that run
// at the same time never share a display.
class XvfbServer {
public:
    bool start() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty()) {
            return false;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        const QByteArray path = program.toLocal8Bit();
        const QByteArray fd = QByteArray::number(fds[1]);
        const char* argv[] = {path.constData(), "-displayfd", fd.constData(), "-nolisten", "tcp",
                              "-screen", "0", "640x480x24", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawn(&m_pid, path.constData(), &actions, nullptr,
                                        const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            m_pid = -1;
            ::close(fds[0]);
            return false;
        }
        // Xvfb writes the display number and a line break once it accepts clients.
        QByteArray number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') {
            number.append(c);
        }
        ::close(fds[0]);
        if (number.isEmpty()) {
            stop();
            return false;
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
        return true;
    }

    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    ~XvfbServer() { stop(); }

    const QString& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QString m_display;
};
