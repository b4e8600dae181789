// Moves of search-tree nodes. A node's children are handed over, never
// copied: worker trees come back by move and the shuffle swaps nodes.
#include "player/tree.h"

Tree::Tree(Tree&& other) noexcept : children(std::move(other.children)), move(other.move) {
  other.children.clear();
}

Tree& Tree::operator=(Tree&& other) noexcept {
  if (this != &other) {
    children = std::move(other.children);
    other.children.clear();
    move = other.move;
  }
  return *this;
}

void swap(Tree& a, Tree& b) noexcept {
  Tree tmp(std::move(a));
  a = std::move(b);
  b = std::move(tmp);
}
