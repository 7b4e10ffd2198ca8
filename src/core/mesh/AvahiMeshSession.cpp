#include "core/mesh/AvahiMeshSession.h"

#include "core/mesh/AvahiPoll.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <net/if.h>

namespace lumora {

namespace {

MeshStatus failure(int error) {
    return {"mesh.failed", QString::fromUtf8(avahi_strerror(error))};
}

// "Peer One._lumora._tcp.local. on lo (IPv4)": readable, so the service name is not escaped.
QString describe(AvahiIfIndex interface, AvahiProtocol protocol, const char* name, const char* type,
                 const char* domain) {
    char buffer[IF_NAMESIZE] = {};
    const QString where = if_indextoname(unsigned(interface), buffer)
                              ? QString::fromLocal8Bit(buffer)
                              : QStringLiteral("interface %1").arg(interface);
    return QStringLiteral("%1.%2.%3. on %4 (%5)")
        .arg(QString::fromUtf8(name), QString::fromUtf8(type), QString::fromUtf8(domain), where,
             QString::fromLatin1(avahi_proto_to_string(protocol)));
}

// How many of our Avahi callbacks are running on this thread.
thread_local int callbackDepth = 0;

struct CallbackScope {
    CallbackScope() { ++callbackDepth; }
    ~CallbackScope() { --callbackDepth; }
    Q_DISABLE_COPY_MOVE(CallbackScope)
};

} // namespace

struct AvahiMeshCallbacks {
    static void client(AvahiClient* client, AvahiClientState state, void* userdata) {
        const CallbackScope scope;
        auto* session = static_cast<AvahiMeshSession*>(userdata);
        // This may run inside avahi_client_new, before it has returned the pointer.
        session->m_client = client;
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            session->clientRunning();
            break;
        case AVAHI_CLIENT_S_REGISTERING:
        case AVAHI_CLIENT_S_COLLISION:
            // The daemon is (re)claiming its host name; our records go back once it runs again.
            if (session->m_group)
                avahi_entry_group_reset(session->m_group);
            session->report(false, true, MeshStatus{"mesh.registering"});
            break;
        case AVAHI_CLIENT_CONNECTING:
            session->report(true, true, MeshStatus{"mesh.waitingForDaemon"});
            break;
        case AVAHI_CLIENT_FAILURE:
            session->clientLost();
            break;
        }
    }

    static void browser(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                        AvahiLookupResultFlags, void* userdata) {
        const CallbackScope scope;
        auto* session = static_cast<AvahiMeshSession*>(userdata);
        switch (event) {
        case AVAHI_BROWSER_NEW: {
            const QString service = QString::fromUtf8(name);
            session->m_results[{interface, protocol, service}] =
                MeshPeer{service, service, describe(interface, protocol, name, type, domain)};
            session->publishPeers();
            break;
        }
        case AVAHI_BROWSER_REMOVE:
            if (session->m_results.erase({interface, protocol, QString::fromUtf8(name)}))
                session->publishPeers();
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
            // Also settles the list when nothing is out there, and after a restart drops peers
            // that left meanwhile.
            session->publishPeers();
            break;
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        case AVAHI_BROWSER_FAILURE:
            session->report(true, false,
                            failure(avahi_client_errno(avahi_service_browser_get_client(browser))));
            break;
        }
    }

    static void group(AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata) {
        const CallbackScope scope;
        auto* session = static_cast<AvahiMeshSession*>(userdata);
        session->m_group = group;
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            session->report(false, true, MeshStatus{"mesh.ready"});
            break;
        case AVAHI_ENTRY_GROUP_REGISTERING:
            session->report(false, true, MeshStatus{"mesh.registering"});
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Someone else on the network holds the name: take the next one ("Lumora #2").
            session->rename();
            avahi_entry_group_reset(group);
            session->addService();
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            session->report(false, true, failure(avahi_client_errno(avahi_entry_group_get_client(group))));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
            break;
        }
    }
};

AvahiMeshSession::AvahiMeshSession(const QString& serviceType, QObject* parent)
    : QObject(parent)
    , m_type(serviceType.toUtf8())
    , m_poll(new AvahiQtPoll(this)) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(2000);
    connect(&m_retry, &QTimer::timeout, this, &AvahiMeshSession::connectClient);
}

// Freeing the client frees its browser and entry group, and with them our advertisement.
AvahiMeshSession::~AvahiMeshSession() {
    if (m_client)
        avahi_client_free(m_client);
}

void AvahiMeshSession::release() {
    // Until it goes, a deferred session must not bring anything back.
    m_browsing = false;
    m_advertising = false;
    m_retry.stop();
    if (callbackDepth > 0)
        deleteLater();
    else
        delete this;
}

