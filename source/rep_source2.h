#pragma once
// RepSource2: the source that reads a whole source repository part. A repository_walk lists its
// files in order (see there for the walk rules) and a read_ahead reads and joins them on helper
// threads, one or more; the events and the messages come out in walk order, as one thread
// reading the files one after another would give them.

#include <cstdint>
#include <memory>
#include <string>

#include "model/copy_outcome.h"
#include "model/source_and_target.h"
#include "source/read_ahead.h"
#include "source/repository_walk.h"

namespace repcopy {

class RepSource2 : public CommonSource {
 public:
  static constexpr uint32_t kModeHot = repository_walk::kModeHot;
  static constexpr uint32_t kModeMain = repository_walk::kModeMain;
  static constexpr size_t kMaxPath = repository_walk::kMaxPath;

  // Reads one repository file (native path) and pushes its events into the sink, its lines
  // into messages; -1 when the file could not be read or holds no event data, else 0. Runs on
  // the helper threads.
  using file_processor = read_ahead::file_reader;

  // root: the source repository as an absolute path. messages gets the walk's lines and those of
  // the files read (in walk order); it must outlive the source, as must filter, outcome and
  // visits, which may be null. The sources of one run share visits (without it the source keeps
  // its own). Without a processor every file goes through RepFileSource with the source's filter
  // and outcome.
  RepSource2(message_sink& messages, std::u16string root, uint32_t mode,
             const filter_config* filter = nullptr, copy_outcome* outcome = nullptr,
             file_processor process = {}, visit_set* visits = nullptr);
  ~RepSource2() override;

  // 0 with the next event in out, -1 when there are no more (always -1 once the walk root is
  // missing, the walk has ended or reading threw). An exception raised while reading reaches the
  // caller at its place among the events.
  int32_t next_stored(stored_event& out) override;

  // Threads that read and join files, at least 1 (the default). Set before the first
  // next_stored.
  void set_read_threads(unsigned threads) { read_threads_ = threads < 1 ? 1 : threads; }

  // With one reading thread the next file is known ahead and the events read ahead hold about
  // this many bytes (plus the chunk being filled): the copy's thread and the reader overlap, and
  // the copy's peak memory stays where reading on the copy's own thread kept it.
  static constexpr uint32_t kOneReaderFiles = 2;
  static constexpr uint64_t kOneReaderBytes = 1ull << 20;

  // One more reading thread that reads only while spare() says a processor is idle (see
  // read_ahead::limits::spare_processor). Set before the first next_stored. With one reading
  // thread the files and bytes read ahead then grow to the bounds below, so that the two can
  // read two files at once.
  void set_spare_reader(std::function<bool()> spare) { spare_ = std::move(spare); }
  static constexpr uint32_t kSpareReaderFiles = 4;
  static constexpr uint64_t kSpareReaderBytes = 4ull << 20;

 private:
  message_sink& messages_;
  const filter_config* filter_;
  copy_outcome* outcome_;
  file_processor process_;
  repository_walk walk_;
  unsigned read_threads_ = 1;
  std::function<bool()> spare_;
  bool ended_ = false;
  std::unique_ptr<read_ahead> read_ahead_;  // destroyed first: its helpers use process_
};

}  // namespace repcopy
