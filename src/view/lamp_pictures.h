// The lamps' pictures as they are shown: the bitmaps of res/ (tools/make_images.py draws them)
// grown to the display's scaling, and in a high-contrast theme redrawn in the theme's colours. A lit
// lamp is filled, an unlit one darker (in a high-contrast theme an empty frame), so that the two
// states differ in lightness and not only in hue, for every operator and at every size.
#pragma once

#include <cstdint>
#include <vector>

namespace qsoferry {

// Pixels top row first, each 0xAARRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

// The colours the lamps' bitmaps are drawn in: the frame, a lit lamp's fill, an unlit one's.
constexpr std::uint32_t kLampFrame = 0xFF000000, kLampLit = 0xFF00FF00, kLampUnlit = 0xFF808080;

// What a high-contrast theme gives: its text, its windows' face and its highlight.
struct ThemeColours {
    std::uint32_t text, face, highlight;
};

// Each pixel a square of `scale` x `scale`, so that the picture stays sharp.
Picture Scaled(const Picture& picture, int scale);

// A lamp in the theme's colours: its frame in the text colour, a lit lamp filled with the
// highlight, an unlit one left empty (the face).
Picture InTheme(const Picture& lamp, const ThemeColours& theme);

}  // namespace qsoferry
