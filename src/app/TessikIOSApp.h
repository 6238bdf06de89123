#pragma once

#include <QString>
#include <QStringList>

#include "sync/transport/Discovery.h"

#include <memory>
#include <optional>

class QGuiApplication;

namespace tessik {

class IOSAppState;
class SyncEngine;

// The application entry: owns the one IOSAppState for the life of the
// process. In this release it runs headless (`tessik --headless`): the same
// controller and capture with no window, one log line per recorded clip,
// until SIGINT or SIGTERM.
class TessikIOSApp {
public:
    enum ExitCode { Success = 0, RuntimeError = 1, UsageError = 2 };

    // The process entry: parses the arguments, checks that a clipboard can be
    // reached, runs, and returns the exit code.
    static int main(int argc, char* argv[]);

    // Why no clipboard can be reached with this environment (no display
    // named, or the named X11 or Wayland socket does not answer), or none
    // when the platform can be started. Checked before QGuiApplication is
    // built, which would abort instead. When only a Wayland display answers
    // and Qt was left to choose, it sets QT_QPA_PLATFORM to "wayland".
    static std::optional<QString> clipboardUnreachableReason();

    // Reads the pasteboard whenever the application becomes active, as the
    // window's root view asks once it exists.
    static void refreshWhenActive(QGuiApplication& app, IOSAppState& state);

    // The local-network sync engine outlives the controller that drives it.
    std::unique_ptr<SyncEngine> syncEngine;
    std::unique_ptr<IOSAppState> state;

private:
    // How this run finds other devices, from the command line.
    struct SyncOptions {
        quint16 port = 0;
        QString discovery;  // "avahi" (also when empty), "static" or "none"
        QList<net::BrowseResult> peers;
    };
    static std::unique_ptr<SyncEngine> makeSyncEngine(const SyncOptions& sync);
    int runHeadless(QGuiApplication& app, const SyncOptions& sync);
};

} // namespace tessik
