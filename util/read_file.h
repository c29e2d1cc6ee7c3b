#pragma once
// Reads a whole file into memory with one read call. On failure prints "Can't open file ",
// "Can't get file length " or "Can't read file " with the path on standard output and the
// runtime's error text on standard error, and returns false.

#include <cstdint>
#include <string>
#include <vector>

namespace repcopy {

bool read_whole_file(const std::u16string& path, std::vector<uint8_t>& out);

}  // namespace repcopy
