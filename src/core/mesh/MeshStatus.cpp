#include "core/mesh/MeshStatus.h"

#include "core/settings/TextCatalogue.h"

namespace lumora {

QString MeshStatus::text() const {
    const QString line =
        detail.isNull() ? catalogueText(key.constData()) : catalogueText(key.constData()).arg(detail);
    return scope.isEmpty() ? line : catalogueText(scope.constData()).arg(line);
}

} // namespace lumora
