#include "view/tray_icon.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

namespace qsoferry {

TrayLook TrayLookOf(const StatusFacts& facts) {
    if (!facts.problem.empty()) return TrayLook::kProblem;
    if (facts.waiting > 0) return TrayLook::kWaiting;
    if (!facts.loggerRunning) return TrayLook::kLoggerClosed;
    return TrayLook::kAllWell;
}

namespace {

// Shapes as signed distances in the unit square (negative inside), y downwards.
struct Point {
    double x, y;
};

double Length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

double Disc(Point p, Point c, double r) {
    return Length(p.x - c.x, p.y - c.y) - r;
}

// A stroke of half-width `w` from a to b, with round ends.
double Stroke(Point p, Point a, Point b, double w) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return Length(p.x - a.x - t * dx, p.y - a.y - t * dy) - w;
}

double RoundedSquare(Point p, double half, double r) {
    const double qx = std::abs(p.x - 0.5) - (half - r), qy = std::abs(p.y - 0.5) - (half - r);
    return Length(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
}

// Corners clockwise (y downwards): the largest distance outside any edge's line.
double Triangle(Point p, Point a, Point b, Point c) {
    double d = -1e9;
    for (auto [from, to] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) {
        const double ex = to.x - from.x, ey = to.y - from.y, len = Length(ex, ey);
        d = std::max(d, ((p.x - from.x) * ey - (p.y - from.y) * ex) / len);
    }
    return d;
}

struct Colour {
    double r, g, b;
};

// Each look: its body (filled, with a darker rim that keeps it apart from any taskbar) and a mark
// drawn over it.
struct Look {
    Colour body, rim, mark;
    double (*bodyAt)(Point);
    double (*markAt)(Point);
};

constexpr double kRim = 0.07;

const Look kLooks[] = {
    {{0.16, 0.63, 0.24},
     {0.05, 0.33, 0.10},
     {1, 1, 1},
     [](Point p) {
         return Disc(p, {0.5, 0.5}, 0.48);
     },
     [](Point p) {
         return std::min(Stroke(p, {0.26, 0.52}, {0.43, 0.69}, 0.08), Stroke(p, {0.43, 0.69}, {0.75, 0.33}, 0.08));
     }},
    {{0.96, 0.66, 0.12},
     {0.55, 0.33, 0.0},
     {0.25, 0.15, 0.0},
     [](Point p) { return RoundedSquare(p, 0.46, 0.1); },
     [](Point p) {
         return std::min({Disc(p, {0.26, 0.5}, 0.09), Disc(p, {0.5, 0.5}, 0.09), Disc(p, {0.74, 0.5}, 0.09)});
     }},
    {{0.86, 0.17, 0.13},
     {0.45, 0.03, 0.02},
     {1, 1, 1},
     [](Point p) {
         return Triangle(p, {0.5, 0.03}, {0.98, 0.93}, {0.02, 0.93});
     },
     [](Point p) {
         return std::min(Stroke(p, {0.5, 0.36}, {0.5, 0.6}, 0.075), Disc(p, {0.5, 0.78}, 0.075));
     }},
    {{0.5, 0.5, 0.5},
     {0.25, 0.25, 0.25},
     {0.5, 0.5, 0.5},
     // A ring crossed out: its inside is empty, so only its outline and the bar are drawn.
     [](Point p) {
         return std::abs(Disc(p, {0.5, 0.5}, 0.37)) - 0.1;
     },
     [](Point p) {
         return Stroke(p, {0.25, 0.75}, {0.75, 0.25}, 0.085);
     }},
};

}  // namespace

std::vector<std::uint32_t> DrawTrayIcon(TrayLook look, int size) {
    const Look& l = kLooks[static_cast<int>(look)];
    constexpr int kSamples = 4;  // a side: 16 samples a pixel
    std::vector<std::uint32_t> pixels(static_cast<size_t>(size) * static_cast<size_t>(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, a = 0;  // premultiplied sums
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Point p{(x + (sx + 0.5) / kSamples) / size, (y + (sy + 0.5) / kSamples) / size};
                    const double body = l.bodyAt(p), mark = l.markAt(p);
                    const Colour* c = nullptr;
                    if (mark < 0) {
                        c = &l.mark;
                    } else if (body < 0) {
                        c = body > -kRim ? &l.rim : &l.body;
                    }
                    if (!c) continue;
                    r += c->r;
                    g += c->g;
                    b += c->b;
                    a += 1;
                }
            }
            if (a == 0) continue;
            auto channel = [](double v) {
                return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
            };
            pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] =
                channel(a / (kSamples * kSamples)) << 24 | channel(r / a) << 16 | channel(g / a) << 8 | channel(b / a);
        }
    }
    return pixels;
}

const std::vector<std::uint32_t>& TrayIconPixels(TrayLook look, int size) {
    static std::mutex guard;
    static std::map<std::pair<TrayLook, int>, std::vector<std::uint32_t>> drawn;
    std::lock_guard<std::mutex> lock(guard);
    std::vector<std::uint32_t>& pixels = drawn[{look, size}];
    if (pixels.empty()) pixels = DrawTrayIcon(look, size);
    return pixels;  // a map's elements stay where they are
}

bool TrayIconKeeper::Put() {
    if (m_removed) return false;
    if (m_there) {
        if (m_shell(TrayCall::kModify)) return true;
        m_there = m_shell(TrayCall::kAdd);  // Explorer may have gone without saying
        return m_there;
    }
    m_asked = true;
    m_there = m_shell(TrayCall::kAdd) || m_shell(TrayCall::kModify);
    return m_there;
}

bool TrayIconKeeper::Notify() {
    if (m_removed || !m_there) return false;
    if (m_shell(TrayCall::kNotify)) return true;
    m_there = false;  // the icon may have gone: the next Put finds out
    return false;
}

bool TrayIconKeeper::Remove() {
    m_removed = true;
    const bool asked = m_asked;
    m_there = m_asked = false;
    return asked;
}

}  // namespace qsoferry
