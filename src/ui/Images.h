// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's own pictures, compiled into it (drawn by scripts/draw-images.py).

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's icon: ApplicationId from the desktop's icon theme or, where the theme has
// none, the padlock at 16, 32, 48 and 64 pixels, with alpha.
QIcon ProgramIcon();

// The 16 x 16 house that every site button shows, on a transparent background.
QPixmap HouseImage();

// The 16 x 16 minus of the delete buttons, its magenta background drawn transparent.
QPixmap DeleteGlyph();

// The 16 x 16 picture of the fingerprint's symbol (0 to 15) on a transparent background, its
// outermost ring of pixels left free; null for any other number.
QPixmap FingerprintSymbolImage(int symbol);

// The image with every pixel of its bottom-left pixel's colour made transparent; the usual way of
// storing a glyph without an alpha channel.
QImage WithKeyColourTransparent(const QImage &image);
