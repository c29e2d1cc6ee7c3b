#pragma once
// Directories for tests under the system's temporary directory. Repository trees are deep and
// their file names long: on Windows the directories carry the "\\?\" prefix and are listed and
// removed through the platform layer, whose calls take such paths (the C++ library's own
// directory walk stops near 260 characters there).

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace repcopy::testutil {

namespace fs = std::filesystem;

// temp/name, with the extended-length prefix on Windows.
inline fs::path temp_path(const std::string& name) {
  const fs::path plain = fs::temp_directory_path() / name;
  return platform::kWindows ? fs::path(u"\\\\?\\" + plain.u16string()) : plain;
}

namespace detail {
inline void walk(const fs::path& dir, const fs::path& rel, std::vector<fs::path>& files,
                 std::vector<fs::path>* dirs) {
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(platform::native_path(dir.u16string()), entries)) return;
  for (const auto& e : entries) {
    // Native names are UTF-8 on Windows; elsewhere the bytes are the path as they stand.
    const fs::path name =
        platform::kWindows ? fs::path(platform::text_name(e.name)) : fs::path(e.name);
    if (e.is_directory) {
      walk(dir / name, rel / name, files, dirs);
      if (dirs != nullptr) dirs->push_back(dir / name);
    } else {
      files.push_back(rel / name);
    }
  }
}
}  // namespace detail

// Every file below root (directories not included), relative to root, sorted.
inline std::vector<fs::path> files_below(const fs::path& root) {
  std::vector<fs::path> files;
  detail::walk(root, fs::path(), files, nullptr);
  std::sort(files.begin(), files.end());
  return files;
}

// Removes root and everything below it; links to directories are removed, not followed.
inline void remove_tree(const fs::path& root) {
  if (!platform::kWindows) {
    fs::remove_all(root);
    return;
  }
  std::vector<fs::path> files, dirs;
  detail::walk(root, fs::path(), files, &dirs);
  for (const fs::path& f : files) platform::remove_path((root / f).u16string());
  for (const fs::path& d : dirs) platform::remove_directory(d.u16string());  // deepest first
  platform::remove_directory(root.u16string());
}

// A fresh directory under the system's temporary directory, removed with everything in it.
struct temp_dir {
  fs::path path = temp_path("repcopy-test-" + std::to_string(std::random_device{}()));
  temp_dir() { fs::create_directories(path); }
  ~temp_dir() { remove_tree(path); }
  std::u16string u16() const { return path.u16string(); }
  std::string native() const { return platform::native_path(u16()); }
  // Every regular file below, as paths relative to the directory.
  std::vector<fs::path> files() const { return files_below(path); }
};

// Writes b to p, making the directories above it.
inline void put(const fs::path& p, std::span<const uint8_t> b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
inline void put(const fs::path& p, const std::vector<uint8_t>& b) {
  put(p, std::span<const uint8_t>(b));
}

inline std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace repcopy::testutil
