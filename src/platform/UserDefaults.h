#pragma once

#include <QSettings>

#include <memory>

namespace tessik::UserDefaults {

// The user defaults store: QSettings with organisation and application
// "tessik" in the XDG config folder. Each call returns a fresh handle that
// has re-read the file, so values written by another process (tessik-cli
// beside the running application) are seen at the next read.
std::unique_ptr<QSettings> open();

} // namespace tessik::UserDefaults
