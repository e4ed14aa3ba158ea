#include "ui/block_layout.h"

#include <algorithm>

namespace tarvolin {

std::optional<BlockLayout> LayOutBlocks(std::int64_t file_size, std::int64_t part_size, int width, int height) {
  if (part_size < kBlockUnitBytes || file_size < 0) return std::nullopt;
  BlockLayout layout;
  const std::int64_t cells_that_fit = std::max<std::int64_t>(1, std::int64_t{width / kCellSize} * (height / kCellSize));
  const std::int64_t units = file_size / kBlockUnitBytes;
  // The fewest units per cell that let the file's cells fit in the view: the
  // smallest i with units / i < cells_that_fit.
  const std::int64_t units_per_cell_to_fit = units / cells_that_fit + 1;
  const std::int64_t part_units = part_size / kBlockUnitBytes;
  layout.cells_per_part = static_cast<int>(std::max<std::int64_t>(kFewestCellsPerPart, part_units / units_per_cell_to_fit));
  // A part below 20 units still gets 20 cells; each then stands for one unit.
  layout.units_per_cell = static_cast<int>(std::max<std::int64_t>(1, part_units / layout.cells_per_part));
  layout.cells_per_row = std::max(1, width / kCellSize);
  const std::int64_t whole_parts = file_size / part_size;
  const std::int64_t rest_cells = file_size % part_size / kBlockUnitBytes / layout.units_per_cell;
  layout.cell_count = static_cast<int>(std::min<std::int64_t>(layout.cells_per_part * whole_parts + rest_cells, INT32_MAX));
  const std::int64_t rows = (std::int64_t{layout.cell_count} + layout.cells_per_row - 1) / layout.cells_per_row;
  if (rows * kCellSize > height) layout.cells_per_row = std::max(1, (width - kScrollBarRoom) / kCellSize);
  return layout;
}

int GridHeight(const BlockLayout& layout) {
  const int rows = (layout.cell_count + layout.cells_per_row - 1) / layout.cells_per_row;
  return rows * layout.cell_size + layout.cell_size * 3 / 2;
}

int CellOffsetFor(const BlockLayout& layout, std::int64_t bytes) {
  const std::int64_t offset = std::max<std::int64_t>(0, bytes) / kBlockUnitBytes / layout.units_per_cell;
  return static_cast<int>(std::min<std::int64_t>(offset, INT32_MAX));
}

CellPosition CellAt(const BlockLayout& layout, int cell) {
  return {cell % layout.cells_per_row * layout.cell_size, cell / layout.cells_per_row * layout.cell_size};
}

std::vector<int> CellsBetween(const BlockLayout& layout, int part, int from, int to) {
  std::vector<int> cells;
  if (part < 0) return cells;
  const std::int64_t base = std::int64_t{part} * layout.cells_per_part;
  const std::int64_t first = std::max<std::int64_t>(0, base + std::min(from, to));
  const std::int64_t last = std::min<std::int64_t>(layout.cell_count - 1, base + std::max(from, to));
  for (std::int64_t cell = first; cell <= last; ++cell) cells.push_back(static_cast<int>(cell));
  return cells;
}

bool CellDone(const BlockLayout& layout, const std::map<int, int>& part_offsets, int cell) {
  auto found = part_offsets.find(cell / layout.cells_per_part);
  return found != part_offsets.end() && found->second >= cell % layout.cells_per_part;
}

}  // namespace tarvolin
