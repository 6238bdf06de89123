#include "AppPaths.h"

#include "UserDefaults.h"

#include <QDir>
#include <QMutex>
#include <QStandardPaths>
#include <QUuid>

namespace tessik::AppPaths {

namespace {

QString createdFolder(const QString& path) {
    QDir().mkpath(path);  // failure surfaces at the first file operation inside
    return path;
}

} // namespace

QString appSupportDirectory() {
    static const QString dir = createdFolder(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/tessik"));
    return dir;
}

QString attachmentsDirectory() {
    static const QString dir = createdFolder(appSupportDirectory() + QStringLiteral("/attachments"));
    return dir;
}

QString databaseURL() {
    return appSupportDirectory() + QStringLiteral("/clips.sqlite");
}

QString deviceId() {
    // Two threads asking at once on a fresh installation must agree on one id.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    auto defaults = UserDefaults::open();
    const QString key = QStringLiteral("deviceId");
    QString stored = defaults->value(key).toString();
    if (!stored.isEmpty()) {
        return stored;
    }
    const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    defaults->setValue(key, fresh);
    defaults->sync();
    return fresh;
}

} // namespace tessik::AppPaths
