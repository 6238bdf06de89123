#include "InProcessDiscovery.h"

#include <QMutex>

#include <map>

namespace tessik::net {

namespace {

// The services and browsers of the whole process.
class Registry {
public:
    static Registry& instance() {
        static Registry registry;
        return registry;
    }

    int addService(const BrowseResult& service) {
        QMutexLocker lock(&m_mutex);
        const int id = ++m_next;
        m_services.emplace(id, service);
        notifyAll();
        return id;
    }

    void removeService(int id) {
        QMutexLocker lock(&m_mutex);
        m_services.erase(id);
        notifyAll();
    }

    int addBrowser(QObject* context, Discovery::ResultsHandler handler,
                   const std::function<void(QObject*, std::function<void()>)>& post) {
        QMutexLocker lock(&m_mutex);
        const int id = ++m_next;
        m_browsers.emplace(id, Browser{context, std::move(handler), post});
        notify(m_browsers.at(id));
        return id;
    }

    void removeBrowser(int id) {
        QMutexLocker lock(&m_mutex);
        m_browsers.erase(id);
    }

private:
    struct Browser {
        QObject* context;
        Discovery::ResultsHandler handler;
        std::function<void(QObject*, std::function<void()>)> post;
    };

    void notify(const Browser& browser) {
        QList<BrowseResult> results;
        for (const auto& [id, service] : m_services) {
            results.append(service);
        }
        browser.post(browser.context, [handler = browser.handler, results] { handler(results); });
    }

    void notifyAll() {
        for (const auto& [id, browser] : m_browsers) {
            notify(browser);
        }
    }

    QMutex m_mutex;
    int m_next = 0;
    std::map<int, BrowseResult> m_services;
    std::map<int, Browser> m_browsers;
};

class Handle : public DiscoveryHandle {
public:
    explicit Handle(std::function<void()> release) : m_release(std::move(release)) {}
    ~Handle() override { m_release(); }

private:
    std::function<void()> m_release;
};

} // namespace

std::unique_ptr<DiscoveryHandle> InProcessDiscovery::advertise(const QString& name, quint16 port,
                                                               QObject*, FailureHandler) {
    const QString host = QStringLiteral("127.0.0.1");
    const int id = Registry::instance().addService(
        {name, QStringLiteral("%1@%2:%3").arg(name, host).arg(port), host, port});
    return std::make_unique<Handle>([id] { Registry::instance().removeService(id); });
}

std::unique_ptr<DiscoveryHandle> InProcessDiscovery::browse(QObject* context,
                                                            ResultsHandler onResults,
                                                            FailureHandler) {
    const int id = Registry::instance().addBrowser(context, std::move(onResults), &Discovery::post);
    return std::make_unique<Handle>([id] { Registry::instance().removeBrowser(id); });
}

} // namespace tessik::net
