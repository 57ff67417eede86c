#pragma once

// The program's pictures: its icon and the start-up logo, both drawn for Kwotnik and kept as
// resources (sources in data/kwotnik.svg and tools/help/pictures/logo.svg).

#include <QIcon>
#include <QPixmap>

namespace kw {

// The program's icon in every size it is drawn in (16 to 256 pixels).
QIcon appIcon();
// The start-up logo, 281 x 185 logical pixels with a transparent background, sharp on a screen
// with the given device pixel ratio.
QPixmap logoPicture(qreal devicePixelRatio = 1.0);

} // namespace kw
