#ifndef DORURIZAR_CENTREGRADIENT_P_H
#define DORURIZAR_CENTREGRADIENT_P_H

// Not installed: the pixel rule of drawGradient, shared by every engine.

#include <QRect>
#include <QRgb>
#include <QSize>

// Writes the centre gradient of rect into 32-bit 0xAARRGGBB pixel memory of
// size bounds (row r starts r * bytesPerLine bytes in). Every pixel is c1,
// except that pixels with W - x and H - y odd (x, y relative to rect) blend
// towards c2 by k = 256 - max(|dx| * 256 / halfW, |dy| * 256 / halfH),
// clamped at 0, each channel c1 + (((c2 - c1) * k) >> 8). halfW and halfH are
// at least 1. Only pixels inside bounds are written; the pattern stays
// anchored at rect, so a clipped gradient matches the unclipped one. No
// allocation; the arithmetic is 64-bit, so any QRect is safe.
void writeCentreGradient(uchar* bits, qsizetype bytesPerLine, QSize bounds, QRect const& rect, QRgb c1, QRgb c2);

#endif
