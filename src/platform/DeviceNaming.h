#pragma once

#include <QString>

namespace tessik::DeviceNaming {

// The name this device shows to other devices unless the user chose one:
// the host name, read at every use.
QString defaultSyncName();

} // namespace tessik::DeviceNaming
