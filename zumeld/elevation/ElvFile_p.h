// Pieces the elevation-file loader and the compressed-record reader share. Private: not
// installed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zumeld/platform/afx.h"
#include "zumeld/util/SharedBlock.h"

namespace Zumeld {

// A block of bytes read from an archive: `size` bytes delivered (the block may be larger).
struct ArchiveBlock {
    SharedBlock<BYTE> data;
    std::size_t size = 0;
};

// Reads up to `count` bytes from a loading archive; fewer when the file ends first, and no
// exception then. The block is sized from the file's length and grows only while bytes keep
// arriving, so a count far beyond the end of a short file allocates little.
ArchiveBlock ReadArchiveBlock(CArchive& ar, std::uint64_t count);

}  // namespace Zumeld
