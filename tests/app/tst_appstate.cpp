// The state controller over a store in a temporary folder and the in-memory
// pasteboard.
#include "AppTestSupport.h"
#include "TestEnvironment.h"
#include "app/IOSAppState.h"
#include "app/TessikIOSApp.h"
#include "capture/ClipCaptureService.h"
#include "platform/IOSAppPreferences.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace tessik;
using namespace std::chrono_literals;

namespace {

InMemoryPasteboard::Content textContent(const QString& text) {
    return {{PasteboardItem{{PasteboardType::utf8PlainText, text.toUtf8()}}}, {}, std::nullopt};
}

QStringList texts(const QList<ClipItem>& clips) {
    QStringList result;
    for (const ClipItem& clip : clips) {
        result.append(clip.plainText.value_or(QString()));
    }
    return result;
}

bool savedHistoryLimitPresent() {
    return UserDefaults::open()->contains(QStringLiteral("historyLimit"));
}

} // namespace

class TestAppState : public QObject {
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_fixture;
    InMemoryPasteboard m_pasteboard;
    ManualScheduler m_scheduler;

    std::unique_ptr<IOSAppState> makeState(bool realTimers = false) {
        IOSAppState::Options options;
        options.pasteboard = &m_pasteboard;
        options.attachmentsDir = m_fixture->attachments();
        if (!realTimers) {
            options.scheduler = m_scheduler.function();
        }
        return std::make_unique<IOSAppState>(m_fixture->store, options);
    }

    QList<ClipItem> stored() { return m_fixture->store->fetchRecent(1000); }

private Q_SLOTS:
    void init() {
        UserDefaults::open()->clear();
        m_fixture = std::make_unique<StoreFixture>();
        m_pasteboard = InMemoryPasteboard();
        m_scheduler = ManualScheduler();
    }

    void cleanup() {
        QCoreApplication::processEvents();  // steps queued by the test's last posts
        m_fixture.reset();
    }

    void startsUpWithTheHistoryLoadedAndTheFirstClipSelected() {
        m_fixture->add(QStringLiteral("older"));
        const ClipItem pinned = m_fixture->add(QStringLiteral("pinned"), true);
        m_fixture->add(QStringLiteral("newest"));
        const auto state = makeState();
        QCOMPARE(texts(state->clips()), QStringList({"pinned", "newest", "older"}));
        QCOMPARE(state->selectedClipID(), pinned.id);
        QCOMPARE(state->property("selectedClipID").toString(), uuidText(pinned.id));
        QCOMPARE(state->isPaused(), false);
        QCOMPARE(state->toastMessage(), std::nullopt);
        QVERIFY(state->captureService());
        QVERIFY(state->captureService()->monitor().isRunning());
    }

    // Capture paused in an earlier run: the service exists but is stopped,
    // and neither a refresh nor becoming active reads the pasteboard until
    // the user resumes.
    void startsPausedFromThePreference() {
        IOSAppPreferences::setIsPausedRecording(true);
        const auto state = makeState();
        TessikIOSApp::refreshWhenActive(*qGuiApp, *state);
        QVERIFY(state->isPaused());
        QVERIFY(state->captureService());
        QVERIFY(!state->captureService()->monitor().isRunning());

        m_pasteboard.copyFromOtherProgram(textContent(QStringLiteral("while paused")));
        state->refreshFromPasteboard();
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QTest::qWait(500);  // longer than a poll interval
        QVERIFY(stored().isEmpty());

        QSignalSpy paused(state.get(), &IOSAppState::isPausedChanged);
        state->togglePause();
        QCOMPARE(paused.count(), 1);
        QVERIFY(!state->isPaused());
        QVERIFY(!IOSAppPreferences::isPausedRecording());
        QVERIFY(state->captureService()->monitor().isRunning());

        // Becoming active reads at once; the store's notification reloads
        // the list in a later step.
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(texts(stored()), QStringList({"while paused"}));
        QCOMPARE(state->clips().size(), 0);
        QTRY_COMPARE(texts(state->clips()), QStringList({"while paused"}));
        QCOMPARE(state->selectedClipID(), state->clips().first().id);

        // Other phases read nothing.
        m_pasteboard.copyFromOtherProgram(textContent(QStringLiteral("inactive")));
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        QCOMPARE(stored().size(), 1);

        state->togglePause();
        QVERIFY(IOSAppPreferences::isPausedRecording());
        QVERIFY(!state->captureService()->monitor().isRunning());
        state->refreshFromPasteboard();
        QCOMPARE(stored().size(), 1);
    }

