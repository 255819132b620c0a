#include "damage_region.h"

#include <algorithm>

namespace platform {

PixelRect PixelRect::Intersection(const PixelRect& other) const {
    return PixelRect{std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1), std::min(y1, other.y1)};
}

PixelRect PixelRect::Union(const PixelRect& other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return PixelRect{std::min(x0, other.x0), std::min(y0, other.y0), std::max(x1, other.x1), std::max(y1, other.y1)};
}

DamageRegion::DamageRegion(int width, int height) : m_width(width), m_height(height) {}

void DamageRegion::Add(const PixelRect& rect) {
    const PixelRect inside = rect.Intersection(Bounds());
    if (!inside.Empty()) Insert(inside);
}

void DamageRegion::Add(const DamageRegion& other) {
    for (const PixelRect& rect : other.m_rects) Add(rect);
}

bool DamageRegion::Whole() const {
    return m_rects.size() == 1 && m_rects[0].Area() == Bounds().Area();
}

bool DamageRegion::Intersects(const PixelRect& rect) const {
    for (const PixelRect& r : m_rects)
        if (!r.Intersection(rect).Empty()) return true;
    return false;
}

// A rectangle that overlaps one already held, or whose union with it costs
// little more than the two apart, is merged into it (and the union may then
// merge with others); past kMaxRects, the pair whose union adds the fewest
// pixels is merged.
void DamageRegion::Insert(PixelRect rect) {
    for (size_t i = 0; i < m_rects.size(); ++i) {
        const PixelRect merged = m_rects[i].Union(rect);
        const bool overlaps = !m_rects[i].Intersection(rect).Empty();
        if (overlaps || merged.Area() <= m_rects[i].Area() + rect.Area() + merged.Area() / 8) {
            m_rects.erase(m_rects.begin() + static_cast<long>(i));
            Insert(merged);
            return;
        }
    }
    m_rects.push_back(rect);
    if (m_rects.size() <= kMaxRects) return;
    size_t bestA = 0, bestB = 1;
    long long bestGrowth = -1;
    for (size_t a = 0; a < m_rects.size(); ++a) {
        for (size_t b = a + 1; b < m_rects.size(); ++b) {
            const long long growth = m_rects[a].Union(m_rects[b]).Area() - m_rects[a].Area() - m_rects[b].Area();
            if (bestGrowth < 0 || growth < bestGrowth) {
                bestGrowth = growth;
                bestA = a;
                bestB = b;
            }
        }
    }
    const PixelRect merged = m_rects[bestA].Union(m_rects[bestB]);
    m_rects.erase(m_rects.begin() + static_cast<long>(bestB));
    m_rects.erase(m_rects.begin() + static_cast<long>(bestA));
    Insert(merged);
}

}  // namespace platform
