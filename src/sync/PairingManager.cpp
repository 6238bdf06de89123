#include "PairingManager.h"

#include "platform/Uuid.h"
#include "sync/SyncConstants.h"

#include <QRandomGenerator>

#include <algorithm>

namespace tessik {

PairingManager::PairingManager(Clock clock, std::function<quint32()> drawPin)
    : m_clock(std::move(clock)), m_drawPin(std::move(drawPin)) {
    if (!m_drawPin) {
        m_drawPin = [] { return QRandomGenerator::system()->bounded(1'000'000u); };
    }
}

void PairingManager::load(const QList<PairedDeviceRecord>& records) {
    m_tokensByDeviceId.clear();
    m_tokenRecords.clear();
    // A hand-edited file may name a device twice: the last record wins.
    for (const PairedDeviceRecord& record : records) {
        insertRecord(record);
    }
}

void PairingManager::insertRecord(const PairedDeviceRecord& record) {
    // The device's earlier token stops being accepted; a token held by
    // another device (only a hand-edited file can do that) moves over.
    if (const auto old = m_tokensByDeviceId.constFind(record.deviceId);
        old != m_tokensByDeviceId.constEnd()) {
        m_tokenRecords.remove(*old);
    }
    if (const auto other = m_tokenRecords.constFind(record.token);
        other != m_tokenRecords.constEnd()) {
        m_tokensByDeviceId.remove(other->deviceId);
    }
    m_tokensByDeviceId.insert(record.deviceId, record.token);
    m_tokenRecords.insert(record.token, record);
}

QList<PairedDeviceRecord> PairingManager::pairedDevices() const {
    QList<PairedDeviceRecord> records = m_tokenRecords.values();
    std::stable_sort(records.begin(), records.end(),
                     [](const PairedDeviceRecord& a, const PairedDeviceRecord& b) {
                         return a.pairedAt > b.pairedAt;
                     });
    return records;
}

QString PairingManager::generatePIN() {
    const QString pin = QStringLiteral("%1").arg(m_drawPin() % 1'000'000u, 6, 10, QLatin1Char('0'));
    m_activePIN = ActivePin{pin, m_clock() + pinLifetime};
    m_wrongAttempts = 0;
    return pin;
}

std::optional<QString> PairingManager::currentPIN() {
    if (m_activePIN && m_activePIN->expires > m_clock()) {
        return m_activePIN->pin;
    }
    m_activePIN.reset();
    return std::nullopt;
}

std::optional<QString> PairingManager::verifyPIN(const QString& pin, const QString& deviceId,
                                                 const QString& deviceName) {
    if (!m_activePIN || !(m_activePIN->expires > m_clock())) {
        return std::nullopt;
    }
    if (pin != m_activePIN->pin) {
        if (++m_wrongAttempts >= maxWrongAttempts) {
            m_activePIN.reset();
        }
        return std::nullopt;
    }
    m_activePIN.reset();
    const QString token = uuidText(QUuid::createUuid());
    storeToken(token, deviceId, deviceName);
    return token;
}

void PairingManager::storeToken(const QString& token, const QString& deviceId,
                                const QString& deviceName) {
    insertRecord(PairedDeviceRecord{deviceId, deviceName, token, m_clock(), std::nullopt, std::nullopt});
}

bool PairingManager::isValidToken(const QString& token) const {
    return m_tokenRecords.contains(token);
}

void PairingManager::revoke(const QString& deviceId) {
    const auto token = m_tokensByDeviceId.constFind(deviceId);
    if (token == m_tokensByDeviceId.constEnd()) {
        return;
    }
    m_tokenRecords.remove(*token);
    m_tokensByDeviceId.erase(token);
}

bool PairingManager::authorizes(const QString& token, bool requirePIN) const {
    return isValidToken(token) || (!requirePIN && token == SyncConstants::lanTrustToken);
}

} // namespace tessik
