#include "TessikIOSApp.h"

#include "app/IOSAppState.h"
#include "capture/ClipCaptureService.h"
#include "platform/AppPaths.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessik {

namespace {

const char kUsage[] =
    "usage: tessik --headless\n"
    "  --headless   record the clipboard into the history without a window,\n"
    "               until SIGINT or SIGTERM\n";

// Written by the signal handler, read by the event loop: the handler does
// nothing but write one byte.
int g_signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool installQuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = &onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// True when a stream socket at `path` accepts a connection; `abstract` uses
// Linux's abstract namespace (where X servers also listen).
bool socketAnswers(const QByteArray& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + static_cast<size_t>(path.size()));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

std::optional<QString> x11Unreachable() {
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty()) {
        return QStringLiteral("no X11 display: DISPLAY is not set");
    }
    // ":N", ":N.S" and "unix:N" are local sockets; a display on another host
    // is left for the platform to reach.
    QString local = display;
    if (local.startsWith(QLatin1String("unix:"))) {
        local = local.mid(4);
    }
    if (!local.startsWith(QLatin1Char(':'))) {
        return std::nullopt;
    }
    const QString number = local.mid(1).section(QLatin1Char('.'), 0, 0);
    bool isNumber = false;
    number.toUInt(&isNumber);
    if (!isNumber) {
        return QStringLiteral("DISPLAY \"%1\" is not a display name").arg(display);
    }
    const QByteArray socket = "/tmp/.X11-unix/X" + number.toLatin1();
    if (socketAnswers(socket, false) || socketAnswers(socket, true)) {
        return std::nullopt;
    }
    return QStringLiteral("the X11 display %1 does not answer").arg(display);
}

std::optional<QString> waylandUnreachable() {
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        return QStringLiteral("no Wayland display: WAYLAND_DISPLAY is not set");
    }
    const QString path = name.startsWith(QLatin1Char('/'))
                             ? name
                             : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + name;
    if (socketAnswers(QFile::encodeName(path), false)) {
        return std::nullopt;
    }
    return QStringLiteral("the Wayland display %1 does not answer").arg(path);
}

bool waylandPluginInstalled() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

} // namespace

std::optional<QString> TessikIOSApp::clipboardUnreachableReason() {
    const QString platform =
        qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(';'), 0, 0).section(QLatin1Char(':'), 0, 0);
    if (platform == QLatin1String("xcb")) {
        return x11Unreachable();
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        return waylandUnreachable();
    }
    if (!platform.isEmpty()) {
        return std::nullopt;  // a platform chosen on purpose
    }
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        return QStringLiteral("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    }
    // Qt's own choice works whenever the X11 display answers (directly or
    // through the compositor's X11 server).
    const std::optional<QString> x11 = x11Unreachable();
    if (!x11) {
        return std::nullopt;
    }
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return x11;
    }
    if (const std::optional<QString> wayland = waylandUnreachable()) {
        return *wayland + QStringLiteral("; ") + *x11;
    }
    // Only the Wayland display answers: Qt must not try X11 first, which
    // would abort.
    if (!waylandPluginInstalled()) {
        return QStringLiteral("only the Wayland display answers and Qt's Wayland platform plugin "
                              "is not installed (package qt6-wayland); ") + *x11;
    }
    qputenv("QT_QPA_PLATFORM", "wayland");
    return std::nullopt;
}

void TessikIOSApp::refreshWhenActive(QGuiApplication& app, IOSAppState& state) {
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &state,
                     [&state](Qt::ApplicationState applicationState) {
                         if (applicationState == Qt::ApplicationActive) {
                             state.refreshFromPasteboard();
                         }
                     });
}

int TessikIOSApp::main(int argc, char* argv[]) {
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--headless") {
            headless = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return Success;
        } else {
            std::fprintf(stderr, "tessik: unknown argument \"%s\"\n%s", argv[i], kUsage);
            return UsageError;
        }
    }
    if (!headless) {
        std::fputs("tessik: the window is not available in this release; "
                   "run \"tessik --headless\" to record the clipboard without one\n",
                   stderr);
        return UsageError;
    }
    if (const std::optional<QString> reason = clipboardUnreachableReason()) {
        std::fprintf(stderr, "tessik: no clipboard can be reached: %s\n", qUtf8Printable(*reason));
        return RuntimeError;
    }
    if (!installQuitSignals()) {
        std::fprintf(stderr, "tessik: cannot watch for SIGINT and SIGTERM: %s\n", std::strerror(errno));
        return RuntimeError;
    }

    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessik"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Created on the main thread before anything posts to it.
    NotificationCenter::defaultCenter();

    TessikIOSApp entry;
    return entry.runHeadless(app);
}

int TessikIOSApp::runHeadless(QGuiApplication& app) {
    QSocketNotifier quitNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });

    state = std::make_unique<IOSAppState>();
    refreshWhenActive(app, *state);
    QObject::connect(state->captureService(), &ClipCaptureService::clipRecorded, state.get(),
                     [](const ClipItem& item) {
                         // Kind, id and size only: clipboard contents stay out of logs.
                         qCInfo(lcTessik, "Recorded %s clip %s (%lld bytes)",
                                qUtf8Printable(ContentTypes::rawValue(item.contentType)),
                                qUtf8Printable(uuidText(item.id)), static_cast<long long>(item.byteSize));
                     });
    qCInfo(lcTessik, "tessik: recording the clipboard without a window%s; history in %s",
           state->isPaused() ? " (paused)" : "", qUtf8Printable(QDir::toNativeSeparators(AppPaths::appSupportDirectory())));

    const int code = app.exec();
    qCInfo(lcTessik, "tessik: stopped");
    state.reset();
    return code == 0 ? Success : RuntimeError;
}

} // namespace tessik
