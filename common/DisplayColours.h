#pragma once

#include <QColor>

// Colour state of a limit-watched value.
enum class ColourState { Green, Red, Pink };

// Display colours of both programs' windows.
namespace Colours {
inline const QColor Green{0, 128, 0};
inline const QColor Red{255, 0, 0};
inline const QColor Fuchsia{255, 0, 255};
inline const QColor Lime{0, 255, 0};
inline const QColor Black{0, 0, 0};
inline const QColor Silver{192, 192, 192};
inline const QColor BtnFace{240, 240, 240};
inline const QColor ActiveBorder{180, 180, 180};
} // namespace Colours

inline QColor colourOf(ColourState s)
{
    switch (s) {
    case ColourState::Green:
        return Colours::Green;
    case ColourState::Red:
        return Colours::Red;
    case ColourState::Pink:
        return Colours::Fuchsia;
    }
    return Colours::Green;
}
