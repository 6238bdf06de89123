#pragma once

#include "platform/Error.h"

namespace tessik {

// Errors of the local-network sync. Their descriptions are the texts shown
// to the user in status lines.
class SyncError : public Error {
public:
    enum class Kind { pairingFailed, invalidFrame, unauthorized, connectionFailed };

    // Carries its own text as the description.
    static SyncError pairingFailed(const QString& text) { return {Kind::pairingFailed, text}; }
    // "同步协议帧无效"
    static SyncError invalidFrame() { return {Kind::invalidFrame, QStringLiteral("同步协议帧无效")}; }
    // "未授权的设备"
    static SyncError unauthorized() { return {Kind::unauthorized, QStringLiteral("未授权的设备")}; }
    // "连接失败"
    static SyncError connectionFailed() {
        return {Kind::connectionFailed, QStringLiteral("连接失败")};
    }

    Kind kind() const noexcept { return m_kind; }

private:
    SyncError(Kind kind, const QString& description) : Error(description), m_kind(kind) {}
    Kind m_kind;
};

} // namespace tessik
