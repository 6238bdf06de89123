#pragma once

// Pieces the controller and janitor tests share: a store in a temporary
// folder with a movable clock, clips built from texts, and a scheduler that
// runs delayed steps when the test moves its time on.
#include "capture/ContentHasher.h"
#include "favorites/FavoriteStoreMigration.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QDir>
#include <QPointer>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

struct StoreFixture {
    QTemporaryDir dir;
    tessik::TimePoint now = 1'800'000'000.0;
    std::shared_ptr<tessik::ClipStore> store;

    explicit StoreFixture(int maxItems = 500) {
        QDir(dir.path()).mkpath(QStringLiteral("attachments"));
        QList<tessik::Migration> later;
        tessik::FavoriteStoreMigration::registerV2(later);
        store = std::make_shared<tessik::ClipStore>(dir.filePath(QStringLiteral("clips.sqlite")),
                                                    maxItems, later, [this] { return now; });
    }

    QString attachments() const { return dir.filePath(QStringLiteral("attachments")); }

    // Stores a text clip one second after the previous one (newest first in
    // the list).
    tessik::ClipItem add(const QString& text, bool pinned = false,
                         std::optional<QString> imagePath = std::nullopt,
                         std::optional<QString> thumbnailPath = std::nullopt) {
        now += 1;
        const tessik::ClipItem item{QUuid::createUuid(), now,
                                    QStringLiteral("TEST-DEVICE"),
                                    imagePath ? tessik::ContentType::image : tessik::ContentType::plainText,
                                    text,          std::nullopt,
                                    imagePath,     thumbnailPath,
                                    std::nullopt,  std::nullopt,
                                    pinned,        tessik::ContentHasher::hash(text),
                                    text.toUtf8().size()};
        store->insert(item);
        return item;
    }

    // Makes every later statement on the history table fail.
    void breakHistoryTable() {
        store->dbQueue().read([](tessik::sqlite::Connection& db) {
            db.execute(QStringLiteral("DROP TABLE clip_items"));
        });
    }
};

// Delayed steps wait until the test moves the time past them.
class ManualScheduler {
public:
    void schedule(std::chrono::nanoseconds delay, QObject* context, std::function<void()> step) {
        delays.push_back(delay);
        m_steps.push_back({m_now + delay, QPointer<QObject>(context), std::move(step)});
    }

    auto function() {
        return [this](std::chrono::nanoseconds delay, QObject* context, std::function<void()> step) {
            schedule(delay, context, std::move(step));
        };
    }

    // Moves the time on, running every step that falls due, in order.
    void advance(std::chrono::nanoseconds by) {
        const auto until = m_now + by;
        for (;;) {
            auto next = m_steps.end();
            for (auto it = m_steps.begin(); it != m_steps.end(); ++it) {
                if (it->due <= until && (next == m_steps.end() || it->due < next->due)) {
                    next = it;
                }
            }
            if (next == m_steps.end()) {
                break;
            }
            Step step = std::move(*next);
            m_steps.erase(next);
            m_now = step.due;
            if (step.context) {
                step.step();
            }
        }
        m_now = until;
    }

    std::vector<std::chrono::nanoseconds> delays;

private:
    struct Step {
        std::chrono::nanoseconds due;
        QPointer<QObject> context;
        std::function<void()> step;
    };
    std::chrono::nanoseconds m_now{0};
    std::vector<Step> m_steps;
};
