// The arithmetic of the download block view: how a ranged download's parts
// map onto a grid of cells, and which cells a progress report changes. No
// Windows headers, so it is tested with tables and can be fuzzed natively.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace tarvolin {

// One unit of a cell stands for this many bytes.
inline constexpr std::int64_t kBlockUnitBytes = 218;
inline constexpr int kFewestCellsPerPart = 20;
inline constexpr int kCellSize = 10;
// Room left for the vertical scroll bar when the grid is taller than the view.
inline constexpr int kScrollBarRoom = 18;

struct BlockLayout {
  int cell_size = kCellSize;
  int cells_per_row = 1;
  int cells_per_part = 10;
  int units_per_cell = 1;
  int cell_count = 0;  // 0: no grid yet

  bool operator==(const BlockLayout&) const = default;
};

// The grid for a file of `file_size` bytes fetched in parts of `part_size`
// bytes, in a view of `width` x `height` pixels. Nothing for a part smaller
// than one unit, which could not be divided into cells. A cell stands for at
// least one unit, and a row holds at least one cell, however small the view.
std::optional<BlockLayout> LayOutBlocks(std::int64_t file_size, std::int64_t part_size, int width, int height);

// Height of the scrollable area for the grid.
int GridHeight(const BlockLayout& layout);

// The cell offset within its part that `bytes` received by the part reach.
int CellOffsetFor(const BlockLayout& layout, std::int64_t bytes);

struct CellPosition {
  int x = 0;
  int y = 0;
  bool operator==(const CellPosition&) const = default;
};
CellPosition CellAt(const BlockLayout& layout, int cell);

// Cells of `part` from offset `from` to offset `to` (either order, both
// included) that lie in the grid.
std::vector<int> CellsBetween(const BlockLayout& layout, int part, int from, int to);

// Whether cell `cell` is drawn done: its part has reached the cell's offset.
// A part without progress has all its cells pending.
bool CellDone(const BlockLayout& layout, const std::map<int, int>& part_offsets, int cell);

}  // namespace tarvolin
