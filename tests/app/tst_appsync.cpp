// The controller's local-network sync wiring: new clips reach the other
// devices, whatever sits at the top of the list on screen.
#include "AppTestSupport.h"
#include "TestEnvironment.h"
#include "app/IOSAppState.h"
#include "platform/IOSAppPreferences.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/UserDefaults.h"
#include "sync/SyncCoordinator.h"
#include "sync/SyncEngine.h"
#include "sync/SyncTestPeers.h"

#include <QTest>

using namespace tessik;
using namespace tessik::testing;

namespace {

InMemoryPasteboard::Content textContent(const QString& text) {
    return {{PasteboardItem{{PasteboardType::utf8PlainText, text.toUtf8()}}}, {}, std::nullopt};
}

QStringList pushedTexts(const FakePeer& peer) {
    QStringList texts;
    for (const M& request : peer.requests) {
        if (const auto* push = std::get_if<M::PushRequest>(&request.value)) {
            texts.append(push->clip.item.plainText.value_or(QString()));
        }
    }
    return texts;
}

} // namespace

class TestAppSync : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<StoreFixture> m_fixture;
    std::unique_ptr<SyncPeerStore> m_peers;
    std::shared_ptr<ManualDiscovery> m_discovery;
    std::unique_ptr<SyncEngine> m_engine;
    InMemoryPasteboard m_pasteboard;

    std::unique_ptr<IOSAppState> makeState() {
        IOSAppState::Options options;
        options.pasteboard = &m_pasteboard;
        options.attachmentsDir = m_fixture->attachments();
        options.syncEngine = m_engine.get();
        return std::make_unique<IOSAppState>(m_fixture->store, options);
    }

    void copy(IOSAppState& state, const QString& text) {
        m_pasteboard.copyFromOtherProgram(textContent(text));
        state.refreshFromPasteboard();
    }

private Q_SLOTS:
    void initTestCase() { m_env = std::make_unique<TestEnvironment>(); }

    void init() {
        auto defaults = UserDefaults::open();
        defaults->clear();
        defaults->sync();
        m_fixture = std::make_unique<StoreFixture>();
        m_fixture->now = tessik::now() - 1000;  // clips from before this run
        m_peers = std::make_unique<SyncPeerStore>(m_fixture->dir.filePath(QStringLiteral("sync-config.json")));
        m_discovery = std::make_shared<ManualDiscovery>();
        SyncEngine::Options options;
        options.discovery = m_discovery;
        options.peerStore = m_peers.get();
        options.deviceId = [] { return QStringLiteral("THIS-DEVICE"); };
        m_engine = std::make_unique<SyncEngine>(options);
        m_pasteboard = InMemoryPasteboard();
    }

    void cleanup() {
        QCoreApplication::processEvents();
        m_engine.reset();
        m_fixture.reset();
    }

    void newCopiesReachPeersUnderAPinnedClip() {
        IOSAppPreferences::setSyncEnabled(true);
        m_fixture->add(QStringLiteral("pinned on top"), true);
        FakePeer peer(friendly);
        const auto state = makeState();
        QTRY_COMPARE(state->syncCoordinator()->statusMessage(), QStringLiteral("同步服务已启动（自动同步）"));
        m_discovery->publish({peer.endpoint(QStringLiteral("Peer"))});
        QTRY_COMPARE(peer.pulls().size(), 1);

        copy(*state, QStringLiteral("first copy"));
        QTRY_COMPARE(pushedTexts(peer), QStringList{QStringLiteral("first copy")});
        QCOMPARE(state->clips().first().plainText, std::optional<QString>(QStringLiteral("pinned on top")));
        copy(*state, QStringLiteral("second copy"));
        QTRY_COMPARE(pushedTexts(peer), (QStringList{QStringLiteral("first copy"), QStringLiteral("second copy")}));

        // A pin change reloads the list but brings no new clip: nothing is sent.
        state->togglePin(state->clips().last());
        QTest::qWait(300);
        QCOMPARE(pushedTexts(peer).size(), 2);
    }

    void clipsRecordedWhileSyncIsOffAreNotSentLater() {
        FakePeer peer(friendly);
        const auto state = makeState();
        copy(*state, QStringLiteral("while off"));
        QTRY_COMPARE(state->clips().size(), 1);
        QTest::qWait(100);

        state->syncCoordinator()->setEnabled(true);
        QTRY_COMPARE(state->syncCoordinator()->statusMessage(), QStringLiteral("同步服务已启动（自动同步）"));
        m_discovery->publish({peer.endpoint(QStringLiteral("Peer"))});
        QTRY_COMPARE(peer.pulls().size(), 1);
        state->togglePin(state->clips().first());  // a history change without a new clip
        QTest::qWait(300);
        QVERIFY(pushedTexts(peer).isEmpty());

        copy(*state, QStringLiteral("after switching on"));
        QTRY_COMPARE(pushedTexts(peer), QStringList{QStringLiteral("after switching on")});
    }
};

QTEST_MAIN(TestAppSync)
#include "tst_appsync.moc"
