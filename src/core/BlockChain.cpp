#include "core/BlockChain.h"

#include "core/GuardedAlloc.h"

#include <cstdint>

BlockChain* AllocBlockChain(BlockChain** head, int count, int elementSize) {
  if (head == nullptr || count <= 0 || elementSize <= 0) return nullptr;
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(elementSize) + sizeof(BlockChain);
  if (bytes > 0xFFFFFFFFu) return nullptr;
  auto* block = static_cast<BlockChain*>(GuardedAlloc(static_cast<std::uint32_t>(bytes)));
  if (block == nullptr) return nullptr;
  block->next = *head;
  *head = block;
  return block;
}

void FreeBlockChain(BlockChain* first) {
  while (first != nullptr) {
    BlockChain* next = first->next;
    GuardedFree(first);
    first = next;
  }
}
