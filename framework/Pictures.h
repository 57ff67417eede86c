#pragma once

// What the program's drawn pictures (tool bars, menus, the print preview) have in common: one
// palette, the sheet of paper most of them show, and the drawing of a 16 x 16 picture into the
// pixmaps of an icon.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <functional>

class QPainter;

namespace kw::pictures {

inline const QColor Outline(64, 64, 64);
inline const QColor Paper(255, 255, 255);
inline const QColor PaperShade(214, 214, 222);
inline const QColor Red(204, 30, 30);
inline const QColor Green(20, 150, 40);
inline const QColor Blue(36, 90, 190);

using Drawing = std::function<void(QPainter &)>;

// A plain white sheet with its outline.
void sheet(QPainter &p, const QRectF &r);
// `count` ruled lines across from x0 to x1, the first at y0.
void lines(QPainter &p, qreal x0, qreal x1, qreal y0, int count, qreal step);

// The picture drawn on the 16 x 16 grid, scaled to a pixmap `side` pixels square.
QPixmap pixmap(const Drawing &draw, int side);
// The picture at 16 and 32 pixels, so it stays sharp on a high-density screen.
QIcon icon(const Drawing &draw);

} // namespace kw::pictures
