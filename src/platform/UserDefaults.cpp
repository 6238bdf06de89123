#include "UserDefaults.h"

namespace tessik::UserDefaults {

std::unique_ptr<QSettings> open() {
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QStringLiteral("tessik"), QStringLiteral("tessik"));
    return settings;
}

} // namespace tessik::UserDefaults
