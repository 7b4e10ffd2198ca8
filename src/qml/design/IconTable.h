#pragma once

#include <QString>

namespace lumora {

// The one table from the symbol names the screens use to bundled icons (Lucide, ISC licence,
// see icons/LICENSE). Empty for a name nobody mapped.
QString iconResource(const QString& symbol);

} // namespace lumora
