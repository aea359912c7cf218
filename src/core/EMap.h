// EMap<K, V>: the program's chained hash map from a pointer-sized key (a window handle, an
// integer) to a pointer-sized value. Nodes come from pooled blocks kept in a block chain and
// recycled through a free list; memory is from GuardedAlloc. No locking, no exceptions.
//
// A key's bucket is (key / 16) mod the bucket count, on the key's unsigned value (the pointer
// value for pointer keys). The bucket array is allocated at the first insertion. When the last
// key is removed the whole map is cleared: its buckets and node blocks go back to the allocator.
#pragma once

#include "core/BlockChain.h"
#include "core/GuardedAlloc.h"

#include <cstdint>
#include <type_traits>

template <typename K, typename V>
class EMap {
 public:
  struct Node {
    Node* next;            // next node in the bucket, or in the free list
    std::uint32_t bucket;  // index of the bucket holding the node
    K key;
    V value;
  };

  // Nodes live in zeroed block-chain memory and are never constructed or destroyed; a block's
  // nodes start one pointer-sized link into a 16-byte aligned allocation.
  static_assert(std::is_trivially_copyable_v<K> && std::is_trivially_copyable_v<V>,
                "EMap keys and values are plain values");
  static_assert(alignof(Node) <= sizeof(BlockChain), "EMap nodes must fit the block chain's alignment");

  static constexpr int kDefaultBucketCount = 17;

  // An empty map without buckets; node blocks hold nodesPerBlock nodes (10 when <= 0).
  explicit EMap(int nodesPerBlock = 10)
      : nodesPerBlock(nodesPerBlock > 0 ? nodesPerBlock : 10) {}
  ~EMap() { Clear(); }

  EMap(const EMap&) = delete;
  EMap& operator=(const EMap&) = delete;

  int GetCount() const { return count; }
  int GetBucketCount() const { return bucketCount; }
  bool HasBuckets() const { return buckets != nullptr; }
  // Node blocks currently held.
  int GetBlockCount() const {
    int n = 0;
    for (const BlockChain* block = blocks; block != nullptr; block = block->next) ++n;
    return n;
  }

  // Sets the bucket count to n, meant for use before the first insertion; with allocate the
  // zeroed bucket heads are allocated now, else at the first insertion. Keys already held are
  // rehashed into the new buckets. False (nothing changed) when n <= 0 or when keys are held and
  // the new bucket array cannot be allocated; true otherwise, even when an allocation asked for
  // on an empty map failed (the first insertion tries again).
  bool ResizeBuckets(int n, bool allocate) {
    if (n <= 0) return false;
    if (count == 0) {
      GuardedFree(buckets);
      buckets = nullptr;
      bucketCount = n;
      if (allocate) buckets = AllocateBuckets(n);
      return true;
    }
    Node** fresh = AllocateBuckets(n);
    if (fresh == nullptr) return false;
    for (int b = 0; b < bucketCount; ++b) {
      Node* node = buckets[b];
      while (node != nullptr) {
        Node* next = node->next;
        node->bucket = BucketOf(node->key, n);
        node->next = fresh[node->bucket];
        fresh[node->bucket] = node;
        node = next;
      }
    }
    GuardedFree(buckets);
    buckets = fresh;
    bucketCount = n;
    return true;
  }

  // True and the value in out when the key is held; false (out untouched) otherwise. Never
  // allocates.
  bool Lookup(K key, V& out) const {
    std::uint32_t bucket;
    const Node* node = FindNode(key, bucket);
    if (node == nullptr) return false;
    out = node->value;
    return true;
  }

  // The key's value slot, inserting the key with a zero value when absent. When memory is short
  // the key is NOT inserted and the reference is to a scratch slot outside the map (zeroed on
  // every such failure): a value written there is lost and Lookup keeps answering false.
  V& operator[](K key) {
    std::uint32_t bucket;
    if (Node* node = FindNode(key, bucket)) return node->value;
    if (buckets == nullptr) {
      buckets = AllocateBuckets(bucketCount);
      if (buckets == nullptr) return Scratch();
    }
    Node* node = NewNode();
    if (node == nullptr) return Scratch();
    node->bucket = bucket;
    node->key = key;
    node->next = buckets[bucket];
    buckets[bucket] = node;
    return node->value;
  }

