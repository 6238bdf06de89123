// The outgoing side of the sync engine: automatic sync, pulls, pushes and
// pairing, each exchange on a new connection. Everything here runs on the
// engine's thread.
#include "SyncEngine.h"

#include "platform/Logging.h"
#include "store/ClipStore.h"
#include "sync/SyncConstants.h"
#include "sync/SyncError.h"
#include "sync/SyncWireCodec.h"

namespace tessik {

using M = SyncMessage;

net::Connection* SyncEngine::openConnection(const net::BrowseResult& endpoint) {
    auto connection = std::make_unique<net::Connection>(endpoint.host, endpoint.port);
    connection->setConnectTimeout(m_options.connectTimeoutMs);
    connection->setIdleTimeout(m_options.replyTimeoutMs);
    net::Connection* raw = connection.get();
    m_outgoing.emplace(raw, std::move(connection));
    return raw;
}

void SyncEngine::closeConnection(net::Connection* connection) {
    const auto it = m_outgoing.find(connection);
    if (it == m_outgoing.end()) {
        return;
    }
    connection->setStateHandler(nullptr);
    connection->cancel();
    // Never delete a connection from inside one of its own handlers.
    it->second.release()->deleteLater();
    m_outgoing.erase(it);
}

void SyncEngine::autoSyncWithAllPeers(bool forced) {
    const QStringList peerIds = m_endpointByPeerID.keys();
    for (const QString& peerId : peerIds) {
        autoSync(peerId, forced);
    }
}

void SyncEngine::autoSync(const QString& peerId, bool forced) {
    if (m_selfPeerIDs.contains(peerId)) {
        return;
    }
    const auto last = m_lastAutoSyncAt.constFind(peerId);
    if (!forced && last != m_lastAutoSyncAt.constEnd() &&
        m_options.clock() - *last < SyncConstants::autoSyncDebounce) {
        return;
    }
    if (m_autoSyncInProgress.contains(peerId) || !m_endpointByPeerID.contains(peerId)) {
        return;
    }
    const net::BrowseResult endpoint = m_endpointByPeerID.value(peerId);
    m_autoSyncInProgress.insert(peerId);
    net::Connection* connection = openConnection(endpoint);

    auto finished = std::make_shared<bool>(false);
    const auto finish = [this, peerId, connection, finished] {
        if (std::exchange(*finished, true)) {
            return;
        }
        closeConnection(connection);
        m_autoSyncInProgress.remove(peerId);
        m_lastAutoSyncAt.insert(peerId, m_options.clock());
    };
    connection->setStateHandler([this, connection, endpoint, peerId, forced, finish](
                                    net::Connection::State state, const auto&) {
        if (state == net::Connection::State::failed) {
            finish();
            return;
        }
        if (state != net::Connection::State::ready) {
            return;
        }
        SyncWireCodec::send(M{M::Health{}}, *connection, [=, this](const auto&) {
            SyncWireCodec::receive(*connection, [=, this](const SyncWireCodec::Received& received) {
                const auto* health = received.message
                                         ? std::get_if<M::HealthResponse>(&received.message->value)
                                         : nullptr;
                if (!health) {
                    finish();
                    return;
                }
                if (health->deviceId == m_options.deviceId()) {
                    m_selfPeerIDs.insert(peerId);  // this device's own service
                    finish();
                    return;
                }
                const double since = forced ? 0 : m_lastPullSinceByDeviceId.value(health->deviceId, 0);
                pull(since, SyncConstants::lanTrustToken, endpoint);
                m_lastPullSinceByDeviceId.insert(health->deviceId, m_options.clock());
                finish();
            });
        });
    });
    connection->start();
}

void SyncEngine::pull(double since, const QString& token, const net::BrowseResult& endpoint) {
    net::Connection* connection = openConnection(endpoint);
    connection->setStateHandler([this, connection, since, token](net::Connection::State state,
                                                                 const auto&) {
        if (state == net::Connection::State::failed) {
            closeConnection(connection);
            return;
        }
        if (state != net::Connection::State::ready) {
            return;
        }
        SyncWireCodec::send(M{M::PullRequest{since, token}}, *connection, [=, this](const auto&) {
            SyncWireCodec::receive(*connection, [=, this](const SyncWireCodec::Received& received) {
                if (received.message) {
                    if (const auto* reply = std::get_if<M::PullResponse>(&received.message->value)) {
                        applyPulledClips(reply->clips);
                    }
                }
                closeConnection(connection);
            });
        });
    });
    connection->start();
}

void SyncEngine::applyPulledClips(const QList<SyncClipPayload>& clips) {
    if (!m_store) {
        return;
    }
    bool stored = false;
    for (const SyncClipPayload& payload : clips) {
        try {
            stored = m_store->upsertFromSync(payload.materializeAttachments()) || stored;
        } catch (const Error& error) {
            qCWarning(lcTessik, "Sync apply error: %s", qUtf8Printable(error.description()));
        }
    }
    if (stored) {
        postClipStoreDidChange();
    }
}

void SyncEngine::push(const SyncClipPayload& payload, const QString& token,
                      const net::BrowseResult& endpoint) {
    net::Connection* connection = openConnection(endpoint);
    connection->setStateHandler([this, connection, payload, token](net::Connection::State state,
                                                                   const auto&) {
        if (state == net::Connection::State::failed) {
            closeConnection(connection);
        } else if (state == net::Connection::State::ready) {
            SyncWireCodec::send(M{M::PushRequest{payload, token}}, *connection,
                                [=, this](const auto&) { closeConnection(connection); });
        }
    });
    connection->start();
}

std::optional<net::BrowseResult> SyncEngine::endpointFor(const PairedDeviceRecord& record) const {
    if (record.endpointDescription && m_endpointByDescription.contains(*record.endpointDescription)) {
        return m_endpointByDescription.value(*record.endpointDescription);
    }
    for (auto it = m_endpointByPeerID.constBegin(); it != m_endpointByPeerID.constEnd(); ++it) {
        if (it.key().contains(record.deviceName)) {
            return it.value();
        }
    }
    return std::nullopt;
}

void SyncEngine::pullFromAllPeers() {
    runOnQueue([this] {
        if (!m_requirePIN) {
            autoSyncWithAllPeers(true);
            return;
        }
        for (const PairedDeviceRecord& record : m_pairing.pairedDevices()) {
            if (const std::optional<net::BrowseResult> endpoint = endpointFor(record)) {
                pull(0, record.token, *endpoint);
            }
        }
    });
}

void SyncEngine::pushClip(const ClipItem& item) {
    runOnQueue([this, item] {
        if (!m_isRunning || !m_store) {
            return;
        }
        const SyncClipPayload payload = SyncClipPayload::encode(item);
        if (m_requirePIN) {
            for (const PairedDeviceRecord& record : m_pairing.pairedDevices()) {
                if (const std::optional<net::BrowseResult> endpoint = endpointFor(record)) {
                    push(payload, record.token, *endpoint);
                }
            }
            return;
        }
        for (auto it = m_endpointByPeerID.constBegin(); it != m_endpointByPeerID.constEnd(); ++it) {
            if (!m_selfPeerIDs.contains(it.key())) {
                push(payload, SyncConstants::lanTrustToken, it.value());
            }
        }
    });
}

// One pairing exchange: health, then pairRequest, on one connection.
struct SyncEngine::PairingAttempt {
    net::Connection* connection = nullptr;
    DiscoveredPeer peer;
    net::BrowseResult endpoint;
    QString pin;
    PairingCompletion completion;
    bool done = false;
};

void SyncEngine::pair(const DiscoveredPeer& peer, const QString& pin, PairingCompletion completion) {
    runOnQueue([this, peer, pin, completion] {
        if (!m_endpointByPeerID.contains(peer.id)) {
            completion(std::make_shared<SyncError>(SyncError::connectionFailed()));
            return;
        }
        auto attempt = std::make_shared<PairingAttempt>();
        attempt->peer = peer;
        attempt->endpoint = m_endpointByPeerID.value(peer.id);
        attempt->pin = pin;
        attempt->completion = completion;
        attempt->connection = openConnection(attempt->endpoint);
        attempt->connection->setStateHandler(
            [this, attempt](net::Connection::State state, const std::optional<net::NetworkError>& error) {
                if (state == net::Connection::State::failed) {
                    finishPairing(*attempt, std::make_shared<net::NetworkError>(error.value_or(
                                                net::NetworkError(SyncError::connectionFailed().description()))));
                } else if (state == net::Connection::State::ready) {
                    pairingSendHealth(attempt);
                }
            });
        attempt->connection->start();
    });
}

void SyncEngine::finishPairing(PairingAttempt& attempt, const PairingResult& result) {
    if (std::exchange(attempt.done, true)) {
        return;
    }
    closeConnection(attempt.connection);
    attempt.completion(result);
}

void SyncEngine::pairingSendHealth(const std::shared_ptr<PairingAttempt>& attempt) {
    SyncWireCodec::send(M{M::Health{}}, *attempt->connection, [this, attempt](const std::optional<net::NetworkError>& sent) {
        if (sent) {
            finishPairing(*attempt, std::make_shared<net::NetworkError>(*sent));
            return;
        }
        SyncWireCodec::receive(*attempt->connection, [this, attempt](const SyncWireCodec::Received& received) {
            if (received.error) {
                finishPairing(*attempt, received.error);
                return;
            }
            const auto* health = std::get_if<M::HealthResponse>(&received.message->value);
            if (!health) {
                finishPairing(*attempt, std::make_shared<SyncError>(SyncError::connectionFailed()));
                return;
            }
            pairingSendRequest(attempt, health->deviceId, health->deviceName);
        });
    });
}

void SyncEngine::pairingSendRequest(const std::shared_ptr<PairingAttempt>& attempt, const QString& remoteId,
                                    const QString& remoteName) {
    const M request{M::PairRequest{attempt->pin, m_options.deviceId(), m_deviceName}};
    SyncWireCodec::send(request, *attempt->connection, [=, this](const std::optional<net::NetworkError>& sent) {
        if (sent) {
            finishPairing(*attempt, std::make_shared<net::NetworkError>(*sent));
            return;
        }
        SyncWireCodec::receive(*attempt->connection, [=, this](const SyncWireCodec::Received& reply) {
            finishPairing(*attempt, pairingOutcome(*attempt, reply, remoteId, remoteName));
        });
    });
}

SyncEngine::PairingResult SyncEngine::pairingOutcome(const PairingAttempt& attempt,
                                                     const SyncWireCodec::Received& reply,
                                                     const QString& remoteId, const QString& remoteName) {
    const auto failed = [](const QString& text) {
        return PairingResult(std::make_shared<SyncError>(SyncError::pairingFailed(text)));
    };
    if (reply.error) {
        return reply.error;
    }
    if (const auto* refusal = std::get_if<M::ErrorReply>(&reply.message->value)) {
        return failed(refusal->message);
    }
    const auto* response = std::get_if<M::PairResponse>(&reply.message->value);
    if (!response) {
        return failed(QStringLiteral("无效响应"));
    }
    if (!response->token) {
        return failed(response->error.value_or(QStringLiteral("配对失败")));
    }
    const PairedDeviceRecord record{remoteId, remoteName, *response->token, m_options.clock(),
                                    std::nullopt, attempt.peer.endpointDescription};
    m_pairing.storeToken(*response->token, remoteId, remoteName);
    m_peerStore.upsertPairedDevice(record);
    publishPairings();
    pull(0, *response->token, attempt.endpoint);
    return record;
}

} // namespace tessik
