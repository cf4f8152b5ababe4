// The Huffman tree and codebook of the firmware gamma-string codec.
//
// The tree is always built from the same fixed probability table, in a fixed
// order, so that encoder and decoder (and firmware tools written elsewhere)
// agree on the codes without the string carrying them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace kelvara::codec {

struct SymbolProbability {
  int32_t symbol;
  double probability;
};

// Table version 1: the steps of a gamma ramp are nearly always 1.
inline constexpr int kHuffmanSymbolCount = 5;
inline constexpr SymbolProbability kHuffmanV1[kHuffmanSymbolCount] = {
    {0, 0.0501}, {1, 0.9043}, {2, 0.0441}, {3, 0.0012}, {4, 0.0001}};

struct HuffmanNode {
  int32_t symbol = -1;  // leaves only
  double probability = 0;
  uint8_t leftBit = 0;
  uint8_t rightBit = 1;
  std::unique_ptr<HuffmanNode> left;
  std::unique_ptr<HuffmanNode> right;

  bool IsLeaf() const { return !left && !right; }
};

// Symbol -> its bits, root first.
using Codebook = std::map<int32_t, std::vector<uint8_t>>;

// Builds the tree (printing the table before and after sorting). Null for an
// empty table.
std::unique_ptr<HuffmanNode> BuildHuffmanTree(std::span<const SymbolProbability> table);

// Depth-first, left before right; prints the codebook.
Codebook BuildCodebook(const HuffmanNode& root);

}  // namespace kelvara::codec