void AvahiMeshSession::browse() {
    m_browsing = true;
    if (!m_client) {
        if (m_retry.isActive())
            report(true, false, *m_clientError);
        else
            connectClient();
    } else if (avahi_client_get_state(m_client) == AVAHI_CLIENT_S_RUNNING) {
        if (!m_browser)
            createBrowser();
    } else {
        report(true, false, MeshStatus{"mesh.waitingForDaemon"});
    }
}

void AvahiMeshSession::advertise(const QString& name, quint16 port) {
    m_advertising = true;
    m_name = name.toUtf8();
    m_port = port;
    if (!m_client) {
        if (m_retry.isActive())
            report(false, true, *m_clientError);
        else
            connectClient();
    } else if (avahi_client_get_state(m_client) == AVAHI_CLIENT_S_RUNNING) {
        if (!m_group)
            createGroup();
    } else {
        report(false, true, MeshStatus{"mesh.waitingForDaemon"});
    }
}

// NO_FAIL: with the bus up but no daemon, the client waits for the daemon instead of failing.
void AvahiMeshSession::connectClient() {
    int error = 0;
    AvahiClient* client =
        avahi_client_new(m_poll->api(), AVAHI_CLIENT_NO_FAIL, &AvahiMeshCallbacks::client, this, &error);
    m_client = client;
    if (client)
        return;
    // Without even a system bus: say so once, then keep trying quietly.
    const MeshStatus status = failure(error);
    if (status != m_clientError)
        report(true, true, status);
    m_clientError = status;
    m_retry.start();
}

void AvahiMeshSession::clientRunning() {
    m_clientError.reset();
    if (m_browsing && !m_browser)
        createBrowser();
    if (m_advertising) {
        if (!m_group)
            createGroup();
        else if (avahi_entry_group_is_empty(m_group))
            addService();
    }
}

// The daemon went away. Its browser and entry group died with the connection, and what they saw
// is gone too. The client cannot be freed inside its own callback, so the fresh one comes next turn.
void AvahiMeshSession::clientLost() {
    report(true, true, failure(avahi_client_errno(m_client)));
    m_browser = nullptr;
    m_group = nullptr;
    if (!m_results.empty()) {
        m_results.clear();
        publishPeers();
    }
    if (m_reconnectPending)
        return;
    m_reconnectPending = true;
    QMetaObject::invokeMethod(this, &AvahiMeshSession::reconnect, Qt::QueuedConnection);
}

void AvahiMeshSession::reconnect() {
    m_reconnectPending = false;
    if (!m_browsing && !m_advertising)
        return;
    if (m_client)
        avahi_client_free(m_client);
    m_client = nullptr;
    connectClient();
}

void AvahiMeshSession::createBrowser() {
    m_browser = avahi_service_browser_new(m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, m_type.constData(),
                                          nullptr, AvahiLookupFlags(0), &AvahiMeshCallbacks::browser, this);
    report(true, false, m_browser ? MeshStatus{"mesh.ready"} : failure(avahi_client_errno(m_client)));
}

void AvahiMeshSession::createGroup() {
    m_group = avahi_entry_group_new(m_client, &AvahiMeshCallbacks::group, this);
    if (m_group)
        addService();
    else
        report(false, true, failure(avahi_client_errno(m_client)));
}

void AvahiMeshSession::addService() {
    int error = AVAHI_ERR_COLLISION;
    // A name already held on this very daemon is refused here rather than reported later.
    while (error == AVAHI_ERR_COLLISION) {
        error = avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                              AvahiPublishFlags(0), m_name.constData(), m_type.constData(),
                                              nullptr, nullptr, m_port, static_cast<const char*>(nullptr));
        if (error == AVAHI_ERR_COLLISION)
            rename();
    }
    if (error == AVAHI_OK)
        error = avahi_entry_group_commit(m_group);
    if (error != AVAHI_OK)
        report(false, true, failure(error));
}

void AvahiMeshSession::rename() {
    char* next = avahi_alternative_service_name(m_name.constData());
    m_name = next;
    avahi_free(next);
    report(false, true, {"mesh.renamed", QString::fromUtf8(m_name)});
}

void AvahiMeshSession::report(bool browse, bool advertise, MeshStatus status) {
    if (browse && m_browsing) {
        status.scope = "mesh.browse";
        Q_EMIT statusChanged(status);
    }
    if (advertise && m_advertising) {
        status.scope = "mesh.advertise";
        Q_EMIT statusChanged(status);
    }
}

void AvahiMeshSession::publishPeers() {
    QList<MeshPeer> peers;
    peers.reserve(qsizetype(m_results.size()));
    for (const auto& [key, peer] : m_results)
        peers.append(peer);
    Q_EMIT peersChanged(peers);
}

} // namespace lumora
