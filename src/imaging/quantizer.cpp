#include "quantizer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Local table size used when fewer than 16 colours are wanted: the tree then never
// holds more than 16 leaves.
constexpr uint32_t kMinimumLeaves = 16;

}  // namespace

CQuantizer::CQuantizer(uint32_t colourCount, uint32_t treeDepth)
    : maxColours(std::max(colourCount, kMinimumLeaves)),
      outputColours(colourCount),
      colourBits(std::min(treeDepth, kMaxDepth)),
      shortcuts(new (std::nothrow) Shortcut[kShortcutCount])
{
}

CQuantizer::~CQuantizer()
{
    FreeTree(root);
}

void CQuantizer::FreeTree(OctreeNode* node)
{
    if (node == nullptr) return;
    for (OctreeNode* child : node->children) FreeTree(child);
    delete node;
}

OctreeNode* CQuantizer::NewNode(uint32_t level)
{
    auto* node = new (std::nothrow) OctreeNode{};
    if (node == nullptr) return nullptr;
    node->isLeaf = level == colourBits ? 1 : 0;
    if (node->isLeaf) {
        ++leafCount;
    } else {
        node->nextReducible = reducibleLists[level];
        reducibleLists[level] = node;
    }
    return node;
}

OctreeNode* CQuantizer::LeafFor(uint8_t red, uint8_t green, uint8_t blue)
{
    Shortcut* shortcut = shortcuts != nullptr ? &shortcuts[ShortcutOf(red, green, blue)] : nullptr;
    if (shortcut != nullptr && shortcut->generation == generation) {
        if (shortcut->node->isLeaf) return shortcut->node;
        return Descend(shortcut->node, kShortcutBits, red, green, blue, nullptr);
    }
    if (root == nullptr) root = NewNode(0);
    return Descend(root, 0, red, green, blue, shortcut);
}

OctreeNode* CQuantizer::Descend(OctreeNode* node, uint32_t level, uint8_t red, uint8_t green, uint8_t blue,
                                Shortcut* shortcut)
{
    while (node != nullptr) {
        if (shortcut != nullptr && (level == kShortcutBits || node->isLeaf)) {
            *shortcut = Shortcut{node, generation};
            shortcut = nullptr;
        }
        if (node->isLeaf) return node;
        const int shift = 7 - static_cast<int>(level);
        const uint8_t mask = static_cast<uint8_t>(0x80 >> level);
        const int child = (((red & mask) >> shift) << 2) | (((green & mask) >> shift) << 1) | ((blue & mask) >> shift);
        ++level;
        OctreeNode*& slot = node->children[child];
        if (slot == nullptr) slot = NewNode(level);
        node = slot;
    }
    return nullptr;
}

bool CQuantizer::InsertColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    OctreeNode* leaf = LeafFor(red, green, blue);
    if (leaf == nullptr) return false;
    leaf->pixelCount += 1;
    leaf->redSum += red;
    leaf->greenSum += green;
    leaf->blueSum += blue;
    leaf->alphaSum += alpha;

    while (leafCount > maxColours) {
        if (!MergeDeepestNode()) break;
    }
    return true;
}

bool CQuantizer::MergeDeepestNode()
{
    if (colourBits == 0) return false;
    uint32_t level = colourBits - 1;
    while (level > 0 && reducibleLists[level] == nullptr) --level;
    OctreeNode* node = reducibleLists[level];
    if (node == nullptr) return false;
    reducibleLists[level] = node->nextReducible;
    node->nextReducible = nullptr;

    uint64_t red = 0, green = 0, blue = 0, alpha = 0;
    uint32_t merged = 0;
    for (OctreeNode*& child : node->children) {
        if (child == nullptr) continue;
        red += child->redSum;
        green += child->greenSum;
        blue += child->blueSum;
        alpha += child->alphaSum;
        node->pixelCount += child->pixelCount;
        FreeTree(child);
        child = nullptr;
        ++merged;
    }
    node->isLeaf = 1;
    node->redSum = red;
    node->greenSum = green;
    node->blueSum = blue;
    node->alphaSum = alpha;
    leafCount -= merged - 1;
    ++generation;
    return true;
}

