#pragma once
// The program's own pictures as icons that are drawn when they are shown: at the
// size and pixel density asked for (sharp at any scale) and in the colours of the
// palette in use at that moment (legible on light and dark themes alike).

#include <QIcon>
#include <QPalette>

#include <functional>

class QPainter;

// Draws a picture on a square grid of `grid` units, with the colours of `palette`
// (its Disabled group for a disabled icon).
using HIconPainter = std::function<void(QPainter &painter, const QPalette &palette)>;

// The icon named `themeName` in the user's icon theme, or else our own picture.
QIcon hThemeIcon(const QString &themeName, int grid, HIconPainter paint);
// Our own picture only.
QIcon hPaintedIcon(int grid, HIconPainter paint);
