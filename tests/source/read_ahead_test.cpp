// Reading files ahead on helper threads: the events and the console output come out as one
// thread reading the files in order gives them.
#include "source/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "source/rep_source2.h"
#include "source/repository_walk.h"
#include "tests/process_util.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy {
namespace {

// A stand-in file: `events` events with record keys key0, key0+1, ...; each text is printed
// just before the event of its position (position == events: after the last one); an
// exception after `throw_after` events when set.
struct fake_file {
  uint32_t key0;
  uint32_t events;
  std::vector<std::tuple<uint32_t, bool, std::string>> texts = {};  // position, to cerr, text
  int throw_after = -1;
  std::string walk_text = {};  // printed by the walk before it reaches the file
};

int32_t read_fake(message_sink& messages, const fake_file& f, const event_sink& sink) {
  for (uint32_t i = 0; i <= f.events; ++i) {
    for (const auto& [position, to_error, text] : f.texts) {
      if (position != i) continue;
      if (to_error) {
        messages.err(message_kind::warning) << text;
      } else {
        messages.out(message_kind::notice) << text;
      }
    }
    if (int(i) == f.throw_after) throw std::runtime_error("unreadable " + std::to_string(f.key0));
    if (i == f.events) break;
    full_event e;
    e.record_key = f.key0 + i;
    e.data.assign(100 + i % 7, uint8_t(i));
    sink(e);
  }
  return 0;
}

std::vector<fake_file> fake_files() {
  std::vector<fake_file> files;
  for (uint32_t n = 0; n < 24; ++n) {
    fake_file f{n * 1000, (n * 37) % 50};  // some files give no events
    if (n % 3 == 0) f.texts.push_back({0, true, "first of " + std::to_string(n)});
    if (n % 4 == 1) f.texts.push_back({f.events / 2, false, "middle of " + std::to_string(n)});
    if (n % 5 == 2) f.texts.push_back({f.events, true, "damaged " + std::to_string(n)});
    if (n % 7 == 3) f.walk_text = "walk before " + std::to_string(n);
    files.push_back(f);
  }
  return files;
}

// The walk over count stand-in files: each path is the file's number as one character.
struct numbered_walk {
  size_t count, next = 0;
  bool operator()(message_sink&, std::string& path) {
    if (next == count) return false;
    path = std::string(1, char(next++));
    return true;
  }
};
size_t number_of(const std::string& path) { return size_t(static_cast<unsigned char>(path[0])); }

// What a consumer sees: each event as a line on standard output between the readers' texts.
struct transcript {
  std::string out, err, error;
  bool operator==(const transcript&) const = default;
};

// Runs body with both outputs captured; an exception it throws ends it and is kept.
template <typename Body>
transcript transcribe(Body body) {
  transcript t;
  std::tie(t.out, t.err) = capture_output([&] {
    try {
      body();
    } catch (const std::runtime_error& e) {
      t.error = e.what();
    }
    std::cout.flush();
  });
  return t;
}

// One thread, file after file, as the walk without helpers reads them.
transcript reference(const std::vector<fake_file>& files) {
  return transcribe([&] {
    for (const fake_file& f : files) {
      if (!f.walk_text.empty()) std::cout << f.walk_text << std::endl;
      read_fake(test_console(), f,
                [](const full_event& e) { std::cout << "event " << e.record_key << "\n"; });
    }
    std::cout << "walk end" << std::endl;
  });
}

transcript ahead(const std::vector<fake_file>& files, unsigned threads, read_ahead::limits bounds) {
  size_t next_file = 0;
  read_ahead reader(
      test_console(), threads,
      [&](message_sink& messages, std::string& path) {
        if (next_file == files.size()) {
          messages.out(message_kind::notice) << "walk end";
          return false;
        }
        if (!files[next_file].walk_text.empty())
          messages.out(message_kind::notice) << files[next_file].walk_text;
        path = std::string(1, char(next_file++));
        return true;
      },
      [&](message_sink& messages, const std::string& path, const event_sink& sink) {
        return read_fake(messages, files[number_of(path)], sink);
      },
      bounds);
  return transcribe([&] {
    for (stored_event e; reader.next(e) == 0;) std::cout << "event " << e.record_key << "\n";
  });
}

TEST(ReadAhead, EventsAndMessagesInSerialOrderWhateverTheThreadsAndBounds) {
  std::vector<fake_file> files = fake_files();
  const transcript expected = reference(files);
  ASSERT_NE(expected.out.find("middle of 1\n"), std::string::npos);
  ASSERT_NE(expected.err.find("damaged 2\n"), std::string::npos);
  // Chunks of one event and a byte bound of one event make every helper wait its turn.
  const read_ahead::limits tight{2, 1, 1, 1, {}, {}}, loose{};
  read_ahead::limits tight_spare = tight, loose_spare = loose;
  tight_spare.spare_processor = loose_spare.spare_processor = [] { return true; };
  for (unsigned threads : {1u, 2u, 4u}) {
    for (const read_ahead::limits& bounds : {tight, loose, tight_spare, loose_spare}) {
      EXPECT_EQ(ahead(files, threads, bounds), expected)
          << threads << " threads, chunk " << bounds.chunk_events;
    }
  }
  // An exception of a file reader comes after everything before it.
  files[9].throw_after = 5;
  const transcript failed = reference(files);
  ASSERT_EQ(failed.error, "unreadable 9000");
  for (unsigned threads : {1u, 3u}) {
    transcript t = ahead(files, threads, tight);
    EXPECT_EQ(t.error, failed.error);
    EXPECT_EQ(t.err, failed.err);
    // The consumer stops at the exception; the helpers read on until they are stopped.
    EXPECT_EQ(t.out, failed.out);
  }
}

TEST(ReadAhead, EventsInHandStayWithinTheByteBound) {
  std::vector<fake_file> files;
  for (uint32_t n = 0; n < 16; ++n) files.push_back({n * 10000, 3000});
  const uint64_t event = stored_event(full_event{}).bytes() + 130;  // what one fake event holds
  read_ahead::limits bounds;
  bounds.bytes = 200 * event;
  bounds.chunk_events = 50;
  read_ahead reader(
      test_console(), 3, numbered_walk{files.size()},
      [&](message_sink& messages, const std::string& path, const event_sink& sink) {
        return read_fake(messages, files[number_of(path)], sink);
      },
      bounds);
  uint64_t count = 0;
  for (stored_event e; reader.next(e) == 0;) {
    ASSERT_EQ(e.record_key, (count / 3000) * 10000 + count % 3000);
    ++count;
  }
  EXPECT_EQ(count, 16u * 3000);
  // Each of the queued files may hold one chunk beyond the bound.
  EXPECT_LE(reader.peak_bytes(), bounds.bytes + 8 * 50 * event);
  EXPECT_GE(reader.peak_bytes(), 50 * sizeof(stored_event));
}

// Only the first event of each chunk names its source file; following the events in order, the
// last file named is always the file an event came from.
TEST(ReadAhead, TheFirstEventOfEachChunkNamesTheFile) {
  const std::vector<fake_file> files = fake_files();
  std::vector<std::shared_ptr<const std::string>> paths;
  for (size_t n = 0; n < files.size(); ++n)
    paths.push_back(std::make_shared<const std::string>("file " + std::to_string(n)));
  read_ahead::limits bounds;
  bounds.chunk_events = 7;
  read_ahead reader(
      test_console(), 3, numbered_walk{files.size()},
      [&](message_sink& messages, const std::string& path, const event_sink& sink) {
        const size_t n = number_of(path);
        return read_fake(messages, files[n], [&](full_event& e) {
          e.source_file.path = paths[n];
          sink(e);
        });
      },
      bounds);
  std::shared_ptr<const std::string> current;
  uint64_t events = 0, named = 0, chunks = 0;
  for (stored_event e; reader.next(e) == 0; ++events) {
    if (e.source_file.path) {
      current = e.source_file.path;
      ++named;
    }
    ASSERT_EQ(current, paths[e.record_key / 1000]) << e.record_key;
  }
  for (const fake_file& f : files) chunks += (f.events + 6) / 7;
  EXPECT_EQ(named, chunks);
  EXPECT_GT(events, 3 * named);
}

// The files being read are held whole in memory: their sizes count against the byte bound. A
// file starts only when it fits beside the others, or when it is the oldest; so at most one file
// passes the bound, and a file larger than the bound is never read beside another such file.
TEST(ReadAhead, FilesBeingReadCountAgainstTheByteBound) {
  const std::vector<uint64_t> sizes = {3000, 20000, 20000, 20000, 3000, 3000,
                                       3000, 3000,  9000,  9000,  20000, 3000};
  read_ahead::limits bounds;
  bounds.bytes = 10000;
  bounds.file_bytes = [&](const std::string& path) { return sizes[number_of(path)]; };
  std::mutex lock;
  std::condition_variable changed;
  uint64_t in_flight = 0, peak = 0;
  size_t files_in_flight = 0, large_in_flight = 0, peak_large = 0;
  read_ahead reader(
      test_console(), 4, numbered_walk{sizes.size()},
      [&](message_sink& messages, const std::string& path, const event_sink& sink) {
        const uint64_t size = sizes[number_of(path)];
        {
          std::unique_lock<std::mutex> l(lock);
          in_flight += size;
          ++files_in_flight;
          if (size > bounds.bytes) ++large_in_flight;
          peak = std::max(peak, in_flight);
          peak_large = std::max(peak_large, large_in_flight);
          changed.notify_all();
          // Give the other helpers a chance to start beside this file; the bound is checked
          // whatever they do.
          changed.wait_for(l, std::chrono::milliseconds(20), [&] { return files_in_flight > 1; });
        }
        read_fake(messages, {0, 1}, sink);
        std::lock_guard<std::mutex> l(lock);
        in_flight -= size;
        --files_in_flight;
        if (size > bounds.bytes) --large_in_flight;
        return 0;
      },
      bounds);
  size_t events = 0;
  for (stored_event e; reader.next(e) == 0;) ++events;
  EXPECT_EQ(events, sizes.size());
  EXPECT_LE(peak, bounds.bytes + 20000);
  EXPECT_EQ(peak_large, 1u);
  EXPECT_LE(reader.peak_file_bytes(), bounds.bytes + 20000);
  EXPECT_GE(reader.peak_file_bytes(), 20000u);
}

// The spare helper reads beside the others while the processor is spare, and never otherwise.
TEST(ReadAhead, SpareHelperReadsOnlyWhileAProcessorIsSpare) {
  for (const bool spare : {true, false}) {
    std::atomic<bool> spare_now{spare};
    std::mutex lock;
    std::condition_variable changed;
    size_t files_in_flight = 0, peak_in_flight = 0, files_started = 0;
    std::set<std::thread::id> readers;
    read_ahead::limits bounds;
    bounds.spare_processor = [&] { return spare_now.load(); };
    read_ahead reader(
        test_console(), 1, numbered_walk{12},
        [&](message_sink& messages, const std::string& path, const event_sink& sink) {
          {
            std::unique_lock<std::mutex> l(lock);
            readers.insert(std::this_thread::get_id());
            peak_in_flight = std::max(peak_in_flight, ++files_in_flight);
            changed.notify_all();
            // The first file to start, whichever it is, waits for a second reader (the bound is
            // for a broken spare helper only): the other helper has claimed, or can claim,
            // another of the queued files.
            if (spare && files_started++ == 0) {
              changed.wait_for(l, std::chrono::seconds(10), [&] { return files_in_flight > 1; });
            }
          }
          read_fake(messages, {uint32_t(number_of(path)) * 100, 3}, sink);
          std::lock_guard<std::mutex> l(lock);
          --files_in_flight;
          return 0;
        },
        bounds);
    std::vector<uint32_t> keys;
    for (stored_event e; reader.next(e) == 0;) {
      keys.push_back(e.record_key);
      // Once the writers have work, the spare helper stops starting files.
      if (keys.size() == 6) spare_now = false;
    }
    ASSERT_EQ(keys.size(), 36u);
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], (i / 3) * 100 + i % 3);
    EXPECT_EQ(peak_in_flight, spare ? 2u : 1u);
    EXPECT_EQ(readers.size(), spare ? 2u : 1u);
  }
}

