// Blocks of memory for a whole file or a whole archive directory: the
// installer moves every file through one block of its size, read whole and
// written whole.
#ifndef GRAVELHORN_PLATFORM_LARGE_BLOCK_H_
#define GRAVELHORN_PLATFORM_LARGE_BLOCK_H_

#include <cstddef>

// A block of at least size bytes (at least one byte for size 0), with
// undefined contents, or nullptr when memory is short.
void* AllocateLargeBlock(size_t size);

// Releases a block from AllocateLargeBlock, given the size it was asked
// for. Does nothing for nullptr.
void ReleaseLargeBlock(void* block, size_t size);

#endif  // GRAVELHORN_PLATFORM_LARGE_BLOCK_H_
