#include "PasteboardMonitor.h"

#include <QBuffer>

#include <cmath>

namespace tessik {

namespace {

// One suppression window for the whole process; touched on the main thread
// only.
struct Suppression {
    std::optional<TimePoint> until;
    Clock clock = &tessik::now;
};

Suppression& suppression() {
    static Suppression shared;
    return shared;
}

QByteArray pngEncoding(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return QByteArray();
    }
    return bytes;
}

} // namespace

PasteboardMonitor::PasteboardMonitor(Pasteboard& pasteboard, double interval, QObject* parent)
    : QObject(parent),
      m_pasteboard(pasteboard),
      m_interval(interval),
      m_lastChangeCount(pasteboard.changeCount()) {
    m_timer.setTimerType(Qt::PreciseTimer);
    // The timer is a member: a tick can never reach a monitor that is gone.
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(false); });
}

void PasteboardMonitor::start() {
    m_timer.stop();
    m_lastChangeCount = m_pasteboard.changeCount();
    m_timer.start(std::max(1, static_cast<int>(std::lround(m_interval * 1000.0))));
}

void PasteboardMonitor::stop() {
    m_timer.stop();
}

void PasteboardMonitor::suppress(double seconds) {
    Suppression& window = suppression();
    window.until = window.clock() + seconds;
}

void PasteboardMonitor::setClock(Clock clock) {
    suppression().clock = clock ? std::move(clock) : Clock(&tessik::now);
}

void PasteboardMonitor::poll(bool forced) {
    Suppression& window = suppression();
    if (window.until) {
        if (window.clock() < *window.until) {
            m_lastChangeCount = m_pasteboard.changeCount();
            return;
        }
        window.until.reset();
    }
    const qint64 count = m_pasteboard.changeCount();
    if (!forced && count == m_lastChangeCount) {
        return;
    }
    m_lastChangeCount = count;
    std::optional<CapturedClip> clip = captureCurrent();
    if (clip && onCapture) {
        onCapture(*clip);
    }
}

bool PasteboardMonitor::isConcealed() const {
    if (m_pasteboard.data(PasteboardType::concealed)) {
        return true;
    }
    const std::optional<QByteArray> hint = m_pasteboard.data(PasteboardType::passwordManagerHint);
    return hint && hint->trimmed() == "secret";
}

std::optional<CapturedClip> PasteboardMonitor::captureCurrent() const {
    if (isConcealed()) {
        return std::nullopt;
    }

    QList<QUrl> files;
    for (const QUrl& url : m_pasteboard.urls()) {
        if (url.isLocalFile()) {
            files.append(url);
        }
    }
    if (!files.isEmpty()) {
        return CapturedClip::fromFileURLs(files);
    }

    for (const QString& type : {PasteboardType::compuserveGif, PasteboardType::gif,
                                PasteboardType::png, PasteboardType::jpeg}) {
        // An owner that fails to convert its data hands over no bytes: that
        // is no image, and reading on finds what else it offers.
        const std::optional<QByteArray> bytes = m_pasteboard.data(type);
        if (bytes && !bytes->isEmpty()) {
            return CapturedClip::fromImageData(*bytes);
        }
    }

    if (const std::optional<QImage> image = m_pasteboard.image()) {
        const QByteArray png = pngEncoding(*image);
        if (!png.isEmpty()) {
            return CapturedClip::fromImageData(png);
        }
    }

    const std::optional<QString> text = m_pasteboard.string();
    std::optional<QByteArray> richData = m_pasteboard.data(PasteboardType::rtf);
    if (!richData) {
        richData = m_pasteboard.data(PasteboardType::html);
    }
    if (text) {
        return CapturedClip::fromText(*text, richData);
    }
    if (richData) {
        return CapturedClip::fromRichDataOnly(*richData);
    }

    if (const std::optional<QUrl> url = m_pasteboard.url()) {
        if (url->scheme().startsWith(QLatin1String("http"))) {
            return CapturedClip::fromWebAddress(*url);
        }
    }
    return std::nullopt;
}

} // namespace tessik
