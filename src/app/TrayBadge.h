#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

namespace lumora {

// What the badge says: nothing for 0, the count up to 99, then "99+".
QString badgeText(std::int64_t count);

// `icon` with the count on a red badge over its bottom-trailing corner, readable from 16 px up on light
// and dark panels (a white rim parts it from the icon and from the panel). 0 leaves the icon as it is.
QImage withUnreadBadge(QImage icon, std::int64_t count);

} // namespace lumora
