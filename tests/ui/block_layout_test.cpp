#include "ui/block_layout.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

constexpr std::int64_t kUnit = kBlockUnitBytes;

TEST(BlockLayout, Table) {
  struct Case {
    const char* name;
    std::int64_t file_size, part_size;
    int width, height;
    BlockLayout expected;  // cell size, per row, per part, units per cell, count
  };
  const Case cases[] = {
      {"parts below 20 units still get 20 cells of one unit", 10000, 1000, 200, 100, {10, 20, 20, 1, 200}},
      {"a big file needs 16 units per cell to fit", kUnit * 3000, kUnit * 1000, 200, 100, {10, 20, 62, 16, 186}},
      {"the last, shorter part gets the cells its bytes need", kUnit * 2500, kUnit * 1000, 200, 100,
       {10, 20, 76, 13, 190}},
      {"a grid taller than the view leaves room for the scroll bar", 10000, 1000, 200, 50, {10, 18, 20, 1, 200}},
      {"a part of exactly one unit", kUnit * 5, kUnit, 200, 100, {10, 20, 20, 1, 100}},
      {"one stream: the part is the whole file", kUnit * 400, kUnit * 400, 200, 100, {10, 20, 133, 3, 133}},
      {"a view without room still has one cell per row", 10000, 1000, 0, 0, {10, 1, 20, 1, 200}},
      {"an empty file has no cells", 0, 1000, 200, 100, {10, 20, 20, 1, 0}},
  };
  for (const Case& c : cases) {
    auto layout = LayOutBlocks(c.file_size, c.part_size, c.width, c.height);
    ASSERT_TRUE(layout.has_value()) << c.name;
    EXPECT_EQ(*layout, c.expected) << c.name << ": per row " << layout->cells_per_row << ", per part "
                                   << layout->cells_per_part << ", units " << layout->units_per_cell << ", count "
                                   << layout->cell_count;
  }
}

TEST(BlockLayout, PartsSmallerThanAUnitAreIgnored) {
  EXPECT_FALSE(LayOutBlocks(10000, kUnit - 1, 200, 100));
  EXPECT_FALSE(LayOutBlocks(10000, 0, 200, 100));
  EXPECT_FALSE(LayOutBlocks(10000, -5, 200, 100));
  EXPECT_TRUE(LayOutBlocks(10000, kUnit, 200, 100));
}

TEST(BlockLayout, GridHeightAddsHalfARowAndAHalf) {
  EXPECT_EQ(GridHeight({10, 20, 20, 1, 200}), 115);   // 10 rows
  EXPECT_EQ(GridHeight({10, 20, 62, 16, 186}), 115);  // 9.3 rows round up
  EXPECT_EQ(GridHeight({10, 20, 20, 1, 0}), 15);
}

TEST(BlockLayout, ProgressCellsAndPositions) {
  const BlockLayout layout{10, 20, 62, 16, 186};
  EXPECT_EQ(CellOffsetFor(layout, kUnit * 16 * 5 + 3), 5);
  EXPECT_EQ(CellOffsetFor(layout, kUnit * 16 - 1), 0);
  EXPECT_EQ(CellOffsetFor(layout, -1), 0);

  EXPECT_EQ(CellsBetween(layout, 1, 0, 3), (std::vector<int>{62, 63, 64, 65}));
  EXPECT_EQ(CellsBetween(layout, 2, 5, 2), (std::vector<int>{126, 127, 128, 129}));
  EXPECT_EQ(CellsBetween(layout, 2, 60, 70), (std::vector<int>{184, 185}));  // the grid ends at 185
  EXPECT_TRUE(CellsBetween(layout, 3, 0, 5).empty());
  EXPECT_TRUE(CellsBetween(layout, -1, 0, 5).empty());

  EXPECT_EQ(CellAt(layout, 0), (CellPosition{0, 0}));
  EXPECT_EQ(CellAt(layout, 25), (CellPosition{50, 10}));
  EXPECT_EQ(CellAt(layout, 185), (CellPosition{50, 90}));
}

TEST(BlockLayout, CellsAreDoneUpToTheirPartsOffset) {
  const BlockLayout layout{10, 20, 20, 1, 60};
  const std::map<int, int> offsets{{0, 3}, {2, 0}};
  EXPECT_TRUE(CellDone(layout, offsets, 0));
  EXPECT_TRUE(CellDone(layout, offsets, 3));
  EXPECT_FALSE(CellDone(layout, offsets, 4));
  EXPECT_FALSE(CellDone(layout, offsets, 20));  // part 1 has no progress yet
  EXPECT_TRUE(CellDone(layout, offsets, 40));
  EXPECT_FALSE(CellDone(layout, offsets, 41));
}

}  // namespace
}  // namespace tarvolin
