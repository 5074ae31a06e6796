#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// The colours of the application, in one place: the workspace colours, the shared controls'
// colours and the dark widget palette. Greys are sRGB greys given by their white level (0…1).
// The style sheet (VelmoraStyleSheet) and the custom-painted views take their colours from here.
namespace velmora::VelmoraPalette {

// An opaque (or translucent) sRGB grey of the given white level, both in 0…1.
QColor grey(double white, double opacity = 1.0);
// "#rrggbb" or "rgba(r, g, b, a)" for style sheets.
QString css(const QColor& colour);

// Workspace colours shared by every view of the Edit workspace.
QColor editorBg();    // black
QColor editorPanel(); // white 0.08: bars and panels (also the Mode picker's strip)
QColor editorText();  // white
QColor editorMuted(); // white 0.65: secondary text

QColor toolbarBg();      // white 0.06: the edit tools bar's strip
QColor edgeZone();       // white 0.12: an edge-scroll arrow strip
QColor edgeZoneHover();  // white 0.22: the strip under the pointer
QColor fieldBg();        // white 0.22: the dark pop-up picker's field
QColor segmentBorder();  // frame of the Mode picker's segments
QColor segmentChecked(); // the chosen segment
QColor accent();         // focus, selection and the toolbar slider's fill
QColor clipBlock();      // a video clip block of the resize placeholder
QColor playhead();       // red

// The dark palette the Fusion style paints standard widgets with.
QPalette darkPalette();

} // namespace velmora::VelmoraPalette