    void selectionAfterDeleting_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");  // index in the list, -1 for none
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("expected");  // index in the list after deleting, -1 for none
        QTest::newRow("the selected clip goes, the first is selected") << 3 << 1 << 1 << 0;
        QTest::newRow("the selected first clip goes") << 3 << 0 << 0 << 0;
        QTest::newRow("the only clip goes, nothing is selected") << 1 << 0 << 0 << -1;
        QTest::newRow("another clip goes, the selection stays") << 3 << 2 << 0 << 1;
    }

    void selectionAfterDeleting() {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, deleted);
        QFETCH(int, expected);
        for (int i = 0; i < count; ++i) {
            m_fixture->add(QStringLiteral("clip %1").arg(i));
        }
        const auto state = makeState();
        const QList<ClipItem> before = state->clips();
        state->selectClip(before.at(selected));
        QCOMPARE(state->selectedClipID(), before.at(selected).id);

        state->deleteClip(before.at(deleted));
        QCOMPARE(state->clips().size(), count - 1);
        QVERIFY(!state->clips().contains(before.at(deleted)));
        const std::optional<QUuid> want =
            expected < 0 ? std::nullopt : std::optional(state->clips().at(expected).id);
        QCOMPARE(state->selectedClipID(), want);
        QCOMPARE(IOSAppState::clipForSelection(state->selectedClipID(), state->clips()),
                 expected < 0 ? std::nullopt : std::optional(state->clips().at(expected)));
    }

    void clipForSelection() {
        const ClipItem a = m_fixture->add(QStringLiteral("a"));
        const ClipItem b = m_fixture->add(QStringLiteral("b"));
        QCOMPARE(IOSAppState::clipForSelection(std::nullopt, {b, a}), b);
        QCOMPARE(IOSAppState::clipForSelection(a.id, {b, a}), a);
        QCOMPARE(IOSAppState::clipForSelection(QUuid::createUuid(), {b, a}), std::nullopt);
        QCOMPARE(IOSAppState::clipForSelection(std::nullopt, {}), std::nullopt);
    }

    void reloadListsTheSearchResultWhileSearching() {
        m_fixture->add(QStringLiteral("apple pie"));
        m_fixture->add(QStringLiteral("banana"));
        const ClipItem apple = m_fixture->add(QStringLiteral("green apple"));
        const auto state = makeState();
        state->selectClip(state->clips().at(1));
        state->setSearchText(QStringLiteral("  APPLE "));
        state->reload();
        QCOMPARE(texts(state->clips()), QStringList({"green apple", "apple pie"}));
        QCOMPARE(state->selectedClipID(), apple.id);  // banana is no longer listed
        state->setSearchText(QString());
        state->reload();
        QCOMPARE(state->clips().size(), 3);
        QCOMPARE(state->selectedClipID(), apple.id);
    }

    void copyWritesThePasteboardAndConfirms_data() {
        QTest::addColumn<bool>("plainTextOnly");
        QTest::addColumn<QString>("toast");
        QTest::newRow("in full") << false << QStringLiteral("已复制到剪贴板");
        QTest::newRow("text only") << true << QStringLiteral("已复制纯文本");
    }

    void copyWritesThePasteboardAndConfirms() {
        QFETCH(bool, plainTextOnly);
        QFETCH(QString, toast);
        const ClipItem clip = m_fixture->add(QStringLiteral("copy me"));
        const auto state = makeState();
        state->copy(clip, plainTextOnly);
        QCOMPARE(m_pasteboard.string(), QStringLiteral("copy me"));
        QCOMPARE(state->toastMessage(), toast);
        QCOMPARE(m_scheduler.delays.back(), IOSAppState::kToastDuration);
        m_scheduler.advance(IOSAppState::kToastDuration);
        QCOMPARE(state->toastMessage(), std::nullopt);
        // Its own write is not recorded.
        state->refreshFromPasteboard();
        QCOMPARE(stored().size(), 1);
    }

    // A second toast shown 1 s after the first stays its full 1.8 s: the
    // first one's end leaves it alone, also when the text is the same.
    void secondToastStaysItsFullDuration_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("another text") << QStringLiteral("已复制到剪贴板") << QStringLiteral("已复制纯文本");
        QTest::newRow("the same text") << QStringLiteral("已复制到剪贴板") << QStringLiteral("已复制到剪贴板");
    }

    void secondToastStaysItsFullDuration() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const auto state = makeState();
        QSignalSpy changes(state.get(), &IOSAppState::toastMessageChanged);
        state->showToast(first);
        QCOMPARE(state->property("toastMessage").toString(), first);
        m_scheduler.advance(1s);
        state->showToast(second);
        m_scheduler.advance(800ms);  // the first toast's end
        QCOMPARE(state->toastMessage(), second);
        m_scheduler.advance(999ms);
        QCOMPARE(state->toastMessage(), second);
        m_scheduler.advance(1ms);
        QCOMPARE(state->toastMessage(), std::nullopt);
        QCOMPARE(m_scheduler.delays, std::vector<std::chrono::nanoseconds>(2, 1'800'000'000ns));
        QCOMPARE(changes.count(), first == second ? 2 : 3);
    }

    void toastEndsOnTheMainThreadTimer() {
        const auto state = makeState(true);
        QElapsedTimer clock;
        state->showToast(QStringLiteral("first"));
        QTest::qWait(1000);
        state->showToast(QStringLiteral("second"));
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(state->toastMessage(), std::nullopt, 4000);
        QVERIFY2(clock.elapsed() >= 1790, qPrintable(QString::number(clock.elapsed())));
    }

    void setHistoryLimit_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<int>("remaining");  // of 150 clips
        QTest::newRow("300 is not offered") << 300 << false << 150;
        QTest::newRow("0") << 0 << false << 150;
        QTest::newRow("100 prunes") << 100 << true << 100;
        QTest::newRow("1000") << 1000 << true << 150;
    }

    void setHistoryLimit() {
        QFETCH(int, limit);
        QFETCH(bool, applied);
        QFETCH(int, remaining);
        for (int i = 0; i < 150; ++i) {
            m_fixture->add(QStringLiteral("clip %1").arg(i));
        }
        const auto state = makeState();
        QSignalSpy reloads(state.get(), &IOSAppState::clipsChanged);
        state->setHistoryLimit(limit);
        QCOMPARE(savedHistoryLimitPresent(), applied);
        QCOMPARE(state->historyLimit(), applied ? limit : 500);
        QCOMPARE(m_fixture->store->maxItems(), applied ? limit : 500);
        QCOMPARE(stored().size(), remaining);
        QCOMPARE(reloads.count(), applied ? 1 : 0);
        QCOMPARE(state->clips().size(), std::min(remaining, IOSAppState::kListLimit));
    }

    // A pin change reloads at once and again through the notification.
    void pinChangeReloadsTwice() {
        m_fixture->add(QStringLiteral("older"));
        m_fixture->add(QStringLiteral("newest"));
        const auto state = makeState();
        QSignalSpy reloads(state.get(), &IOSAppState::clipsChanged);
        QSignalSpy posted(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        const ClipItem older = state->clips().at(1);

        state->togglePin(older);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(posted.first().first().toString(), NotificationCenter::clipStoreDidChange);
        QCOMPARE(reloads.count(), 1);
        QCOMPARE(texts(state->clips()), QStringList({"older", "newest"}));
        QVERIFY(state->clips().first().isPinned);
        QTRY_COMPARE(reloads.count(), 2);
        QTest::qWait(50);
        QCOMPARE(reloads.count(), 2);

        state->togglePin(state->clips().first());
        QVERIFY(!m_fixture->store->clip(older.id)->isPinned);
    }

    // The notification's later step refers to the controller weakly.
    void notificationAfterTheControllerIsGone() {
        auto state = makeState();
        QSignalSpy destroyed(state.get(), &QObject::destroyed);
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        state.reset();
        QCOMPARE(destroyed.count(), 1);
        QCoreApplication::processEvents();
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        QCoreApplication::processEvents();
    }

    void clearUnpinnedKeepsPinnedClips() {
        m_fixture->add(QStringLiteral("a"));
        m_fixture->add(QStringLiteral("kept"), true);
        m_fixture->add(QStringLiteral("b"));
        const auto state = makeState();
        state->clearUnpinned();
        QCOMPARE(texts(state->clips()), QStringList({"kept"}));
        QCOMPARE(texts(stored()), QStringList({"kept"}));
    }

    // A failing store logs one line with the operation's prefix and leaves
    // the lists and the selection as they were.
    void storeErrorsLeaveThePublishedState_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("reload") << "reload" << "IOSAppState reload: ";
        QTest::newRow("search") << "search" << "IOSAppState reload: ";
        QTest::newRow("pin") << "pin" << "Pin error: ";
        QTest::newRow("delete") << "delete" << "Delete error: ";
        QTest::newRow("limit") << "limit" << "History limit: ";
        QTest::newRow("clear") << "clear" << "Clear: ";
    }

    void storeErrorsLeaveThePublishedState() {
        QFETCH(QString, operation);
        QFETCH(QString, prefix);
        m_fixture->add(QStringLiteral("a"));
        m_fixture->add(QStringLiteral("b"));
        const auto state = makeState();
        state->selectClip(state->clips().at(1));
        const QList<ClipItem> clips = state->clips();
        const auto selected = state->selectedClipID();
        QSignalSpy changes(state.get(), &IOSAppState::clipsChanged);
        QSignalSpy posted(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        m_fixture->breakHistoryTable();

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(prefix) +
                                                QStringLiteral(".*clip_items")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        if (operation == QLatin1String("reload")) {
            state->reload();
        } else if (operation == QLatin1String("search")) {
            state->setSearchText(QStringLiteral("a"));
            state->reload();
        } else if (operation == QLatin1String("pin")) {
            state->togglePin(clips.first());
        } else if (operation == QLatin1String("delete")) {
            state->deleteClip(clips.first());
        } else if (operation == QLatin1String("limit")) {
            state->setHistoryLimit(100);
        } else {
            state->clearUnpinned();
        }
        QCoreApplication::processEvents();
        QCOMPARE(state->clips(), clips);
        QCOMPARE(state->selectedClipID(), selected);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(posted.count(), 0);
    }
};

int main(int argc, char* argv[]) {
    TestEnvironment env;
    QGuiApplication app(argc, argv);
    NotificationCenter::defaultCenter();
    TestAppState test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appstate.moc"
