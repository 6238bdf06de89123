#include "AttachmentJanitor.h"

#include "platform/AttachmentFiles.h"
#include "platform/Error.h"
#include "platform/Logging.h"
#include "store/ClipStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessik {

AttachmentJanitor::AttachmentJanitor(std::shared_ptr<ClipStore> store, QString folder, Clock clock,
                                     QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_folder(std::move(folder)),
      m_clock(std::move(clock)) {
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("tessik.attachments.janitor"));
}

AttachmentJanitor::~AttachmentJanitor() {
    // The worker refers to this object when it reports; its report, queued to
    // an object about to go, is dropped with it.
    m_pool.waitForDone();
}

void AttachmentJanitor::request() {
    if (m_running) {
        m_again = true;
        return;
    }
    start();
}

void AttachmentJanitor::start() {
    m_running = true;
    m_again = false;
    const QSet<QString> extra = m_extraNames ? m_extraNames() : QSet<QString>();
    const TimePoint current = m_clock();
    m_pool.start([this, store = m_store, folder = m_folder, current, extra] {
        QStringList removed;
        QString failure;
        bool failed = false;
        try {
            removed = sweep(*store, folder, current, extra);
        } catch (const Error& error) {
            failed = true;
            failure = error.description();
        } catch (const std::exception& error) {
            failed = true;
            failure = QString::fromLocal8Bit(error.what());
        }
        if (failed) {
            qCWarning(lcTessik, "%s",
                      qUtf8Printable(QStringLiteral("Attachment janitor: ") + failure));
        }
        QMetaObject::invokeMethod(
            this, [this, removed] { finished(removed); }, Qt::QueuedConnection);
    });
}

void AttachmentJanitor::finished(const QStringList& removed) {
    m_running = false;
    Q_EMIT swept(removed);
    if (m_again) {
        start();
    }
}

QStringList AttachmentJanitor::sweep(ClipStore& store, const QString& folder, TimePoint now,
                                     const QSet<QString>& extraNames) {
    // The folder is listed before the rows are read: a file that is named by
    // the time the rows are read is then always kept.
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    QList<QFileInfo> candidates;
    for (const QFileInfo& entry : entries) {
        const double modified =
            static_cast<double>(entry.lastModified().toMSecsSinceEpoch()) / 1000.0;
        if (now - modified >= kMinimumAge && AttachmentFiles::isSafeName(entry.fileName())) {
            candidates.append(entry);
        }
    }
    if (candidates.isEmpty()) {
        return {};
    }
    const QSet<QString> named = store.attachmentNames();
    QStringList removed;
    for (const QFileInfo& candidate : std::as_const(candidates)) {
        const QString name = candidate.fileName();
        if (!named.contains(name) && !extraNames.contains(name) &&
            QFile::remove(candidate.filePath())) {
            removed.append(name);
        }
    }
    return removed;
}

} // namespace tessik
