#include "reference_imaging.h"

#include <algorithm>
#include <memory>

namespace tallowin::test {

uint8_t ReferenceNearest(const RGBQUAD* palette, uint32_t count, RGBQUAD colour)
{
    uint32_t best = 0;
    int bestDistance = 200000;
    for (uint32_t i = 0; i < count; ++i) {
        const int db = colour.rgbBlue - palette[i].rgbBlue;
        const int dg = colour.rgbGreen - palette[i].rgbGreen;
        const int dr = colour.rgbRed - palette[i].rgbRed;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance == 0) return static_cast<uint8_t>(i);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

namespace {

RGBQUAD Plus(RGBQUAD c, int red, int green, int blue, int weight)
{
    auto add = [weight](uint8_t v, int e) { return static_cast<uint8_t>(std::clamp(v + e * weight / 16, 0, 255)); };
    return RGBQUAD{add(c.rgbBlue, blue), add(c.rgbGreen, green), add(c.rgbRed, red), c.rgbReserved};
}

}  // namespace

bool ReferenceReduceBitDepth(CDibImage& s, uint32_t target, bool diffusion, const RGBQUAD* palette,
                             uint32_t important)
{
    if (s.PixelBlock() == nullptr) return false;
    if (s.BitCount() < target) return false;
    if (s.BitCount() == target) {
        if (important == 0) return true;
        if (s.Header().biClrImportant != 0 && s.Header().biClrImportant < important) return true;
    }
    CDibImage t;
    t.InheritSettings(&s);
    if (t.Allocate(s.Width(), s.Height(), static_cast<uint16_t>(target)) == nullptr) return false;
    if (important != 0) t.SetImportantColours(important);
    switch (t.BitCount()) {
    case 1:
        if (palette != nullptr) {
            t.SetPaletteColours(palette, 16);
        } else {
            t.SetPaletteEntry(0, 0, 0, 0);
            t.SetPaletteEntry(1, 255, 255, 255);
        }
        break;
    case 4:
    case 8:
        if (palette != nullptr) {
            t.SetPaletteColours(palette, t.BitCount() == 4 ? 16 : 256);
        } else {
            t.FillStandardPalette();
        }
        break;
    default:
        return false;
    }
    for (int y = 0; y < s.Height(); ++y) {
        for (int x = 0; x < s.Width(); ++x) {
            const RGBQUAD c = s.PixelColour(x, y);
            t.SetPixelColour(x, y, c);
            if (!diffusion) continue;
            const RGBQUAD q = t.PixelColour(x, y);
            const int er = c.rgbRed - q.rgbRed, eg = c.rgbGreen - q.rgbGreen, eb = c.rgbBlue - q.rgbBlue;
            s.SetPixelColour(x + 1, y, Plus(s.PixelColour(x + 1, y), er, eg, eb, 7));
            s.SetPixelColour(x - 1, y + 1, Plus(s.PixelColour(x - 1, y + 1), er, eg, eb, 2));
            s.SetPixelColour(x, y + 1, Plus(s.PixelColour(x, y + 1), er, eg, eb, 4));
            s.SetPixelColour(x + 1, y + 1, Plus(s.PixelColour(x + 1, y + 1), er, eg, eb, 1));
        }
    }
    if (s.BitCount() == 1) {
        t.SetPaletteEntry(0, 0, 0, 0);
        t.SetPaletteEntry(1, 255, 255, 255);
    }
    s.MoveFrom(&t);
    return true;
}

namespace {

struct Node {
    bool leaf = false;
    uint64_t count = 0, red = 0, green = 0, blue = 0, alpha = 0;
    std::unique_ptr<Node> children[8];
    Node* nextReducible = nullptr;
};

struct Tree {
    std::unique_ptr<Node> root;
    uint32_t leaves = 0;
    uint32_t depth = 0;
    uint32_t limit = 0;
    Node* reducible[9] = {};

    std::unique_ptr<Node> Make(uint32_t level)
    {
        auto node = std::make_unique<Node>();
        node->leaf = level == depth;
        if (node->leaf) {
            ++leaves;
        } else {
            node->nextReducible = reducible[level];
            reducible[level] = node.get();
        }
        return node;
    }

    void Insert(std::unique_ptr<Node>& slot, RGBQUAD c, uint32_t level)
    {
        if (!slot) slot = Make(level);
        if (slot->leaf) {
            slot->count += 1;
            slot->red += c.rgbRed;
            slot->green += c.rgbGreen;
            slot->blue += c.rgbBlue;
            slot->alpha += c.rgbReserved;
            return;
        }
        const int shift = 7 - static_cast<int>(level);
        const int mask = 0x80 >> level;
        const int index = ((c.rgbRed & mask) >> shift) * 4 + ((c.rgbGreen & mask) >> shift) * 2 +
                          ((c.rgbBlue & mask) >> shift);
        Insert(slot->children[index], c, level + 1);
    }

    void Merge()
    {
        uint32_t level = depth - 1;
        while (level > 0 && reducible[level] == nullptr) --level;
        Node* node = reducible[level];
        reducible[level] = node->nextReducible;
        uint32_t merged = 0;
        for (auto& child : node->children) {
            if (!child) continue;
            node->red += child->red;
            node->green += child->green;
            node->blue += child->blue;
            node->alpha += child->alpha;
            node->count += child->count;
            child.reset();
            ++merged;
        }
        node->leaf = true;
        leaves -= merged - 1;
    }

    void Collect(const Node* node, std::vector<RGBQUAD>& table, std::vector<uint64_t>& counts) const
    {
        if (node == nullptr) return;
        if (node->leaf) {
            table.push_back(RGBQUAD{static_cast<uint8_t>(node->blue / node->count),
                                    static_cast<uint8_t>(node->green / node->count),
                                    static_cast<uint8_t>(node->red / node->count),
                                    static_cast<uint8_t>(node->alpha / node->count)});
            counts.push_back(node->count);
            return;
        }
        for (const auto& child : node->children) Collect(child.get(), table, counts);
    }
};

// Colour of a pixel as the quantizer sees it: indexed pixels bring their palette
// entry's reserved byte along as alpha.
RGBQUAD ScannedColour(const CDibImage& image, int x, int y)
{
    if (image.BitCount() == 24) return image.PixelColour(x, y);
    return image.PaletteBlock()[image.PixelIndex(x, y)];
}

}  // namespace

std::vector<RGBQUAD> ReferenceQuantize(const CDibImage& image, uint32_t colours, uint32_t depth, RGBQUAD untouched,
                                       uint32_t& leaves)
{
    Tree tree;
    tree.depth = std::min(depth, 8u);
    tree.limit = std::max(colours, 16u);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            tree.Insert(tree.root, ScannedColour(image, x, y), 0);
            while (tree.leaves > tree.limit) tree.Merge();
        }
    }
    leaves = tree.leaves;
    std::vector<RGBQUAD> found;
    std::vector<uint64_t> counts;
    tree.Collect(tree.root.get(), found, counts);
    std::vector<RGBQUAD> table(colours, untouched);
    if (colours >= 16 || colours >= found.size()) {
        std::copy(found.begin(), found.begin() + std::min<size_t>(found.size(), colours), table.begin());
        return table;
    }
    const uint64_t n = found.size();
    for (uint32_t j = 0; j < colours; ++j) {
        uint64_t r = 0, g = 0, b = 0, a = 0, w = 0;
        for (uint64_t k = j * n / colours; k < (j + 1) * n / colours; ++k) {
            r += found[k].rgbRed * counts[k];
            g += found[k].rgbGreen * counts[k];
            b += found[k].rgbBlue * counts[k];
            a += found[k].rgbReserved * counts[k];
            w += counts[k];
        }
        table[j] = RGBQUAD{static_cast<uint8_t>(b / w), static_cast<uint8_t>(g / w), static_cast<uint8_t>(r / w),
                           static_cast<uint8_t>(a / w)};
    }
    return table;
}

}  // namespace tallowin::test
