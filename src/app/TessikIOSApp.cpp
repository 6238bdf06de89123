#include "TessikIOSApp.h"

#include "app/IOSAppState.h"
#include "capture/ClipCaptureService.h"
#include "platform/AppPaths.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "platform/Uuid.h"
#include "sync/SyncCoordinator.h"
#include "sync/SyncEngine.h"
#include "sync/transport/AvahiDiscovery.h"
#include "sync/transport/StaticDiscovery.h"

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
    "usage: tessik --headless [--sync-port N] [--discovery avahi|static|none] [--peer NAME@HOST:PORT ...]\n"
    "  --headless             record the clipboard into the history without a window,\n"
    "                         until SIGINT or SIGTERM; local-network sync runs when it\n"
    "                         is enabled (tessik-cli sync enable)\n"
    "  --sync-port N          listen for other devices on port N instead of any free one\n"
    "  --discovery KIND       find other devices over mDNS (avahi, the default), only\n"
    "                         from --peer (static), or not at all (none)\n"
    "  --peer NAME@HOST:PORT  another device to sync with, for networks without\n"
    "                         multicast; repeatable, implies --discovery static\n";

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
    SyncOptions sync;
    const auto usageError = [](const QString& problem) {
        std::fprintf(stderr, "tessik: %s\n%s", qUtf8Printable(problem), kUsage);
        return UsageError;
    };
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (argument == "--headless") {
            headless = true;
        } else if (argument == "--sync-port") {
            bool ok = false;
            const uint port = hasValue ? QByteArray(argv[++i]).toUInt(&ok) : 0;
            if (!ok || port == 0 || port > 65535) {
                return usageError(QStringLiteral("--sync-port needs a port number from 1 to 65535"));
            }
            sync.port = static_cast<quint16>(port);
        } else if (argument == "--discovery") {
            const QByteArray kind = hasValue ? QByteArray(argv[++i]) : QByteArray();
            if (kind != "avahi" && kind != "static" && kind != "none") {
                return usageError(QStringLiteral("--discovery needs avahi, static or none"));
            }
            sync.discovery = QString::fromLatin1(kind);
        } else if (argument == "--peer") {
            const QString text = hasValue ? QString::fromLocal8Bit(argv[++i]) : QString();
            const std::optional<net::BrowseResult> peer = net::StaticDiscovery::parsePeer(text);
            if (!peer) {
                return usageError(QStringLiteral("--peer needs NAME@HOST:PORT, not \"%1\"").arg(text));
            }
            sync.peers.append(*peer);
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

    if (!sync.peers.isEmpty() && sync.discovery != QLatin1String("static") &&
        !sync.discovery.isEmpty()) {
        return usageError(QStringLiteral("--peer goes with --discovery static"));
    }
    TessikIOSApp entry;
    return entry.runHeadless(app, sync);
}

std::unique_ptr<SyncEngine> TessikIOSApp::makeSyncEngine(const SyncOptions& sync) {
    SyncEngine::Options options;
    options.port = sync.port;
    if (!sync.peers.isEmpty() || sync.discovery == QLatin1String("static") ||
        sync.discovery == QLatin1String("none")) {
        options.discovery = std::make_shared<net::StaticDiscovery>(sync.peers);
    } else {
        options.discovery = std::make_shared<net::AvahiDiscovery>();
    }
    return std::make_unique<SyncEngine>(options);
}

int TessikIOSApp::runHeadless(QGuiApplication& app, const SyncOptions& sync) {
    QSocketNotifier quitNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });

    syncEngine = makeSyncEngine(sync);
    IOSAppStateOptions options;
    options.syncEngine = syncEngine.get();
    state = std::make_unique<IOSAppState>(nullptr, options);
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
    syncEngine.reset();
    return code == 0 ? Success : RuntimeError;
}

} // namespace tessik
