// tessik-cli sync: the local-network sync settings, written as the
// application's sync settings write them.
#include "Cli.h"

#include "cli/CliSupport.h"
#include "platform/AppPaths.h"
#include "platform/IOSAppPreferences.h"
#include "sync/SyncPeerStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessik {

using namespace cli;

namespace {

QString yesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString isoTime(TimePoint time) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(time * 1000.0), Qt::UTC)
        .toString(Qt::ISODateWithMs);
}

} // namespace

int Cli::sync(const QStringList& args) {
    return dispatch(*this, QStringLiteral("sync"), args,
                    {{QStringLiteral("status"), &Cli::syncStatus},
                     {QStringLiteral("enable"), [](Cli& cli, const QStringList& a) { return cli.syncEnable(a, true); }},
                     {QStringLiteral("disable"), [](Cli& cli, const QStringList& a) { return cli.syncEnable(a, false); }},
                     {QStringLiteral("require-pin"), &Cli::syncRequirePin},
                     {QStringLiteral("name"), &Cli::syncName}});
}

int Cli::syncStatus(const QStringList& args) {
    expectCount(args, 0, "sync status takes no arguments");
    // Tokens are secrets: status shows who is paired, never the tokens.
    const SyncConfigFile config = SyncPeerStore::shared().load();
    if (m_json) {
        QJsonArray devices;
        for (const PairedDeviceRecord& record : config.pairedDevices) {
            QJsonObject device = record.toJson();
            device.remove(QStringLiteral("token"));
            devices.append(device);
        }
        const QJsonObject status{{QStringLiteral("syncEnabled"), IOSAppPreferences::syncEnabled()},
                                 {QStringLiteral("syncRequirePIN"), IOSAppPreferences::syncRequirePIN()},
                                 {QStringLiteral("syncDeviceName"), IOSAppPreferences::syncDeviceName()},
                                 {QStringLiteral("deviceId"), AppPaths::deviceId()},
                                 {QStringLiteral("pairedDevices"), devices}};
        print(QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        return Success;
    }
    QString text = QStringLiteral("enabled\t%1\nrequire-pin\t%2\ndevice-name\t%3\ndevice-id\t%4\n")
                       .arg(yesNo(IOSAppPreferences::syncEnabled()),
                            yesNo(IOSAppPreferences::syncRequirePIN()),
                            column(IOSAppPreferences::syncDeviceName()), AppPaths::deviceId());
    for (const PairedDeviceRecord& record : config.pairedDevices) {
        text += QStringList{QStringLiteral("paired"), column(record.deviceId), column(record.deviceName),
                            isoTime(record.pairedAt)}
                    .join(QLatin1Char('\t')) +
                QLatin1Char('\n');
    }
    print(text);
    return Success;
}

int Cli::syncEnable(const QStringList& args, bool enabled) {
    expectCount(args, 0, enabled ? "sync enable takes no arguments" : "sync disable takes no arguments");
    IOSAppPreferences::setSyncEnabled(enabled);
    return Success;
}

int Cli::syncRequirePin(const QStringList& args) {
    expectCount(args, 1, "sync require-pin needs on or off");
    if (args.first() != QLatin1String("on") && args.first() != QLatin1String("off")) {
        throw UsageProblem{QStringLiteral("sync require-pin needs on or off, not \"%1\"").arg(args.first())};
    }
    IOSAppPreferences::setSyncRequirePIN(args.first() == QLatin1String("on"));
    return Success;
}

int Cli::syncName(const QStringList& args) {
    expectCount(args, 1, "sync name needs exactly one NAME");
    const QString name = args.first().trimmed();
    if (name.isEmpty()) {
        return failure(QStringLiteral("the device name cannot be blank"));
    }
    IOSAppPreferences::setSyncDeviceName(name);
    SyncPeerStore::shared().updateDeviceName(name);
    return Success;
}

} // namespace tessik
