// MemberTree: the members of a structure value, ordered by name (unsigned
// bytes, strcmp order), as a left-leaning red-black tree whose nodes are
// arena slots.
//
// A node holds its two links, its name with the colour in the pointer's low
// bit, and its value: 48 bytes on 64-bit targets (a standard map node takes
// 64). Members are never removed one by one, so nodes need no parent link:
// insertion keeps its path on a small stack, iteration too. Nodes never move,
// so a reference to a member's value stays valid while the member exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/InternedString.h"

namespace qor {

struct MemberNode {
  MemberNode* left;
  MemberNode* right;
  std::uintptr_t nameBits;  // InternedString* (aligned to 8) | 1 when red
  BindingProperty value;

  InternedString* name() const noexcept { return reinterpret_cast<InternedString*>(nameBits & ~std::uintptr_t{1}); }
  bool red() const noexcept { return nameBits & 1u; }
  void setRed(bool r) noexcept { nameBits = (nameBits & ~std::uintptr_t{1}) | std::uintptr_t{r}; }
};

class MemberTree {
 public:
  // A left-leaning red-black tree of n nodes is at most 2*log2(n + 1) high;
  // n < 2^32 here (the member count is 32-bit).
  static constexpr std::size_t kMaxHeight = 64;

  // The way from the root down to where a missing name belongs.
  struct InsertPath {
    MemberNode* nodes[kMaxHeight];
    bool wentLeft[kMaxHeight];
    std::size_t depth = 0;
    bool allRight = true;  // the name sorts after every member
  };

  std::uint32_t size() const noexcept { return count_; }

  const MemberNode* find(std::string_view name) const noexcept {
    const MemberNode* n = root_;
    while (n) {
      const int order = compareBytes(name, n->name()->view());
      if (order == 0) return n;
      n = order < 0 ? n->left : n->right;
    }
    return nullptr;
  }

  // The member named `name`, or null with `path` set for insertAt. Names
  // usually arrive in ascending order (every encoder of ours writes them so):
  // one that sorts after the greatest member goes down the right edge
  // without a comparison on the way.
  MemberNode* findOrPath(std::string_view name, InsertPath& path) {
    path.depth = 0;
    path.allRight = true;
    if (last_) {
      const int order = compareBytes(last_->name()->view(), name);
      if (order == 0) return last_;
      if (order < 0) {
        for (MemberNode* n = root_; n; n = n->right) push(path, n, false);
        return nullptr;
      }
    }
    for (MemberNode* n = root_; n;) {
      const int order = compareBytes(name, n->name()->view());
      if (order == 0) return n;
      push(path, n, order < 0);
      if (order < 0) path.allRight = false;
      n = order < 0 ? n->left : n->right;
    }
    return nullptr;
  }

  // Links `node` (name and value set) where `path` says, then rebalances the
  // path bottom-up.
  void insertAt(InsertPath& path, MemberNode* node) noexcept {
    node->left = nullptr;
    node->right = nullptr;
    node->setRed(true);
    if (path.allRight) last_ = node;
    ++count_;
    MemberNode* child = node;
    for (std::size_t i = path.depth; i-- > 0;) {
      MemberNode* h = path.nodes[i];
      (path.wentLeft[i] ? h->left : h->right) = child;
      child = fixUp(h);
    }
    root_ = child;
    root_->setRed(false);
  }

  // Makes this empty tree a copy of `source` with the same shape and colours,
  // so it is balanced without a comparison. `make(node)` returns a new node
  // holding the source node's name and an empty value; `fill(copy, node)`
  // then copies the value. Every node is linked before its value and its
  // children are copied, so a failure part-way leaves a tree that drain()
  // can still clear. Recursion follows the tree's height (at most 64).
  template <typename Make, typename Fill>
  void cloneFrom(const MemberTree& source, Make&& make, Fill&& fill) {
    cloneInto(root_, source.root_, make, fill);
    MemberNode* n = root_;
    while (n && n->right) n = n->right;
    last_ = n;
  }

  // Visits every member in name order.
  template <typename F>
  void forEach(F&& fn) const {
    const MemberNode* stack[kMaxHeight];
    std::size_t depth = 0;
    const MemberNode* n = root_;
    while (n || depth) {
      while (n) {
        stack[depth++] = n;
        n = n->left;
      }
      n = stack[--depth];
      fn(*const_cast<MemberNode*>(n));
      n = n->right;
    }
  }

  // Hands every node to `dispose` in name order, once each, and leaves the
  // tree empty. The links are turned into a list as it goes, so no stack is
  // needed and `dispose` may free the node it is given.
  template <typename F>
  void drain(F&& dispose) {
    MemberNode* n = root_;
    root_ = nullptr;
    last_ = nullptr;
    count_ = 0;
    while (n) {
      if (MemberNode* l = n->left) {
        n->left = l->right;
        l->right = n;
        n = l;
      } else {
        MemberNode* next = n->right;
        dispose(n);
        n = next;
      }
    }
  }

 private:
  static void push(InsertPath& path, MemberNode* n, bool left) {
    if (path.depth == kMaxHeight) throw std::length_error("BindingProperty structure too deep");
    path.nodes[path.depth] = n;
    path.wentLeft[path.depth] = left;
    ++path.depth;
  }

  template <typename Make, typename Fill>
  void cloneInto(MemberNode*& slot, const MemberNode* from, Make& make, Fill& fill) {
    if (!from) return;
    MemberNode* node = make(*from);
    node->left = nullptr;
    node->right = nullptr;
    node->setRed(from->red());
    slot = node;
    ++count_;
    fill(*node, *from);
    cloneInto(node->left, from->left, make, fill);
    cloneInto(node->right, from->right, make, fill);
  }

  static bool isRed(const MemberNode* n) noexcept { return n && n->red(); }

  static MemberNode* rotateLeft(MemberNode* h) noexcept {
    MemberNode* x = h->right;
    h->right = x->left;
    x->left = h;
    x->setRed(h->red());
    h->setRed(true);
    return x;
  }
  static MemberNode* rotateRight(MemberNode* h) noexcept {
    MemberNode* x = h->left;
    h->left = x->right;
    x->right = h;
    x->setRed(h->red());
    h->setRed(true);
    return x;
  }
  // Restores the left-leaning 2-3 shape at `h` after an insertion below it;
  // returns the subtree's new top.
  static MemberNode* fixUp(MemberNode* h) noexcept {
    if (isRed(h->right) && !isRed(h->left)) h = rotateLeft(h);
    if (isRed(h->left) && isRed(h->left->left)) h = rotateRight(h);
    if (isRed(h->left) && isRed(h->right)) {
      h->setRed(true);
      h->left->setRed(false);
      h->right->setRed(false);
    }
    return h;
  }

  MemberNode* root_ = nullptr;
  MemberNode* last_ = nullptr;  // the member with the greatest name
  std::uint32_t count_ = 0;
};

}  // namespace qor
