// floor_bench: what the compression alone costs on a repository, without any record parsing.
//
//   floor_bench sizes  <repository_dir>                    files, packed and unpacked bytes
//   floor_bench floor  <repository_dir> [level] [threads]  inflate every item and deflate it again
//                                                          with the engine, on all threads
//   floor_bench levels <repository_dir> [first] [last]     one core: zlib 7 against the levels
//                                                          of the engine, size and MB/s
//   floor_bench kinds  <repository_dir> [level]            one core: per kind of item (the name
//                                                          without its part number) the bytes,
//                                                          how well and how fast they pack
//
// The floor is the least time any copy of the repository can take with this engine: every item
// must be unpacked once and every item of the target packed once.

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "compression/deflate.h"
#include "container/packed_item.h"
#include "container/rep_file_buffer.h"
#include "platform/platform.h"
#include "util/message_sink.h"
#include "util/paths.h"
#include "util/read_file.h"

namespace {
// The library's lines (none for sound input) go to the process's own streams.
repcopy::message_sink& bench_console() {
  static repcopy::stream_sink console(std::cout, std::cerr);
  return console;
}
}  // namespace

namespace repcopy {
namespace {

void collect(const std::string& dir, std::vector<std::string>& files) {
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(dir, entries)) return;
  for (const auto& e : entries) {
    std::string path = dir + "/" + e.name;
    if (e.is_directory) {
      collect(path, files);
    } else if (e.name.size() > 4 && e.name.substr(e.name.size() - 4) == ".rep") {
      files.push_back(path);
    }
  }
}

// The unpacked items of one file (empty when it does not load), and their names when asked.
std::vector<byte_buffer> unpack_file(const std::vector<uint8_t>& image, uint64_t& packed,
                                     std::vector<std::u16string>* names = nullptr) {
  std::vector<byte_buffer> items;
  load_flags none{};
  RepFileBuffer file{bench_console(), byte_span(image), none};
  if (file.Load() != 0) return items;
  for (const footer_record& f : file.footers()) {
    for (const part_table_entry& e : f.part_table) {
      unpack_result r = unpack_item(bench_console(), byte_span(image), e.item_offset, e.packed_len);
      if (r.status != 0) continue;
      r.data.resize(size_t(r.real_len));
      packed += e.packed_len;
      items.push_back(std::move(r.data));
      if (names != nullptr) names->push_back(e.name);
    }
  }
  return items;
}

// "events.dat" for "0_events.dat": the kind of item, whichever part it belongs to.
std::string item_kind(const std::u16string& name) {
  size_t start = name.find(u'_');
  start = start == std::u16string::npos ? 0 : start + 1;
  for (size_t i = 0; i + 1 < start; ++i) {
    if (name[i] < u'0' || name[i] > u'9') start = 0;  // no part number: the whole name
  }
  std::string kind;
  for (size_t i = start; i < name.size(); ++i) kind += name[i] < 128 ? char(name[i]) : '?';
  return kind;
}

struct totals {
  std::atomic<uint64_t> packed{0}, unpacked{0}, repacked{0}, items{0};
};

void floor_worker(const std::vector<std::vector<uint8_t>>& images, std::atomic<size_t>& next,
                  int level, totals& t) {
  std::vector<uint8_t> out;
  for (size_t i = next++; i < images.size(); i = next++) {
    uint64_t packed = 0;
    for (const auto& item : unpack_file(images[i], packed)) {
      out.resize(compression::deflate_bound(compression::built_engine(), item.size(), level));
      size_t written = 0;
      if (compression::deflate_raw(compression::built_engine(), item, out, level, written) !=
          compression::kOk) {
        std::abort();
      }
      t.unpacked += item.size();
      t.repacked += written;
      ++t.items;
    }
    t.packed += packed;
  }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::vector<uint8_t>> read_all(const std::u16string& root) {
  std::vector<std::string> files;
  collect(platform::native_path(root), files);
  std::vector<std::vector<uint8_t>> images(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    source_file_reader reader;
    if (!reader.open(files[i]) || !reader.read_all(images[i])) images[i].clear();
  }
  return images;
}

int run(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: floor_bench sizes|floor|levels|kinds <repository_dir> [level] [threads]\n";
    return 2;
  }
  const std::string mode = argv[1];
  std::u16string root;
  if (to_extended_path(bench_console(), argv[2], root) != 0) return 2;
  const auto images = read_all(root);

  if (mode == "sizes") {
    uint64_t packed = 0, unpacked = 0, items = 0;
    for (const auto& image : images) {
      for (const auto& item : unpack_file(image, packed)) {
        unpacked += item.size();
        ++items;
      }
    }
    std::printf("files %zu items %llu packed_bytes %llu unpacked_bytes %llu\n", images.size(),
                (unsigned long long)items, (unsigned long long)packed,
                (unsigned long long)unpacked);
    return 0;
  }
  if (mode == "floor") {
    const compression::engine engine = compression::built_engine();
    const int level = argc > 3 ? compression::engine_level(engine, std::atoi(argv[3]))
                               : compression::default_level(engine);
    const unsigned threads =
        argc > 4 ? unsigned(std::atoi(argv[4])) : std::max(1u, std::thread::hardware_concurrency());
    totals t;
    std::atomic<size_t> next{0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i) {
      pool.emplace_back(floor_worker, std::cref(images), std::ref(next), level, std::ref(t));
    }
    for (auto& th : pool) th.join();
    const double s = seconds_since(start);
    std::printf(
        "floor %s level %d threads %u: %.2f s, %.1f MB/s unpacked, %llu items, %llu -> "
        "%llu packed bytes\n",
        compression::engine_name(engine), level, threads, s, double(t.unpacked) / 1e6 / s,
        (unsigned long long)t.items.load(), (unsigned long long)t.packed.load(),
        (unsigned long long)t.repacked.load());
    return 0;
  }
  if (mode == "kinds") {
    const compression::engine engine = compression::built_engine();
    const int level = argc > 3 ? compression::engine_level(engine, std::atoi(argv[3]))
                               : compression::default_level(engine);
    struct kind_totals {
      uint64_t items = 0, unpacked = 0, packed = 0;
      double seconds = 0;
    };
    std::map<std::string, kind_totals> kinds;
    kind_totals all;
    std::vector<uint8_t> out;
    for (const auto& image : images) {
      uint64_t packed = 0;
      std::vector<std::u16string> names;
      const auto items = unpack_file(image, packed, &names);
      for (size_t i = 0; i < items.size(); ++i) {
        out.resize(compression::deflate_bound(engine, items[i].size(), level));
        size_t written = 0;
        // Processor time rather than wall time: the machine may be busy with other work.
        const std::clock_t start = std::clock();
        if (compression::deflate_raw(engine, items[i], out, level, written) != compression::kOk) {
          std::abort();
        }
        const double s = double(std::clock() - start) / CLOCKS_PER_SEC;
        for (kind_totals* t : {&kinds[item_kind(names[i])], &all}) {
          ++t->items;
          t->unpacked += items[i].size();
          t->packed += written;
          t->seconds += s;
        }
      }
    }
    std::printf("%-16s %8s %14s %8s %7s %9s %7s\n", "kind", "items", "unpacked bytes", "share",
                "ratio", "MB/s CPU", "time");
    kinds["(all)"] = all;
    for (const auto& [name, t] : kinds) {
      std::printf("%-16s %8llu %14llu %7.1f%% %7.2f %9.1f %6.1f%%\n", name.c_str(),
                  (unsigned long long)t.items, (unsigned long long)t.unpacked,
                  100.0 * double(t.unpacked) / double(std::max<uint64_t>(all.unpacked, 1)),
                  double(t.unpacked) / double(std::max<uint64_t>(t.packed, 1)),
                  double(t.unpacked) / 1e6 / std::max(t.seconds, 1e-9),
                  100.0 * t.seconds / std::max(all.seconds, 1e-9));
    }
    return 0;
  }
  if (mode == "levels") {
    std::vector<byte_buffer> items;
    uint64_t packed = 0, unpacked = 0;
    for (const auto& image : images) {
      for (auto& item : unpack_file(image, packed)) {
        unpacked += item.size();
        items.push_back(std::move(item));
      }
    }
    std::vector<uint8_t> out;
    auto measure = [&](const char* name, int level, auto&& pack) {
      uint64_t total = 0;
      auto start = std::chrono::steady_clock::now();
      for (const auto& item : items) total += pack(item, level);
      const double s = seconds_since(start);
      std::printf("%-10s %2d  %12llu bytes  ratio %.3f  %7.1f MB/s\n", name, level,
                  (unsigned long long)total, double(unpacked) / double(total),
                  double(unpacked) / 1e6 / s);
      return total;
    };
    measure("zlib", 7, [&](const byte_buffer& item, int level) -> uint64_t {
      uLongf n = compressBound(uLong(item.size())) + 64;
      out.resize(n);
      z_stream z{};
      deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      z.next_in = const_cast<Bytef*>(item.data());
      z.avail_in = uInt(item.size());
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
      uint64_t written = z.total_out;
      deflateEnd(&z);
      return written;
    });
    const int first = argc > 3 ? std::atoi(argv[3]) : 1;
    const int last = argc > 4 ? std::atoi(argv[4]) : compression::kMaxLevel;
    for (int level = first; level <= last; ++level) {
      const compression::engine engine = compression::built_engine();
      measure(compression::engine_name(engine), compression::engine_level(engine, level),
              [&](const byte_buffer& item, int lv) -> uint64_t {
                out.resize(compression::deflate_bound(engine, item.size(), lv));
                size_t written = 0;
                if (compression::deflate_raw(engine, item, out, lv, written) != 0) std::abort();
                return written;
              });
    }
    return 0;
  }
  std::cerr << "unknown mode " << mode << "\n";
  return 2;
}

}  // namespace
}  // namespace repcopy

int main(int argc, char** argv) { return repcopy::run(argc, argv); }
