#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace lumora {

// Where the tray panel's top-left corner goes: against the tray icon (below it when the icon is in
// the upper half of the screen, above it otherwise, centred on it), always kept inside `screen`.
// Tray hosts that report no icon geometry get the panel in the screen's top trailing corner.
QPoint panelPosition(const QRect& icon, const QSize& panel, const QRect& screen, bool rightToLeft = false);

} // namespace lumora
