#pragma once
// CQuantizer: octree colour quantizer. Scan() adds every pixel of a bitmap to a
// tree of colour clusters that is folded back under a leaf limit after each pixel;
// WritePalette() writes the clusters' average colours as a colour table.

#include "dib_types.h"

#include <cstdint>

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

    // Finds (creating on the way) the leaf for a colour; nullptr when out of memory.
    OctreeNode* LeafFor(uint8_t red, uint8_t green, uint8_t blue);
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

    // The leaf that took the previous pixel and the merge count at that time: while
    // no merge has happened since, an equal colour goes to the same leaf.
    OctreeNode* lastLeaf = nullptr;
    uint32_t lastColour = 0;
    uint64_t merges = 0;
    uint64_t lastLeafMerges = 0;
};
