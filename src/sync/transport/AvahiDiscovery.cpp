#include "AvahiDiscovery.h"

#include "sync/SyncConstants.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <map>
#include <tuple>

namespace tessik::net {

namespace {

// "_tessik._tcp" without anything else; Avahi wants the bare type.
QByteArray serviceType() {
    return SyncConstants::serviceType.toUtf8();
}

// An Avahi client on its own poll thread. Subclasses start their work when
// the client is running; every Avahi callback runs on the poll thread with
// the poll's lock held.
class Session : public DiscoveryHandle {
public:
    Session(QObject* context, Discovery::FailureHandler onFailed, void (*post)(QObject*, std::function<void()>))
        : m_context(context), m_post(post), m_onFailed(std::move(onFailed)) {}

    ~Session() override {
        if (m_poll) {
            avahi_threaded_poll_stop(m_poll);
        }
        if (m_client) {
            avahi_client_free(m_client);  // frees its groups, browsers and resolvers
        }
        if (m_poll) {
            avahi_threaded_poll_free(m_poll);
        }
    }

    void open() {
        m_poll = avahi_threaded_poll_new();
        if (!m_poll) {
            fail(QString::fromUtf8(avahi_strerror(AVAHI_ERR_NO_MEMORY)));
            return;
        }
        int error = 0;
        m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), AvahiClientFlags(0),
                                    &Session::clientChanged, this, &error);
        if (!m_client) {
            fail(QString::fromUtf8(avahi_strerror(error)));
            return;
        }
        avahi_threaded_poll_start(m_poll);
    }

protected:
    virtual void running(AvahiClient* client) = 0;

    void fail(const QString& error) {
        if (m_onFailed) {
            m_post(m_context, [handler = m_onFailed, error] { handler(error); });
        }
    }

    QString clientError(AvahiClient* client) {
        return QString::fromUtf8(avahi_strerror(avahi_client_errno(client)));
    }

    QObject* m_context;
    void (*m_post)(QObject*, std::function<void()>);

private:
    static void clientChanged(AvahiClient* client, AvahiClientState state, void* self) {
        auto* session = static_cast<Session*>(self);
        if (state == AVAHI_CLIENT_S_RUNNING) {
            session->running(client);
        } else if (state == AVAHI_CLIENT_FAILURE) {
            session->fail(session->clientError(client));
        }
    }

    Discovery::FailureHandler m_onFailed;
    AvahiThreadedPoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
};

class Advertisement : public Session {
public:
    Advertisement(const QString& name, quint16 port, QObject* context,
                  Discovery::FailureHandler onFailed, void (*post)(QObject*, std::function<void()>))
        : Session(context, std::move(onFailed), post), m_name(name.toUtf8()), m_port(port) {}

private:
    void running(AvahiClient* client) override {
        if (!m_group) {
            m_group = avahi_entry_group_new(client, &Advertisement::groupChanged, this);
            if (!m_group) {
                fail(clientError(client));
                return;
            }
        }
        if (avahi_entry_group_is_empty(m_group)) {
            addService(client);
        }
    }

    void addService(AvahiClient* client) {
        const int rc = avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                     AvahiPublishFlags(0), m_name.constData(),
                                                     serviceType().constData(), nullptr, nullptr,
                                                     m_port, nullptr);
        if (rc == AVAHI_ERR_COLLISION) {
            rename();
            addService(client);
            return;
        }
        if (rc < 0 || avahi_entry_group_commit(m_group) < 0) {
            fail(QString::fromUtf8(avahi_strerror(rc < 0 ? rc : avahi_client_errno(client))));
        }
    }

    // Another device already uses the name: take Avahi's next one ("name #2").
    void rename() {
        char* alternative = avahi_alternative_service_name(m_name.constData());
        m_name = QByteArray(alternative);
        avahi_free(alternative);
    }

    static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        auto* advertisement = static_cast<Advertisement*>(self);
        AvahiClient* client = avahi_entry_group_get_client(group);
        if (state == AVAHI_ENTRY_GROUP_COLLISION) {
            advertisement->rename();
            avahi_entry_group_reset(group);
            advertisement->addService(client);
        } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
            advertisement->fail(advertisement->clientError(client));
        }
    }

    QByteArray m_name;
    quint16 m_port;
    AvahiEntryGroup* m_group = nullptr;
};

