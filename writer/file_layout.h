#pragma once
// What only the writer needs on top of container/format.h: the order of its items in writer
// positions (the positions of create_segment), and which writers may leave their item out.

#include <array>

namespace repcopy {

// Writer positions in the order their items stand in the file: the item order kItemWriteOrder
// of container/format.h, expressed in writer positions instead of Buffer IDs.
inline constexpr std::array<int, 15> kFileOrder = {0, 1, 2,  11, 7,  3, 8, 6,
                                                   4, 5, 12, 13, 14, 9, 10};
// Writers whose item is left out of the file when it is empty.
inline constexpr bool omitted_when_empty(int position) { return position >= 12 && position <= 14; }

}  // namespace repcopy
