// Large blocks are mapped on their own and backed by 2 MiB pages where the
// kernel has them: a fresh block's first touch costs a page fault per page,
// and with 4 KiB pages that costs more than the copy through the block
// (most of all in a virtual machine). Small blocks come from malloc.
#include "platform/large_block.h"

#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>

namespace {

const size_t kHugePageSize = size_t(2) << 20;

bool IsLarge(size_t size) { return size >= kHugePageSize; }

size_t MappedLength(size_t size) {
  return (size + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

}  // namespace

void* AllocateLargeBlock(size_t size) {
  if (!IsLarge(size)) return malloc(size + 1);
  if (size > SIZE_MAX - 2 * kHugePageSize) return nullptr;
  // Mapped one huge page longer, so that a 2 MiB-aligned run of the mapped
  // length fits; the ends on either side are given back.
  const size_t length = MappedLength(size);
  const size_t reserved = length + kHugePageSize;
  void* mapped = mmap(nullptr, reserved, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned =
      (start + kHugePageSize - 1) & ~uintptr_t(kHugePageSize - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  const size_t tail = reserved - (aligned - start) - length;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, length, MADV_HUGEPAGE);  // a hint: refused, 4 KiB pages serve
  return block;
}

void ReleaseLargeBlock(void* block, size_t size) {
  if (block == nullptr) return;
  if (!IsLarge(size)) {
    free(block);
    return;
  }
  munmap(block, MappedLength(size));
}
