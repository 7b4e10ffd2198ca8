#pragma once

#include "core/mesh/MeshPeer.h"
#include "core/mesh/MeshStatus.h"

#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;

namespace lumora {

class AvahiMeshSession;

// Makes this client visible on the local network as "Lumora" (_lumora._tcp) and lists the clients
// visible there, through the Avahi daemon. It only advertises, browses and reports: it connects to
// no peer and closes every incoming connection at once. Only a real change notifies.
// A missing or vanished daemon shows in statusMessage; the service picks up again once it is back.
class LocalMeshService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isBrowsing READ isBrowsing NOTIFY isBrowsingChanged)
    Q_PROPERTY(bool isAdvertising READ isAdvertising NOTIFY isAdvertisingChanged)
    Q_PROPERTY(QList<lumora::MeshPeer> discoveredPeers READ discoveredPeers NOTIFY discoveredPeersChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)

public:
    using MeshPeer = lumora::MeshPeer;

    static constexpr auto serviceName = "Lumora";
    static constexpr auto serviceType = "_lumora._tcp";

    explicit LocalMeshService(QObject* parent = nullptr);
    ~LocalMeshService() override; // unlike stop(), withdraws at once and notifies nobody

    bool isBrowsing() const { return m_browsing; }
    bool isAdvertising() const { return m_advertising; }
    const QList<MeshPeer>& discoveredPeers() const { return m_peers; }
    // In the language in use; statusMessageChanged is also emitted when that language changes.
    QString statusMessage() const { return m_status.text(); }

    // Returns at once; states and peers arrive later on this thread's event loop. A second start()
    // withdraws the previous advertisement and browser before building new ones.
    Q_INVOKABLE void start();
    // Clears the peers at once; harmless when not running.
    Q_INVOKABLE void stop();

Q_SIGNALS:
    void isBrowsingChanged();
    void isAdvertisingChanged();
    void discoveredPeersChanged();
    void statusMessageChanged();

private:
    void setBrowsing(bool browsing);
    void setAdvertising(bool advertising);
    void setPeers(const QList<MeshPeer>& peers);
    void setStatus(const MeshStatus& status);
    void startBrowser();
    void startListener();
    void cancel();

    bool m_browsing = false;
    bool m_advertising = false;
    QList<MeshPeer> m_peers;
    MeshStatus m_status;
    AvahiMeshSession* m_session = nullptr;
    QTcpServer* m_listener = nullptr;
};

} // namespace lumora