  // True when the key was held and is now removed; false otherwise. Removing the last key
  // clears the map.
  bool RemoveKey(K key) {
    if (buckets == nullptr) return false;
    Node** link = &buckets[BucketOf(key, bucketCount)];
    for (Node* node = *link; node != nullptr; link = &node->next, node = node->next) {
      if (KeysEqual(node->key, key)) {
        *link = node->next;
        FreeNode(node);
        return true;
      }
    }
    return false;
  }

  // Frees the bucket array and every node block; count 0, empty free list. The bucket count
  // is kept for the next insertion.
  void Clear() {
    GuardedFree(buckets);
    buckets = nullptr;
    FreeBlockChain(blocks);
    blocks = nullptr;
    freeNodes = nullptr;
    count = 0;
  }

  // The key's node or null; bucket receives the key's bucket index in any case.
  Node* FindNode(K key, std::uint32_t& bucket) const {
    bucket = BucketOf(key, bucketCount);
    if (buckets == nullptr) return nullptr;
    for (Node* node = buckets[bucket]; node != nullptr; node = node->next)
      if (KeysEqual(node->key, key)) return node;
    return nullptr;
  }

  static bool KeysEqual(K a, K b) { return a == b; }

  // Calls visit(key, value) for every key, bucket by bucket. The map must not gain or lose
  // keys during the walk.
  template <typename Visit>
  void ForEach(Visit visit) const {
    if (buckets == nullptr) return;
    for (int b = 0; b < bucketCount; ++b)
      for (const Node* node = buckets[b]; node != nullptr; node = node->next) visit(node->key, node->value);
  }

 protected:
  // A node from the free list with key and value zeroed, counted in; a new block of
  // nodesPerBlock nodes is allocated when the list is empty. Null when memory is short.
  Node* NewNode() {
    if (freeNodes == nullptr) {
      BlockChain* block = AllocBlockChain(&blocks, nodesPerBlock, static_cast<int>(sizeof(Node)));
      if (block == nullptr) return nullptr;
      Node* nodes = static_cast<Node*>(block->Data());
      // Pushed from the last to the first, so the block's first node is handed out first.
      for (int i = nodesPerBlock - 1; i >= 0; --i) {
        nodes[i].next = freeNodes;
        freeNodes = &nodes[i];
      }
    }
    Node* node = freeNodes;
    freeNodes = node->next;
    node->next = nullptr;
    node->key = K{};
    node->value = V{};
    ++count;
    return node;
  }

  // Returns an unlinked node to the free list; the map is cleared when it held the last key.
  void FreeNode(Node* node) {
    node->next = freeNodes;
    freeNodes = node;
    if (--count == 0) Clear();
  }

 private:
  static std::uintptr_t KeyBits(K key) {
    if constexpr (std::is_pointer_v<K>) {
      return reinterpret_cast<std::uintptr_t>(key);
    } else if constexpr (sizeof(K) <= sizeof(std::uint32_t)) {
      return static_cast<std::uint32_t>(key);
    } else {
      return static_cast<std::uintptr_t>(key);
    }
  }
  static std::uint32_t BucketOf(K key, int buckets) {
    return static_cast<std::uint32_t>((KeyBits(key) / 16) % static_cast<std::uintptr_t>(buckets));
  }
  static Node** AllocateBuckets(int n) {
    if (n <= 0 || static_cast<std::uint64_t>(n) * sizeof(Node*) > 0xFFFFFFFFu) return nullptr;
    return static_cast<Node**>(GuardedAlloc(static_cast<std::uint32_t>(n * sizeof(Node*))));
  }
  V& Scratch() {
    scratch = V{};
    return scratch;
  }

  Node** buckets = nullptr;
  int bucketCount = kDefaultBucketCount;
  int count = 0;
  Node* freeNodes = nullptr;
  BlockChain* blocks = nullptr;
  int nodesPerBlock;
  V scratch{};
};
