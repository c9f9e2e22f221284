#pragma once
// Scale labels of the views (oscilloscope, spectrum, spectrogram): one short
// text in a font of a given cell height, placed against a tick.
#include <QString>
#include <cstdint>

#include "framework/canvas.h"

namespace qv {

// Draws Text with Canvas's font colour in the face FontName at cell height
// Height (pixels), with a clear background, then restores Canvas's font.
// With the text's extent (cx, cy):
//   Alignment 0: at (X, Y - cy div 2)         left-aligned, centred on Y;
//   Alignment 1: at (X - cx, Y - cy div 2)    right-aligned, centred on Y;
//   Alignment 2: turned to read upwards, its cell's corner at (X - cy div 2,
//                Y + cx): centred on X, reaching cx pixels below Y.
void DrawScaleText(TCanvas* Canvas, int32_t X, int32_t Y, const QString& Text, const QString& FontName,
                   int32_t Height, int32_t Alignment);

} // namespace qv
