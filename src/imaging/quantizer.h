#pragma once
// CQuantizer: octree colour quantizer. Scan() adds every pixel of a bitmap to a
// tree of colour clusters that is folded back under a leaf limit after each pixel;
// WritePalette() writes the clusters' average colours as a colour table.

#include "dib_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// One node of the colour tree. Sums are 64-bit so no cluster can overflow them.
struct OctreeNode {
    uint32_t isLeaf = 0;
    uint64_t pixelCount = 0;
    uint64_t redSum = 0;
    uint64_t greenSum = 0;
    uint64_t blueSum = 0;
    uint64_t alphaSum = 0;
    OctreeNode* children[8] = {};
    OctreeNode* nextReducible = nullptr;
};

class CQuantizer {
public:
    // `colourCount` entries are written; the tree keeps at least 16 leaves while
    // scanning. `treeDepth` above 8 is taken as 8.
    CQuantizer(uint32_t colourCount, uint32_t treeDepth);
    CQuantizer(const CQuantizer&) = delete;
    CQuantizer& operator=(const CQuantizer&) = delete;
    virtual ~CQuantizer();

    // Adds every pixel of a packed bitmap (40-byte info header, colour table, rows)
    // of 1, 4, 8 or 24 bits per pixel. False for other depths, for no bitmap, or
    // when a node can't be allocated (the tree so far stays valid). Indices beyond
    // the bitmap's colour table count as black.
    bool Scan(const uint8_t* bitmap);
    // Writes the colour table (blue, green, red, reserved per entry); `table` holds
    // at least the requested colour count. Entries beyond the colours found are
    // left as they are.
    void WritePalette(RGBQUAD* table) const;

    uint32_t LeafCount() const { return leafCount; }

private:
    static constexpr uint32_t kMaxDepth = 8;

    struct Shortcut;
    // Finds (creating on the way) the leaf for a colour; nullptr when out of memory.
    OctreeNode* LeafFor(uint8_t red, uint8_t green, uint8_t blue);
    // The walk of LeafFor from `node` at `level`; records `shortcut` on the way.
    OctreeNode* Descend(OctreeNode* node, uint32_t level, uint8_t red, uint8_t green, uint8_t blue,
                        Shortcut* shortcut);
    // The shortcut of a colour: the top kShortcutBits bits of red, green and blue.
    static uint32_t ShortcutOf(uint8_t red, uint8_t green, uint8_t blue)
    {
        constexpr int drop = 8 - kShortcutBits;
        return (static_cast<uint32_t>(red >> drop) << (2 * kShortcutBits)) |
               (static_cast<uint32_t>(green >> drop) << kShortcutBits) | static_cast<uint32_t>(blue >> drop);
    }
    bool InsertColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    OctreeNode* NewNode(uint32_t level);
    bool MergeDeepestNode();
    void CollectLeafColours(const OctreeNode* node, RGBQUAD* table, uint32_t capacity, uint32_t& index,
                            uint64_t* counts) const;
    static void FreeTree(OctreeNode* node);

    OctreeNode* root = nullptr;
    uint32_t leafCount = 0;
    OctreeNode* reducibleLists[kMaxDepth + 1] = {};
    uint32_t maxColours = 0;
    uint32_t outputColours = 0;
    uint32_t colourBits = 0;

    // Where the walk of a colour may start instead of the root: for each value of
    // the top kShortcutBits bits of red, green and blue, the node a walk for such a
    // colour reached at level kShortcutBits (or earlier, when it ended at a leaf
    // there: a shortcut to an inner node is one to level kShortcutBits). Only a
    // merge can free that node or make it a leaf, so a merge makes every shortcut
    // stale by moving to the next generation; creating nodes leaves them valid, as
    // the walk goes on from the node as it would from the root. Without the table
    // (no memory for it) every walk starts at the root.
    static constexpr int kShortcutBits = 4;
    static constexpr size_t kShortcutCount = size_t{1} << (3 * kShortcutBits);
    struct Shortcut {
        OctreeNode* node = nullptr;
        uint64_t generation = 0;  // valid while equal to `generation`; 0 never is
    };
    std::unique_ptr<Shortcut[]> shortcuts;
    uint64_t generation = 1;  // one per merge: 64 bits never come round
};
