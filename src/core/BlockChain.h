// Block chain: a singly linked list of guarded allocations freed in one sweep. Containers keep
// their pooled nodes in such a chain. Each block starts with a pointer-sized link to the block
// allocated before it; the usable area follows the link.
#pragma once

struct BlockChain {
  BlockChain* next;   // the block allocated before this one, null for the first

  // The usable area of the block, just after the link.
  void* Data() { return this + 1; }
};

// Allocates a zeroed block with room for count elements of elementSize bytes, links it in front
// of *head and returns it. Null (the chain unchanged) when head is null, count or elementSize is
// not positive, the size does not fit the allocator, or memory is short.
BlockChain* AllocBlockChain(BlockChain** head, int count, int elementSize);

// Frees first and every block linked after it; null is ignored.
void FreeBlockChain(BlockChain* first);
