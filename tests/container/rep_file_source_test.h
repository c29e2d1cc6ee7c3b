#pragma once
// Fixture of the repository file source tests: writes hand-built repository files into a
// temporary directory and reads them back through RepFileSource, capturing what is printed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "container/rep_file_source.h"
#include "tests/container/rep_file_builder.h"
#include "util/crc32.h"
#include "util/text.h"

namespace repcopy::test_rep {

// Caches and three events of a Windows part:
//   event 0: every cache named, two insertion strings, data {9, 8}, computer "ws01" (+1000 s)
//   event 1: category 1, computer "ws02" (offset 0), no source, user or description
//   event 2: nothing named but the computer "ws01"
inline test_part sample_part() {
  test_part p;
  p.cats = {{u"Logon", 12544, 4624}, {u"Logoff", 12545, 4634}};
  p.comps = {{u"ws01", 1000}, {u"ws02", 0}};
  p.descs = {u"An account logged on"};
  p.ins = {u"alice", u"bob", u"carol"};
  p.srcs = {u"Security-Auditing"};
  p.users = {{u"CORP", u"alice", {1, 2, 3}}};
  p.events = {
      ev{.src = 0,
         .cat = 0,
         .comp = 0,
         .user = 0,
         .desc = 0,
         .slots = 2,
         .aux = 7,
         .stored_delta = 100,
         .event_delta = 1100,
         .words = {0, 1},
         .data = {9, 8}},
      ev{.cat = 1, .comp = 1, .stored_delta = 20, .event_delta = 5},
      ev{.comp = 0, .stored_delta = 30, .event_delta = 30},
  };
  p.keys = {11, 12, 13};
  return p;
}

struct read_result {
  int32_t rc = 0;
  std::vector<full_event> events;
  std::string out;
  std::string err;
};

class RepFileSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("repcopy_rfs_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::u16string write(const bytes& file, const std::string& name = "file.rep") {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    std::u16string path;
    from_utf8((dir_ / name).string(), path);
    return path;
  }

  // ProcessFile over the file, with every event collected and the output captured.
  read_result process(const bytes& file, const filter_config* filter = nullptr) {
    return process_path(write(file), filter);
  }
  read_result process_path(const std::u16string& path, const filter_config* filter = nullptr) {
    read_result r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
      RepFileSource source(filter, RepFileImage(path), &outcome_);
      r.rc = source.ProcessFile([&](const full_event& e) { r.events.push_back(e); });
    }
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
  }

  std::string path_text(const std::string& name = "file.rep") const {
    return (dir_ / name).string();
  }

  std::filesystem::path dir_;
  copy_outcome outcome_;
};

inline std::vector<uint32_t> keys_of(const std::vector<full_event>& events) {
  std::vector<uint32_t> keys;
  for (const auto& e : events) keys.push_back(e.record_key);
  return keys;
}

}  // namespace repcopy::test_rep
