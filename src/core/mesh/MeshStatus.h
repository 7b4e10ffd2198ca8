#pragma once

#include <QByteArray>
#include <QString>

namespace lumora {

// A status line of the local mesh, kept as catalogue keys rather than text so that it reads in the
// language in use whenever it is shown, not in the one in use when it happened.
struct MeshStatus {
    MeshStatus() = default;
    MeshStatus(const char* key, QString detail = {})
        : key(key)
        , detail(std::move(detail)) {}

    QByteArray key = "mesh.idle";
    QString detail;   // the key's %1, when it has one (a name, the daemon's own error text)
    QByteArray scope; // "mesh.browse" or "mesh.advertise" when it concerns only that half

    QString text() const;

    friend bool operator==(const MeshStatus&, const MeshStatus&) = default;
};

} // namespace lumora
