#include "view/lamp_pictures.h"

#include <cstddef>

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

}  // namespace qsoferry
