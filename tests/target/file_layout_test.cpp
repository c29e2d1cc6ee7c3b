#include "target/file_layout.h"

#include <gtest/gtest.h>

#include <string_view>

#include "container/format.h"
#include "records/segment.h"

namespace repcopy {
namespace {

// The writer's order in its positions and the readers' order in Buffer IDs name the same items.
TEST(FileLayout, FileOrderIsTheItemWriteOrderInWriterPositions) {
  ASSERT_EQ(kFileOrder.size(), size_t(kBufferIdCount));
  for (size_t i = 0; i < kFileOrder.size(); ++i) {
    EXPECT_EQ(std::string_view(create_segment(kFileOrder[i])->item_name),
              kItemNames[kItemWriteOrder[i]])
        << i;
  }
}

}  // namespace
}  // namespace repcopy
