#pragma once

#include "core/mesh/MeshPeer.h"
#include "core/mesh/MeshStatus.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <optional>
#include <tuple>

struct AvahiClient;
struct AvahiServiceBrowser;
struct AvahiEntryGroup;

namespace lumora {

class AvahiQtPoll;

// One run of the local mesh on the Avahi daemon: the client connection, the browser for the
// service type and the entry group that advertises us. When the daemon goes away it reports so,
// forgets what it saw, and rebuilds browser and advertisement once the daemon is back.
// Callbacks arrive on this object's thread.
class AvahiMeshSession : public QObject {
    Q_OBJECT

public:
    explicit AvahiMeshSession(const QString& serviceType, QObject* parent = nullptr);
    ~AvahiMeshSession() override;

    void browse();
    void advertise(const QString& name, quint16 port);
    // Withdraws everything and frees the session: at once, so that the name is free for the next
    // one, unless an Avahi callback is running, which the client must outlive.
    void release();

Q_SIGNALS:
    void statusChanged(const lumora::MeshStatus& status); // scoped to browsing or advertising
    void peersChanged(const QList<lumora::MeshPeer>& peers);

private:
    friend struct AvahiMeshCallbacks;
    // interface index, protocol, service name
    using ResultKey = std::tuple<int, int, QString>;

    void connectClient();
    void clientRunning();
    void clientLost();
    void reconnect();
    void createBrowser();
    void createGroup();
    void addService();
    void rename();
    void report(bool browse, bool advertise, MeshStatus status);
    void publishPeers();

    QByteArray m_type;
    AvahiQtPoll* m_poll;
    AvahiClient* m_client = nullptr;
    AvahiServiceBrowser* m_browser = nullptr;
    AvahiEntryGroup* m_group = nullptr;
    QTimer m_retry; // when even the bus is missing, avahi_client_new fails and we try again later
    std::optional<MeshStatus> m_clientError;
    bool m_browsing = false;
    bool m_advertising = false;
    bool m_reconnectPending = false;
    QByteArray m_name;
    quint16 m_port = 0;
    std::map<ResultKey, MeshPeer> m_results;
};

} // namespace lumora