class Browse : public Session {
public:
    Browse(QObject* context, Discovery::ResultsHandler onResults,
           Discovery::FailureHandler onFailed, void (*post)(QObject*, std::function<void()>))
        : Session(context, std::move(onFailed), post), m_onResults(std::move(onResults)) {}

private:
    using Key = std::tuple<AvahiIfIndex, AvahiProtocol, QByteArray>;

    void running(AvahiClient* client) override {
        if (m_browser) {
            return;
        }
        m_browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET,
                                              serviceType().constData(), "local",
                                              AvahiLookupFlags(0), &Browse::browsed, this);
        if (!m_browser) {
            fail(clientError(client));
        }
    }

    static void browsed(AvahiServiceBrowser* browser, AvahiIfIndex interface,
                        AvahiProtocol protocol, AvahiBrowserEvent event, const char* name,
                        const char* type, const char* domain, AvahiLookupResultFlags, void* self) {
        auto* browse = static_cast<Browse*>(self);
        AvahiClient* client = avahi_service_browser_get_client(browser);
        switch (event) {
        case AVAHI_BROWSER_NEW:
            // The resolver frees itself in resolved(); the client frees any
            // still running when the handle goes.
            avahi_service_resolver_new(client, interface, protocol, name, type, domain,
                                       AVAHI_PROTO_INET, AvahiLookupFlags(0), &Browse::resolved,
                                       browse);
            break;
        case AVAHI_BROWSER_REMOVE:
            browse->m_found.erase(Key{interface, protocol, QByteArray(name)});
            browse->report();
            break;
        case AVAHI_BROWSER_FAILURE:
            browse->fail(browse->clientError(client));
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    static void resolved(AvahiServiceResolver* resolver, AvahiIfIndex interface,
                         AvahiProtocol protocol, AvahiResolverEvent event, const char* name,
                         const char* type, const char* domain, const char*,
                         const AvahiAddress* address, uint16_t port, AvahiStringList*,
                         AvahiLookupResultFlags, void* self) {
        auto* browse = static_cast<Browse*>(self);
        if (event == AVAHI_RESOLVER_FOUND && address) {
            char text[AVAHI_ADDRESS_STR_MAX];
            avahi_address_snprint(text, sizeof text, address);
            const QString serviceName = QString::fromUtf8(name);
            browse->m_found[Key{interface, protocol, QByteArray(name)}] = BrowseResult{
                serviceName,
                QStringLiteral("%1.%2.%3").arg(serviceName, QString::fromUtf8(type),
                                               QString::fromUtf8(domain)),
                QString::fromUtf8(text), port};
            browse->report();
        }
        avahi_service_resolver_free(resolver);
    }

    // The same service seen on several interfaces is one result.
    void report() {
        QList<BrowseResult> results;
        for (const auto& entry : m_found) {
            const BrowseResult& result = entry.second;
            const bool seen = std::any_of(results.begin(), results.end(), [&](const BrowseResult& r) {
                return r.endpointDescription == result.endpointDescription;
            });
            if (!seen) {
                results.append(result);
            }
        }
        m_post(m_context, [handler = m_onResults, results] { handler(results); });
    }

    Discovery::ResultsHandler m_onResults;
    AvahiServiceBrowser* m_browser = nullptr;
    std::map<Key, BrowseResult> m_found;
};

} // namespace

std::unique_ptr<DiscoveryHandle> AvahiDiscovery::advertise(const QString& name, quint16 port,
                                                           QObject* context,
                                                           FailureHandler onFailed) {
    auto advertisement =
        std::make_unique<Advertisement>(name, port, context, std::move(onFailed), &Discovery::post);
    advertisement->open();
    return advertisement;
}

std::unique_ptr<DiscoveryHandle> AvahiDiscovery::browse(QObject* context, ResultsHandler onResults,
                                                        FailureHandler onFailed) {
    auto browse = std::make_unique<Browse>(context, std::move(onResults), std::move(onFailed),
                                           &Discovery::post);
    browse->open();
    return browse;
}

} // namespace tessik::net
