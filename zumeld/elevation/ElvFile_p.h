// Pieces the elevation-file loader and the compressed-record reader share. Private: not
// installed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zumeld/platform/afx.h"
#include "zumeld/util/SharedBlock.h"

namespace Zumeld {

// A block of bytes read from an archive: `size` bytes at `bytes` delivered. `data` owns
// them (and may be larger), or is null when they are the archive's file's own bytes in memory.
struct ArchiveBlock {
    SharedBlock<BYTE> data;
    const BYTE* bytes = nullptr;
    std::size_t size = 0;
};

// Reads up to `count` bytes from a loading archive; fewer when the file ends first, and no
// exception then. The block is sized from the file's length and grows only while bytes keep
// arriving, so a count far beyond the end of a short file allocates little.
ArchiveBlock ReadArchiveBlock(CArchive& ar, std::uint64_t count);

// As ReadArchiveBlock, but when the archive's file holds its bytes in memory (a CMemFile)
// the block points at them instead of copying: valid while the file is, and unwritten.
ArchiveBlock ReadArchiveBlockInPlace(CArchive& ar, std::uint64_t count);

}  // namespace Zumeld
