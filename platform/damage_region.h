// A set of pixel rectangles where a picture may have changed, kept to a few
// rectangles: drawing and copying each has a fixed cost, so rectangles that
// lie close are merged even though the union covers some unchanged pixels.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// Pixels x0 <= x < x1, y0 <= y < y1.
struct PixelRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    long long Area() const { return Empty() ? 0 : static_cast<long long>(x1 - x0) * (y1 - y0); }
    PixelRect Intersection(const PixelRect& other) const;
    PixelRect Union(const PixelRect& other) const;
};

class DamageRegion {
public:
    static constexpr std::size_t kMaxRects = 8;

    // An empty region within a picture of this size.
    DamageRegion(int width, int height);

    void Clear() { m_rects.clear(); }
    void AddWhole() { m_rects.assign(1, Bounds()); }
    // The part of the rectangle inside the picture.
    void Add(const PixelRect& rect);
    void Add(const DamageRegion& other);

    bool Empty() const { return m_rects.empty(); }
    bool Whole() const;
    const std::vector<PixelRect>& Rects() const { return m_rects; }
    PixelRect Bounds() const { return PixelRect{0, 0, m_width, m_height}; }
    bool Intersects(const PixelRect& rect) const;

private:
    void Insert(PixelRect rect);

    int m_width, m_height;
    std::vector<PixelRect> m_rects;
};

}  // namespace platform
