// The attachment janitor: which files a sweep removes, and the sweeps the
// controller runs at start-up and after clearing, deleting and lowering the
// limit.
#include "AppTestSupport.h"
#include "TestEnvironment.h"
#include "app/AttachmentJanitor.h"
#include "app/IOSAppState.h"
#include "platform/InMemoryPasteboard.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace tessik;

namespace {

// Writes a file whose last change lies `age` seconds before `now`.
void writeFile(const QString& folder, const QString& name, TimePoint now, double age) {
    QFile file(folder + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("bytes of " + name.toUtf8());
    QVERIFY(file.flush());  // a write at close would set the time again
    const auto modified = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((now - age) * 1000));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestAttachmentJanitor : public QObject {
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_fixture;
    InMemoryPasteboard m_pasteboard;

    std::unique_ptr<IOSAppState> makeState() {
        IOSAppState::Options options;
        options.pasteboard = &m_pasteboard;
        options.attachmentsDir = m_fixture->attachments();
        options.clock = [this] { return m_fixture->now; };
        return std::make_unique<IOSAppState>(m_fixture->store, options);
    }

private Q_SLOTS:
    void init() {
        UserDefaults::open()->clear();
        m_fixture = std::make_unique<StoreFixture>();
    }

    void cleanup() { m_fixture.reset(); }

    void sweepRemovesOnlyOldUnnamedFiles() {
        const QString folder = m_fixture->attachments();
        m_fixture->add(QStringLiteral("image clip"), false, QStringLiteral("named.png"),
                       QStringLiteral("named-thumb.jpg"));
        const TimePoint now = m_fixture->now + 1000;
        writeFile(folder, QStringLiteral("named.png"), now, 3600);
        writeFile(folder, QStringLiteral("named-thumb.jpg"), now, 3600);
        writeFile(folder, QStringLiteral("orphan.png"), now, 3600);
        writeFile(folder, QStringLiteral("a minute old.rtf"), now, 60);
        writeFile(folder, QStringLiteral(".hidden orphan"), now, 120);
        writeFile(folder, QStringLiteral("fresh.png"), now, 59);   // a capture about to store it
        writeFile(folder, QStringLiteral("shown.png"), now, 3600);  // named by a listed favourite
        QVERIFY(QDir(folder).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::link(folder + QStringLiteral("/orphan.png"), folder + QStringLiteral("/link")));

        const QStringList removed = AttachmentJanitor::sweep(*m_fixture->store, folder, now,
                                                             {QStringLiteral("shown.png")});
        QCOMPARE(QSet<QString>(removed.begin(), removed.end()),
                 QSet<QString>({"orphan.png", "a minute old.rtf", ".hidden orphan"}));
        QCOMPARE(filesIn(folder),
                 QStringList({"fresh.png", "link", "named-thumb.jpg", "named.png", "shown.png"}));
        QVERIFY(QDir(folder).exists(QStringLiteral("folder")));
    }

    // When the rows cannot be read, nothing is known to be unnamed.
    void sweepRemovesNothingWhenTheStoreFails() {
        const QString folder = m_fixture->attachments();
        const TimePoint now = m_fixture->now;
        writeFile(folder, QStringLiteral("orphan.png"), now, 3600);
        m_fixture->breakHistoryTable();
        QVERIFY_THROWS_EXCEPTION(Error, AttachmentJanitor::sweep(*m_fixture->store, folder, now));
        QCOMPARE(filesIn(folder), QStringList({"orphan.png"}));

        AttachmentJanitor janitor(m_fixture->store, folder, [now] { return now; });
        QSignalSpy swept(&janitor, &AttachmentJanitor::swept);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Attachment janitor: ")));
        janitor.request();
        QVERIFY(swept.wait());
        QCOMPARE(swept.first().first().toStringList(), QStringList());
        QCOMPARE(filesIn(folder), QStringList({"orphan.png"}));
    }

    void requestsDuringASweepAreFoldedIntoOneMore() {
        const QString folder = m_fixture->attachments();
        const TimePoint now = m_fixture->now;
        AttachmentJanitor janitor(m_fixture->store, folder, [now] { return now; });
        QSignalSpy swept(&janitor, &AttachmentJanitor::swept);
        janitor.request();
        QVERIFY(janitor.isSweeping());
        writeFile(folder, QStringLiteral("left by the first.png"), now, 3600);
        janitor.request();
        janitor.request();
        QTRY_COMPARE(swept.count(), 2);
        QTest::qWait(50);
        QCOMPARE(swept.count(), 2);
        QVERIFY(!janitor.isSweeping());
        QCOMPARE(filesIn(folder), QStringList());
    }

    // The controller sweeps at start-up and after the operations that drop
    // clips; files of clips that stay, and fresh files, survive.
    void controllerSweepsAfterDroppingClips_data() {
        QTest::addColumn<QString>("operation");
        QTest::newRow("clear") << "clear";
        QTest::newRow("delete") << "delete";
        QTest::newRow("lower the limit") << "limit";
    }

    void controllerSweepsAfterDroppingClips() {
        QFETCH(QString, operation);
        const QString folder = m_fixture->attachments();
        for (int i = 0; i < 150; ++i) {
            m_fixture->add(QStringLiteral("filler %1").arg(i));
        }
        const ClipItem dropped = m_fixture->add(QStringLiteral("dropped image"), false,
                                                QStringLiteral("dropped.png"),
                                                QStringLiteral("dropped-thumb.jpg"));
        // The oldest clip of all, so that lowering the limit prunes it.
        m_fixture->store->dbQueue().write([&](sqlite::Connection& db) {
            db.prepare(QStringLiteral("UPDATE clip_items SET createdAt = 1 WHERE id = ?"))
                .bind(1, uuidText(dropped.id))
                .run();
        });
        m_fixture->add(QStringLiteral("pinned image"), true, QStringLiteral("pinned.png"),
                       QStringLiteral("pinned-thumb.jpg"));
        const TimePoint now = m_fixture->now;
        for (const char* name : {"dropped.png", "dropped-thumb.jpg", "pinned.png", "pinned-thumb.jpg",
                                 "left by a crash.png"}) {
            writeFile(folder, QString::fromLatin1(name), now, 3600);
        }

        const auto state = makeState();
        QSignalSpy swept(&state->attachmentJanitor(), &AttachmentJanitor::swept);
        QVERIFY(swept.wait());
        QCOMPARE(swept.first().first().toStringList(), QStringList({"left by a crash.png"}));

        writeFile(folder, QStringLiteral("being captured.png"), now, 1);
        if (operation == QLatin1String("clear")) {
            state->clearUnpinned();
        } else if (operation == QLatin1String("delete")) {
            state->deleteClip(*m_fixture->store->clip(dropped.id));
        } else {
            state->setHistoryLimit(100);
        }
        QVERIFY(!m_fixture->store->clip(dropped.id));
        QVERIFY(swept.wait());
        const QStringList removed = swept.last().first().toStringList();
        QCOMPARE(QSet<QString>(removed.begin(), removed.end()),
                 QSet<QString>({"dropped.png", "dropped-thumb.jpg"}));
        QCOMPARE(filesIn(folder),
                 QStringList({"being captured.png", "pinned-thumb.jpg", "pinned.png"}));
    }

    // Clips pruned by new captures: their files go with the next sweep after
    // a store change, at most one per interval.
    void storeChangesSweepNowAndThen() {
        const QString folder = m_fixture->attachments();
        const auto state = makeState();
        QSignalSpy swept(&state->attachmentJanitor(), &AttachmentJanitor::swept);
        QVERIFY(swept.wait());  // the start-up sweep
        writeFile(folder, QStringLiteral("pruned.png"), m_fixture->now, 3600);

        m_fixture->now += IOSAppState::kChangeSweepInterval - 1;
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        QVERIFY(!swept.wait(300));
        QCOMPARE(filesIn(folder), QStringList({"pruned.png"}));

        m_fixture->now += 1;
        NotificationCenter::defaultCenter().post(NotificationCenter::clipStoreDidChange);
        QVERIFY(swept.wait());
        QCOMPARE(swept.last().first().toStringList(), QStringList({"pruned.png"}));
    }
};

int main(int argc, char* argv[]) {
    TestEnvironment env;
    QGuiApplication app(argc, argv);
    NotificationCenter::defaultCenter();
    TestAttachmentJanitor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_attachmentjanitor.moc"
