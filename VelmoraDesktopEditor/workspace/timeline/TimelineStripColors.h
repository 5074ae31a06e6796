#pragma once

// Colours of the timeline lanes view, sRGB. Kept apart from the workspace palette until the two
// are folded together; nothing else should depend on this file.

#include <QColor>

namespace velmora::TimelineStripColors {

inline QColor grey(double white, double opacity = 1.0)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(opacity));
}

inline QColor rgb(double red, double green, double blue, double opacity = 1.0)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(opacity));
}

// The dark-appearance system accents the lanes use for locks, mutes, markers, snapping and the
// playhead.
inline QColor orange(double opacity = 1.0) { return rgb(1.0, 0.624, 0.039, opacity); }
inline QColor red(double opacity = 1.0) { return rgb(1.0, 0.271, 0.227, opacity); }
inline QColor cyan(double opacity = 1.0) { return rgb(0.392, 0.824, 1.0, opacity); }
inline QColor white(double opacity = 1.0) { return grey(1.0, opacity); }

inline QColor canvas() { return grey(0.0); }
inline QColor laneTrack() { return grey(0.1); }
inline QColor mutedLaneTrack() { return grey(0.06); }
inline QColor rulerTrack() { return grey(0.14); }
inline QColor rulerHeaderText() { return grey(0.4); }
inline QColor laneLabel() { return grey(0.55); }
inline QColor lockedLaneLabel() { return orange(0.9); }
inline QColor headerSymbolOff() { return grey(0.55); }
inline QColor lockSymbolOn() { return orange(); }
inline QColor muteSymbolOn() { return red(0.85); }
inline QColor marker() { return orange(); }
inline QColor playhead() { return red(0.9); }
inline QColor snapGuide() { return cyan(0.95); }
inline QColor trimHandle() { return white(0.9); }

// Video lane n takes videoLane(n): four colours in turn, so V5 repeats V1. Lanes count from 1;
// a number below 1 takes V1's colour.
inline QColor videoLane(int number)
{
    static const QColor colours[4] = {rgb(0.35, 0.55, 0.95), rgb(0.25, 0.75, 0.55), rgb(0.9, 0.55, 0.25),
                                      rgb(0.75, 0.4, 0.85)};
    const int index = number >= 1 ? (number - 1) % 4 : 0;
    return colours[index];
}

inline QColor audioLane() { return rgb(0.78, 0.66, 0.32); }

} // namespace velmora::TimelineStripColors
