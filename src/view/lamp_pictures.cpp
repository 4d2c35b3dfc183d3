#include "view/lamp_pictures.h"

#include <cmath>

namespace qsoferry {

Picture Scaled(const Picture& picture, int scale) {
    if (scale <= 1) return picture;
    Picture larger{picture.width * scale, picture.height * scale, {}};
    larger.pixels.reserve(static_cast<size_t>(larger.width) * static_cast<size_t>(larger.height));
    for (int y = 0; y < larger.height; ++y) {
        for (int x = 0; x < larger.width; ++x)
            larger.pixels.push_back(picture.pixels[static_cast<size_t>(y / scale * picture.width + x / scale)]);
    }
    return larger;
}

Picture InTheme(const Picture& lamp, const ThemeColours& theme) {
    Picture themed = lamp;
    for (std::uint32_t& pixel : themed.pixels) {
        if (pixel == kLampFrame)
            pixel = theme.text;
        else if (pixel == kLampLit)
            pixel = theme.highlight;
        else if (pixel == kLampUnlit)
            pixel = theme.face;
    }
    return themed;
}

namespace {

double Linear(std::uint32_t channel) {
    const double c = static_cast<double>(channel & 0xFF) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

double Lightness(std::uint32_t argb) {
    const double y = 0.2126 * Linear(argb >> 16) + 0.7152 * Linear(argb >> 8) + 0.0722 * Linear(argb);
    return y > 216.0 / 24389.0 ? 116.0 * std::cbrt(y) - 16.0 : y * 24389.0 / 27.0;
}

}  // namespace qsoferry
