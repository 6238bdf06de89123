#include "ClipCaptureService.h"

#include "capture/ClipPersistence.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/Logging.h"

#include <QPointer>

namespace tessik {

ClipCaptureService::ClipCaptureService(std::shared_ptr<ClipStore> store, Pasteboard& pasteboard,
                                       double interval, QString attachmentsDir, QObject* parent)
    : QObject(parent),
      m_store(std::move(store)),
      m_attachmentsDir(attachmentsDir.isEmpty() ? AppPaths::attachmentsDirectory()
                                                : std::move(attachmentsDir)),
      m_monitor(pasteboard, interval) {
    m_monitor.onCapture = [service = QPointer<ClipCaptureService>(this)](const CapturedClip& clip) {
        if (service) {
            service->persist(clip);
        }
    };
}

void ClipCaptureService::persist(const CapturedClip& clip) {
    QString description;
    bool failed = true;
    std::optional<ClipItem> recorded;
    try {
        recorded = ClipPersistence::record(clip, *m_store, m_attachmentsDir, now());
        failed = false;
    } catch (const Error& error) {
        description = error.description();
    } catch (const std::exception& error) {
        description = QString::fromLocal8Bit(error.what());
    }
    if (recorded) {
        Q_EMIT clipRecorded(*recorded);
    } else if (failed) {
        qCWarning(lcTessik, "%s",
                  qUtf8Printable(QStringLiteral("ClipCaptureService insert error: ") + description));
    }
}

} // namespace tessik