TEST(ReadAhead, StoppingEarlyReleasesHelpersInTheMiddleOfAFile) {
  for (int round = 0; round < 20; ++round) {
    size_t next_file = 0;
    read_ahead reader(
        test_console(), 3,
        [&](message_sink&, std::string& path) {
          path = std::string(1, char(next_file++ % 8));
          return true;  // no end: the consumer stops
        },
        [](message_sink& messages, const std::string&, const event_sink& sink) {
          return read_fake(messages, {0, 100000}, sink);
        },
        {4, 1000, 10, 1 << 20, {}, {}});
    stored_event e;
    for (int i = 0; i < round * 7; ++i) ASSERT_EQ(reader.next(e), 0);
  }  // the destructor stops and joins the helpers
}

// A repository made by repgen, with damaged files, read by the real walk and file reader: through
// the source with one or several reading threads, the events and the lines between them are
// those of reading each listed file in turn on the test's own thread.
TEST(ReadAhead, RepositoryReadWithOneOrSeveralThreadsGivesTheSameEventsAndMessages) {
  namespace fs = std::filesystem;
  const testutil::temp_dir dir;
  const fs::path& root = dir.path;
  ASSERT_EQ(testutil::run_shell(testutil::repgen_program() + " " + testutil::quoted(root.string()) +
                                " 4000 5 >" + testutil::kNullDevice),
            0);
  std::vector<fs::path> files;
  for (const fs::path& rel : testutil::files_below(root)) files.push_back(root / rel);
  ASSERT_GE(files.size(), 6u);
  auto damage = [](const fs::path& file, size_t at) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(std::streamoff(at));
    const char c = char(f.get() ^ 0x5A);
    f.seekp(std::streamoff(at));
    f.put(c);
  };
  damage(files[1], 600);                                    // the first item
  damage(files[3], size_t(fs::file_size(files[3]) / 2));    // somewhere in the middle
  fs::resize_file(files[4], fs::file_size(files[4]) - 40);  // the footer cut short

  struct run {
    std::vector<full_event> events;
    std::string out, err;
    uint64_t damaged = 0;
  };
  // threads 0: no source, the files read one after another here.
  auto read_all = [&](unsigned threads) {
    run r;
    copy_outcome outcome;
    std::tie(r.out, r.err) = capture_output([&] {
      for (uint32_t mode : {RepSource2::kModeHot, RepSource2::kModeMain}) {
        if (threads == 0) {
          repository_walk walk(root.u16string(), mode, nullptr, &outcome, nullptr);
          for (std::string path; walk.next_path(test_console(), path);) {
            process_repository_file(test_console(), path, nullptr, &outcome, [&](full_event& e) {
              r.events.push_back(stored_event(e).to_full_event());
              std::cout << "event\n";  // where the messages stand between the events
            });
          }
          continue;
        }
        RepSource2 source(test_console(), root.u16string(), mode, nullptr, &outcome);
        source.set_read_threads(threads);
        for (stored_event e; source.next_stored(e) == 0;) {
          r.events.push_back(e.to_full_event());
          std::cout << "event\n";
        }
      }
      std::cout.flush();
    });
    r.damaged = outcome.damaged_files();
    return r;
  };
  const run one = read_all(0);
  EXPECT_EQ(one.damaged, 3u) << one.err;
  EXPECT_GT(one.events.size(), 2000u);
  EXPECT_NE(one.err.find("Damaged source file"), std::string::npos);
  for (unsigned threads : {1u, 2u, 4u}) {
    const run several = read_all(threads);
    EXPECT_EQ(several.damaged, one.damaged);
    EXPECT_EQ(several.out, one.out) << threads;
    EXPECT_EQ(several.err, one.err) << threads;
    ASSERT_EQ(several.events.size(), one.events.size()) << threads;
    for (size_t i = 0; i < one.events.size(); ++i)
      ASSERT_EQ(several.events[i], one.events[i]) << "event " << i << ", " << threads << " threads";
  }
}

// Half the machine's logical processors read, at least one and at most four.
TEST(ReadAhead, DefaultReadThreadsForAMachine) {
  struct row {
    unsigned processors, threads;
  };
  const row rows[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {8, 4}, {9, 4}, {16, 4}};
  for (const row& r : rows)
    EXPECT_EQ(default_read_threads(r.processors), r.threads) << r.processors;
}

}  // namespace
}  // namespace repcopy
