// The lamps' pictures as the operator sees them: lit and unlit differ in lightness, not in hue
// alone, at every size the display's scaling gives and in every high-contrast theme.
#include "view/lamp_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qsoferry::test {
namespace {

// Lightness (CIE L*, 0 black to 100 white) of an sRGB colour, as the eye tells light from dark
// without the hue.
double Lightness(std::uint32_t argb) {
    auto linear = [](std::uint32_t channel) {
        const double c = static_cast<double>(channel & 0xFF) / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(argb >> 16) + 0.7152 * linear(argb >> 8) + 0.0722 * linear(argb);
    return y > 216.0 / 24389.0 ? 116.0 * std::cbrt(y) - 16.0 : y * 24389.0 / 27.0;
}

std::uint32_t Le(const std::string& b, size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

// The 16-colour bitmap as res/ holds it (tools/make_images.py writes it; windres takes it as it is).
Picture ReadBitmap(const std::string& name) {
    std::ifstream file(std::string(QSOFERRY_RES_DIR) + "/" + name, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (b.size() < 54 || b.compare(0, 2, "BM") != 0 || Le(b, 28, 2) != 4) return {};
    Picture p{static_cast<int>(Le(b, 18, 4)), static_cast<int>(Le(b, 22, 4)), {}};
    const size_t palette = 14 + Le(b, 14, 4), bits = Le(b, 10, 4), stride = (p.width * 4 + 31) / 32 * 4;
    for (int y = p.height - 1; y >= 0; --y) {  // bottom-up
        for (int x = 0; x < p.width; ++x) {
            const unsigned char pair = static_cast<unsigned char>(b[bits + y * stride + x / 2]);
            const size_t index = x % 2 ? pair & 0xF : pair >> 4;
            p.pixels.push_back(0xFF000000 | (Le(b, palette + index * 4, 3) & 0xFFFFFF));
        }
    }
    return p;
}

// At least a quarter of the picture is clearly lighter or darker in one state than in the other.
bool DifferInLightness(const Picture& a, const Picture& b) {
    size_t differ = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        differ += std::abs(Lightness(a.pixels[i]) - Lightness(b.pixels[i])) >= 20;
    return a.pixels.size() == b.pixels.size() && !a.pixels.empty() && differ * 4 >= a.pixels.size();
}

Picture Recoloured(Picture p, std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t& pixel : p.pixels)
        pixel = pixel == from ? to : pixel;
    return p;
}

TEST(LampPictures, LitAndUnlitDifferInLightnessAtEveryScaleAndInEveryHighContrastTheme) {
    const Picture lit = ReadBitmap("lamp_on.bmp"), unlit = ReadBitmap("lamp_off.bmp");
    ASSERT_EQ(lit.width, 17);
    ASSERT_EQ(unlit.pixels.size(), lit.pixels.size());
    EXPECT_EQ(lit.pixels[8 * 17 + 8], kLampLit);
    EXPECT_EQ(unlit.pixels[8 * 17 + 8], kLampUnlit);
    EXPECT_EQ(unlit.pixels[0], kLampFrame);
    // Windows' high-contrast themes: text, face, highlight.
    const struct {
        const char* name;
        std::optional<ThemeColours> theme;
    } themes[] = {
        {"no theme", std::nullopt},
        {"High Contrast Black", ThemeColours{0xFFFFFFFF, 0xFF000000, 0xFF1AEBFF}},
        {"High Contrast White", ThemeColours{0xFF000000, 0xFFFFFFFF, 0xFF37006E}},
        {"High Contrast #1", ThemeColours{0xFFFFFF00, 0xFF000000, 0xFF00FF00}},
        {"High Contrast #2", ThemeColours{0xFF00FF00, 0xFF000000, 0xFF0000FF}},
    };
    for (const auto& t : themes) {
        const Picture on = t.theme ? InTheme(lit, *t.theme) : lit, off = t.theme ? InTheme(unlit, *t.theme) : unlit;
        if (t.theme) {
            EXPECT_EQ(off.pixels[8 * 17 + 8], t.theme->face) << t.name << ": unlit, the lamp is an empty frame";
            EXPECT_EQ(on.pixels[0], t.theme->text) << t.name;
            EXPECT_EQ(on.pixels[8 * 17 + 8], t.theme->highlight) << t.name << ": lit, filled with the highlight";
        }
        for (int scale = 1; scale <= 4; ++scale) {
            const Picture a = Scaled(on, scale), b = Scaled(off, scale);
            EXPECT_EQ(a.width, 17 * scale);
            EXPECT_EQ(a.pixels[static_cast<size_t>(a.width) * a.height - 1], on.pixels.back());
            EXPECT_TRUE(DifferInLightness(a, b)) << t.name << " at " << scale << "x";
        }
    }
    // The measure tells hue alone apart: the silver the unlit lamp had is as light as the lime.
    EXPECT_FALSE(DifferInLightness(lit, Recoloured(unlit, kLampUnlit, 0xFFC0C0C0)));
}

// Grown by whole pixels: each one a square, in its place, so that the lamp stays sharp and whole.
TEST(LampPictures, EachPixelGrowsIntoASquareInItsPlace) {
    const Picture p{3, 2, {1, 2, 3, 4, 5, 6}};
    const struct {
        int scale;
        std::vector<std::uint32_t> pixels;
    } cases[] = {
        {0, {1, 2, 3, 4, 5, 6}},
        {1, {1, 2, 3, 4, 5, 6}},
        {2, {1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 4, 4, 5, 5, 6, 6}},
        {3, {1, 1, 1, 2, 2, 2, 3, 3, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3,
             4, 4, 4, 5, 5, 5, 6, 6, 6, 4, 4, 4, 5, 5, 5, 6, 6, 6, 4, 4, 4, 5, 5, 5, 6, 6, 6}},
    };
    for (const auto& c : cases) {
        const Picture s = Scaled(p, c.scale);
        EXPECT_EQ(s.width, 3 * std::max(c.scale, 1)) << c.scale;
        EXPECT_EQ(s.height, 2 * std::max(c.scale, 1)) << c.scale;
        EXPECT_EQ(s.pixels, c.pixels) << c.scale;
    }
}

// The measure the test above relies on: CIE L* of sRGB, on both sides of each curve's knee.
TEST(LampPictures, LightnessIsCieLStar) {
    const struct {
        std::uint32_t argb;
        double lightness;
    } cases[] = {
        {0xFF000000, 0.0},   {0xFFFFFFFF, 100.0},  {0xFF808080, 53.585}, {0xFF404040, 27.093},
        {0xFF0A0A0A, 2.742}, {0xFFFF0000, 53.233}, {0xFF00FF00, 87.737}, {0xFF0000FF, 32.303},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(Lightness(c.argb), c.lightness, 0.01) << std::hex << c.argb;
}

}  // namespace
}  // namespace qsoferry::test
