// A part of a window drawn at its design size and shown at any size as one
// picture: each child keeps its rectangle and font size at the design size
// (as properties of the child), and the part lays them all out at one
// factor. At factor 1 every child stands exactly where the design puts it.
//
// Code that moves a child at run time moves it in design coordinates
// (designMove), so what it reads back (designRect) is the same at any size.
#pragma once

#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace ombrix::ui {

// r at factor s: corners and size rounded separately, so every child of one
// design size has one size on screen wherever it stands.
QRect scaledRect(const QRect& r, qreal s);

// The child's design rectangle; its geometry when it was never given one.
QRect designRect(const QWidget* w);
// Gives a child its design rectangle and lays it out at its parent's factor.
void designPlace(QWidget* w, const QRect& r);
void designMove(QWidget* w, const QPoint& topLeft);
void designResize(QWidget* w, const QSize& size);
// A child that covers its whole container at any size (a background).
void designFill(QWidget* w);

// The factor a container's children are shown at (1 until it is scaled).
qreal designFactor(const QWidget* container);
// Lays out every child of the container at factor s: its design rectangle
// and font scaled. A child seen for the first time keeps its present
// rectangle and font as its design (so call this once at factor 1 after
// building, before the container is ever scaled). `offset` moves the
// whole picture within the container (centring it).
void designScale(QWidget* container, qreal s, QPoint offset = {});

// The factor that fits `design` into `space` whole, at least 1: smaller
// windows show the design as it is.
qreal fitFactor(QSize space, QSize design);

// A secondary window that scales its contents with its size: the design
// size is its smallest, and larger it shows the design by one factor,
// centred. `also` runs after each layout with the factor (for what a
// child's rectangle does not carry: a grid's columns).
void scaleWithWindow(QWidget* window, QSize design, std::function<void(qreal)> also = {});

}  // namespace ombrix::ui
