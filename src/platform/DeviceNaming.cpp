#include "DeviceNaming.h"

#include <QSysInfo>

namespace tessik::DeviceNaming {

QString defaultSyncName() {
    return QSysInfo::machineHostName();
}

} // namespace tessik::DeviceNaming
