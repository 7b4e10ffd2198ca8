#include "core/mesh/LocalMeshService.h"

#include "core/mesh/AvahiMeshSession.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace lumora {

LocalMeshService::LocalMeshService(QObject* parent)
    : QObject(parent)
    , m_status{"mesh.idle"} {}

LocalMeshService::~LocalMeshService() {
    // Our children go with us; the session must not report into a half-destroyed object.
    if (m_session)
        m_session->disconnect(this);
}

void LocalMeshService::start() {
    setStatus({"mesh.starting"});
    setBrowsing(true);
    setAdvertising(true);
    cancel(); // one advertisement of our name at a time
    startBrowser();
    startListener();
}

void LocalMeshService::stop() {
    setBrowsing(false);
    setAdvertising(false);
    setStatus({"mesh.stopped"});
    setPeers({});
    cancel();
}

void LocalMeshService::startBrowser() {
    m_session = new AvahiMeshSession(QString::fromLatin1(serviceType), this);
    connect(m_session, &AvahiMeshSession::statusChanged, this, &LocalMeshService::setStatus);
    connect(m_session, &AvahiMeshSession::peersChanged, this, &LocalMeshService::setPeers);
    m_session->browse();
}

void LocalMeshService::startListener() {
    if (!m_session) // stop() ran from a slot while the browser was starting
        return;
    m_listener = new QTcpServer(this);
    // Nobody is served here yet: a caller is hung up on before anything is read or written.
    connect(m_listener, &QTcpServer::newConnection, m_listener, [listener = m_listener] {
        while (QTcpSocket* socket = listener->nextPendingConnection()) {
            socket->abort();
            socket->deleteLater();
        }
    });
    if (!m_listener->listen(QHostAddress::Any, 0)) {
        setStatus({"mesh.listenerFailed", m_listener->errorString()});
        setAdvertising(false);
        delete m_listener;
        m_listener = nullptr;
        return;
    }
    m_session->advertise(QString::fromLatin1(serviceName), m_listener->serverPort());
}

void LocalMeshService::cancel() {
    if (m_session) {
        m_session->disconnect(this);
        m_session->release();
        m_session = nullptr;
    }
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
}

void LocalMeshService::setBrowsing(bool browsing) {
    if (browsing == m_browsing)
        return;
    m_browsing = browsing;
    Q_EMIT isBrowsingChanged();
}

void LocalMeshService::setAdvertising(bool advertising) {
    if (advertising == m_advertising)
        return;
    m_advertising = advertising;
    Q_EMIT isAdvertisingChanged();
}

void LocalMeshService::setPeers(const QList<MeshPeer>& peers) {
    if (peers == m_peers)
        return;
    m_peers = peers;
    Q_EMIT discoveredPeersChanged();
}

void LocalMeshService::setStatus(const MeshStatus& status) {
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusMessageChanged();
}

} // namespace lumora
