#include "libs/kelvara/codec/huffman_tree.h"

#include <algorithm>
#include <cstdio>
#include <list>

#include "libs/kelvara/codec/debug_trace.h"

namespace kelvara::codec {
namespace {

void PrintTable(const char* title, const std::vector<SymbolProbability>& table) {
  std::printf("%s", title);
  for (size_t i = 0; i < table.size(); ++i)
    std::printf("[%d] %d:%f\n", static_cast<int>(i), table[i].symbol, table[i].probability);
  std::printf("\n");
}

void Walk(const HuffmanNode& node, std::vector<uint8_t>& bits, Codebook& book) {
  if (node.IsLeaf()) {
    book[node.symbol] = bits;
    return;
  }
  if (node.left) {
    bits.push_back(node.leftBit);
    Walk(*node.left, bits, book);
    bits.pop_back();
  }
  if (node.right) {
    bits.push_back(node.rightBit);
    Walk(*node.right, bits, book);
    bits.pop_back();
  }
}

}  // namespace

std::unique_ptr<HuffmanNode> BuildHuffmanTree(std::span<const SymbolProbability> table) {
  DebugTrace(L"\n=== Create Huffman Tree ===\n");
  std::vector<SymbolProbability> rows(table.begin(), table.end());
  PrintTable("ptable before sorting...\n", rows);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const SymbolProbability& a, const SymbolProbability& b) { return a.probability > b.probability; });
  PrintTable("ptable after sorting...\n", rows);

  std::list<std::unique_ptr<HuffmanNode>> nodes;
  for (const auto& row : rows) {
    auto leaf = std::make_unique<HuffmanNode>();
    leaf->symbol = row.symbol;
    leaf->probability = row.probability;
    nodes.push_back(std::move(leaf));
  }
  if (nodes.empty()) return nullptr;

  // Join the two least probable nodes (the last one goes left) and put the
  // result before the first node that is strictly less probable.
  while (nodes.size() > 1) {
    auto parent = std::make_unique<HuffmanNode>();
    parent->left = std::move(nodes.back());
    nodes.pop_back();
    parent->right = std::move(nodes.back());
    nodes.pop_back();
    parent->probability = parent->left->probability + parent->right->probability;
    auto at = std::find_if(nodes.begin(), nodes.end(),
                           [&](const auto& n) { return n->probability < parent->probability; });
    nodes.insert(at, std::move(parent));
  }
  return std::move(nodes.front());
}

Codebook BuildCodebook(const HuffmanNode& root) {
  Codebook book;
  std::vector<uint8_t> bits;
  Walk(root, bits, book);
  std::printf("Codebook <Key> : <Code>\n");
  for (const auto& [symbol, code] : book) {
    std::printf("%d : ", symbol);
    for (uint8_t bit : code) std::printf("%d", bit);
    std::printf("\n");
  }
  return book;
}

}  // namespace kelvara::codec
