#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// The colours of the application, in one place: the workspace colours, the shared controls'
// colours, the accents, the timeline lanes' colours and the dark widget palette. Greys are sRGB
// greys given by their white level (0…1). The style sheet (VelmoraStyleSheet) and the
// custom-painted views take their colours from here.
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

// The accents of the dark appearance, each at an opacity in 0…1: the inspectors and the
// "10-bit Export" workspace mark with them.
QColor orange(double opacity = 1.0); // 255, 159, 10
QColor red(double opacity = 1.0);    // 255, 69, 58
QColor green(double opacity = 1.0);  // 48, 209, 88
QColor blue(double opacity = 1.0);   // 10, 132, 255
QColor purple(double opacity = 1.0); // 191, 90, 242

// The timeline lanes, on the workspace's black. These are given to 16 bits a channel (the
// accents above as 1, 0.624, 0.039 for orange; 1, 0.271, 0.227 for red; 0.392, 0.824, 1 for
// cyan), the precision the lanes are painted at.
QColor laneTrack();               // white 0.1
QColor mutedLaneTrack();          // white 0.06: the track of a muted lane
QColor rulerTrack();              // white 0.14
QColor rulerText();               // white 0.4
QColor laneLabel();               // white 0.55: a lane's name, a header switch that is off
QColor laneWhite(double opacity); // clip titles, outlines and trim handles
QColor laneMarker();              // orange: a marker, a lock switch that is on
QColor lockedLaneLabel();         // orange 0.9
QColor laneMuteOn();              // red 0.85: the mute switch of a muted lane
QColor lanePlayhead();            // red 0.9
QColor clipSelection();           // cyan: the outline of the selected clip
QColor snapGuide();               // cyan 0.95
// The clips of video lane `number`: four colours in turn, so V5 repeats V1. Lanes count from
// 1; a number below 1 takes V1's colour.
QColor videoLane(int number);
QColor audioLane();

// The "10-bit Export" workspace, on the workspace's black.
QColor secondaryText(); // 152, 152, 159
QColor groupFill();     // white at 14 of 255: a group box, a faint lift off the black
QColor groupBorder();   // white at 28 of 255: a group box's outline
QColor controlFill();   // 58, 58, 60: buttons and pop-ups
QColor fieldFill();     // 28, 28, 30: text fields

// The dark palette the Fusion style paints standard widgets with.
QPalette darkPalette();
// `palette` with the "10-bit Export" workspace's colours: white text on black, controls in
// controlFill, fields in fieldFill, selections in blue, secondary and disabled text in
// secondaryText.
QPalette exportWorkspacePalette(QPalette palette);

} // namespace velmora::VelmoraPalette