bool CQuantizer::Scan(const uint8_t* bitmap)
{
    if (bitmap == nullptr) return false;
    BITMAPINFOHEADER info;
    std::memcpy(&info, bitmap, sizeof(info));
    const uint32_t bits = info.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
    if (info.biWidth <= 0 || info.biHeight <= 0) return true;

    const size_t stride = (static_cast<size_t>(bits) * static_cast<size_t>(info.biWidth) + 31) / 32 * 4;
    const uint8_t* rows = bitmap + info.biSize + 4 * static_cast<size_t>(info.biClrUsed);
    const uint32_t width = static_cast<uint32_t>(info.biWidth);

    if (bits == 24) {
        for (int32_t y = 0; y < info.biHeight; ++y) {
            const uint8_t* p = rows + static_cast<size_t>(y) * stride;
            for (uint32_t x = 0; x < width; ++x, p += 3) {
                if (!InsertColour(p[2], p[1], p[0], 0)) return false;
            }
        }
        return true;
    }

    RGBQUAD table[256] = {};
    const uint32_t entries = std::min<uint32_t>(info.biClrUsed, 1u << bits);
    std::memcpy(table, bitmap + sizeof(BITMAPINFOHEADER), 4 * static_cast<size_t>(entries));
    const uint32_t perByte = 8 / bits;
    const uint8_t valueMask = static_cast<uint8_t>((1u << bits) - 1);
    for (int32_t y = 0; y < info.biHeight; ++y) {
        const uint8_t* row = rows + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t shift = (perByte - 1 - x % perByte) * bits;
            const RGBQUAD& c = table[(row[x / perByte] >> shift) & valueMask];
            if (!InsertColour(c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved)) return false;
        }
    }
    return true;
}

void CQuantizer::CollectLeafColours(const OctreeNode* node, RGBQUAD* table, uint32_t capacity, uint32_t& index,
                                    uint64_t* counts) const
{
    if (node == nullptr || index >= capacity) return;
    if (node->isLeaf) {
        const uint64_t n = node->pixelCount;
        if (n != 0) {
            table[index] = RGBQUAD{static_cast<uint8_t>(node->blueSum / n), static_cast<uint8_t>(node->greenSum / n),
                                   static_cast<uint8_t>(node->redSum / n), static_cast<uint8_t>(node->alphaSum / n)};
        } else {
            table[index] = RGBQUAD{0, 0, 0, 0};
        }
        if (counts != nullptr) counts[index] = n;
        ++index;
        return;
    }
    for (const OctreeNode* child : node->children) CollectLeafColours(child, table, capacity, index, counts);
}

void CQuantizer::WritePalette(RGBQUAD* table) const
{
    if (table == nullptr) return;
    uint32_t index = 0;
    if (outputColours >= kMinimumLeaves) {
        CollectLeafColours(root, table, outputColours, index, nullptr);
        return;
    }
    RGBQUAD leaves[kMinimumLeaves] = {};
    uint64_t counts[kMinimumLeaves] = {};
    CollectLeafColours(root, leaves, kMinimumLeaves, index, counts);
    const uint32_t found = index;
    if (outputColours >= found) {
        std::copy(leaves, leaves + found, table);
        return;
    }
    for (uint32_t j = 0; j < outputColours; ++j) {
        const uint32_t first = j * found / outputColours;
        const uint32_t last = (j + 1) * found / outputColours;
        uint64_t red = 0, green = 0, blue = 0, alpha = 0, weight = 0;
        for (uint32_t k = first; k < last; ++k) {
            red += static_cast<uint64_t>(leaves[k].rgbRed) * counts[k];
            green += static_cast<uint64_t>(leaves[k].rgbGreen) * counts[k];
            blue += static_cast<uint64_t>(leaves[k].rgbBlue) * counts[k];
            alpha += static_cast<uint64_t>(leaves[k].rgbReserved) * counts[k];
            weight += counts[k];
        }
        if (weight == 0) continue;
        table[j] = RGBQUAD{static_cast<uint8_t>(blue / weight), static_cast<uint8_t>(green / weight),
                           static_cast<uint8_t>(red / weight), static_cast<uint8_t>(alpha / weight)};
    }
}
