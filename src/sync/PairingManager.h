#pragma once

#include "platform/Clock.h"
#include "sync/PairedDeviceRecord.h"

#include <QHash>
#include <QList>

#include <functional>
#include <optional>

namespace tessik {

// The pairing PIN offered to another device and the tokens pairings granted.
// Used only on the sync engine's thread (no lock of its own).
class PairingManager {
public:
    static constexpr double pinLifetime = 300.0;  // seconds
    // A PIN is withdrawn after this many wrong tries: six digits could
    // otherwise be guessed within its lifetime on a local network.
    static constexpr int maxWrongAttempts = 10;

    // `drawPin` gives a uniform integer from 0 to 999,999; by default from
    // the system's secure random source.
    explicit PairingManager(Clock clock = &tessik::now, std::function<quint32()> drawPin = {});

    // Replaces every token and record; the PIN stays.
    void load(const QList<PairedDeviceRecord>& records);
    // All records, newest pairing first.
    QList<PairedDeviceRecord> pairedDevices() const;

    // A new 6-digit PIN valid for 300 s; the one offered before stops working.
    QString generatePIN();
    // The PIN on offer, or none once it expired (then it is forgotten).
    std::optional<QString> currentPIN();
    // A new token for the device when `pin` is the PIN on offer and still
    // valid; the PIN is then used up. A wrong PIN leaves it on offer until
    // the tenth wrong try.
    std::optional<QString> verifyPIN(const QString& pin, const QString& deviceId,
                                     const QString& deviceName);
    // Records a token for a device, replacing the device's earlier one.
    void storeToken(const QString& token, const QString& deviceId, const QString& deviceName);
    bool isValidToken(const QString& token) const;
    void revoke(const QString& deviceId);

    // Whether a request carrying `token` is served: a token of a pairing, or
    // the shared trust token while PIN pairing is not required.
    bool authorizes(const QString& token, bool requirePIN) const;

private:
    struct ActivePin {
        QString pin;
        TimePoint expires;
    };

    void insertRecord(const PairedDeviceRecord& record);

    Clock m_clock;
    std::function<quint32()> m_drawPin;
    std::optional<ActivePin> m_activePIN;
    int m_wrongAttempts = 0;
    QHash<QString, QString> m_tokensByDeviceId;
    QHash<QString, PairedDeviceRecord> m_tokenRecords;
};

} // namespace tessik
