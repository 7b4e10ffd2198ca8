#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

namespace lumora {

// A client seen on the local network. The same peer on two interfaces (or over IPv4 and IPv6) is
// two records with the same id.
struct MeshPeer {
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString endpointDescription MEMBER endpointDescription)

public:
    QString id; // equal to name
    QString name;
    QString endpointDescription; // e.g. "Lumora._lumora._tcp.local. on lo (IPv4)"

    friend bool operator==(const MeshPeer&, const MeshPeer&) = default;
};

inline size_t qHash(const MeshPeer& peer, size_t seed = 0) {
    return qHashMulti(seed, peer.id, peer.name, peer.endpointDescription);
}

} // namespace lumora
