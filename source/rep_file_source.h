#pragma once
// Reading one repository file into events.
//
// RepFileImage holds the file read whole. RepFileSource loads it with RepFileBuffer, takes the
// computer, domain, platform and data source from each footer's properties (footer_info), joins
// every events record of every part with the part's caches into a full_event
// (make_full_event2), applies the run's time window and EventID list, and hands each event to a
// sink. The source walk calls ProcessFile with its own sink.
//
// Damaged input: no event is delivered unless everything it is built from was read soundly.
// A file that does not load yields no events. A part with a damaged item (or with named-field
// caches but no field table) yields no events. An events record that names a cache record or
// record key that does not exist, or whose string words end inside a position, is dropped.
// The file is then reported once on standard error with its path and the events dropped per
// reason, and counted in the copy_outcome; the events of its sound parts are still delivered.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "container/damage_note.h"
#include "container/footer.h"
#include "container/rep_file_buffer.h"
#include "model/copy_outcome.h"
#include "model/filter_config.h"
#include "model/full_event.h"

namespace repcopy {

class source_file_reader;

// One repository file in memory. The path is native: the bytes the file system listed.
class RepFileImage {
 public:
  enum class state { loaded, unreadable, bad_frame, too_large };

  // Checks the file's frame (header and last footer lengths against the file size) with two
  // small reads before the whole file is read. A file whose frame holds is read whole (below
  // kMaxReadableFile); so is a small file whose frame does not hold, so that its load reports
  // the damage as for any other file. A larger one with a bad frame is not read (bad_frame,
  // with frame_message()). A system message is kept in error().
  explicit RepFileImage(std::string path);
  // A file already in memory; path names it in messages.
  RepFileImage(std::string path, std::vector<uint8_t> image)
      : path_(std::move(path)), image_(std::move(image)), state_(state::loaded) {}

  const std::string& path() const { return path_; }
  const std::vector<uint8_t>& image() const { return image_; }
  const load_flags& flags() const { return flags_; }
  bool loaded() const { return state_ == state::loaded; }
  state status() const { return state_; }
  const std::string& error() const { return error_; }
  uint64_t file_size() const { return file_size_; }
  // What is wrong with the frame (state bad_frame), as a damage listener hears it.
  const damage_note& frame_damage() const { return frame_damage_; }
  // The line the load would print for that frame (state bad_frame).
  const std::string& frame_message() const { return frame_message_; }
  // Reading the file threw (state unreadable; the reader says so when it processes the file).
  bool threw() const { return threw_; }

  // Files up to this size are loaded even when their frame does not hold.
  static constexpr uint64_t kFrameCheckAlone = uint64_t(64) << 20;

 private:
  bool frame_holds(source_file_reader& reader);

  std::string path_;
  std::vector<uint8_t> image_;
  load_flags flags_ = kAllLoadFlags;
  state state_ = state::unreadable;
  std::string error_;
  uint64_t file_size_ = 0;
  damage_note frame_damage_;
  std::string frame_message_;
  bool threw_ = false;
};

// What one footer says about the events of its parts.
struct footer_info {
  uint32_t events_count = 0;   // "EventsCount", decimal
  uint32_t platform_id = 0;    // "PlatformID", decimal; 500 when the Windows properties are used
  uint32_t computer_type = 0;  // "ComputerType", hexadecimal
  std::u16string computer;     // "Host" or "Computer", upper-cased
  std::u16string domain;       // "Domain", "WINDOWS", or the platform name
  std::u16string under_data_source;
};

// Damage found while reading one file; reported once when the reading ends.
struct file_damage {
  bool unreadable = false;      // the file could not be read (not damage: a system error)
  bool too_large = false;       // the file is too large to be read (skipped)
  bool unloadable = false;      // the file did not load
  uint32_t short_footers = 0;   // footers whose parts hold fewer events than "EventsCount"
  uint64_t expected_events = 0;  // "EventsCount" of those footers
  uint64_t decoded_events = 0;   // events records their parts hold
  bool bad_footer = false;      // a footer lacks a required property or holds a bad number
  uint32_t bad_items = 0;       // damaged items (RepFileBuffer::damage_count of all loads)
  uint32_t skipped_nested = 0;  // nested files that could not be unpacked or loaded
  uint64_t bad_records = 0;     // events records dropped: a bad index or cut string words
  uint32_t damaged_parts = 0;   // parts that yield no events for a damaged or missing item
  uint64_t damaged_part_records = 0;  // events records of those parts, dropped

  uint64_t dropped() const { return bad_records + damaged_part_records; }
  bool any() const {
    return unreadable || too_large || unloadable || bad_footer || bad_items != 0 ||
           skipped_nested != 0 || bad_records != 0 || short_footers != 0 || damaged_parts != 0;
  }
};

// Domain given to the events of a non-Windows footer.
const char16_t* platform_domain(uint32_t platform_id);

// The EventID as events of this platform carry it: all 32 bits for 610, else the low 16 bits.
// The reader applies it to a stored EventID before the EventID list test and in the events it
// builds.
inline constexpr uint32_t kPlatformFullEventId = 610;
inline uint32_t masked_event_id(uint32_t stored, uint32_t platform_id) {
  return platform_id == kPlatformFullEventId ? stored : stored & 0xFFFF;
}

// The one place the run's filter decides an event: an event passes when its time is in the
// window, its EventID passes the list and its computer is in the shard (every event of a footer
// is its computer's, so the shard is tested once per footer). Skipping a whole part whose
// category records all fail the EventID list only saves the work; the events of a part that is
// read are still tested one by one.
class RepFileSource {
 public:
  // filter and outcome may be null; both, and messages (where the reading's lines go), must
  // outlive the source.
  RepFileSource(message_sink& messages, const filter_config* filter, RepFileImage file,
                copy_outcome* outcome = nullptr);
  RepFileSource(const RepFileSource&) = delete;
  RepFileSource& operator=(const RepFileSource&) = delete;

  // Pushes every event of the file into the sink, in file order. -1 when the file was not read,
  // does not load or is not an event data file (kinds 2 to 4); 0 otherwise.
  int32_t ProcessFile(const event_sink& sink);
  // The events of all footers of a file loaded with kind 1; -1 when it stopped at a footer
  // without a required property.
  int32_t MakeFileEvents(RepFileBuffer& file, const event_sink& sink);
  // The events of one part; count is the number of events records to read. Returns 0.
  int32_t make_full_event2(const part_record& part, const footer_info& info, uint32_t count,
                           const event_sink& sink);

  const RepFileImage& file() const { return file_; }
  // Damage found by the last ProcessFile.
  const file_damage& damage() const { return damage_; }
  // Hands every damage that ProcessFile finds, in the file and in its nested files, to
  // listener as it is found (for a check that names each fault; the copy only counts them).
  void set_damage_listener(damage_listener listener) { listener_ = std::move(listener); }
  // Off: ProcessFile prints no line about a damaged or unreadable file and counts nothing (a
  // caller that reads the target reports such a file in its own words, from damage()).
  void set_report(bool report) { report_ = report; }

  // What a footer says about its events; -1 when it lacks a required property or holds a bad
  // number (with the messages).
  int32_t read_footer_info(const footer_record& footer, footer_info& info);

 private:
  int32_t read_file(const event_sink& sink);
  void read_nested_files(RepFileBuffer& outer, uint64_t count, const event_sink& sink);
  void skip_nested_file(const std::string& name, byte_span unpacked);
  bool part_passes_id_list(const part_record& part, uint32_t platform_id) const;
  const char* part_damage(const part_record& part);
  void warn_if_not_empty(const RepFileBuffer& buffer) const;
  void report_damage();

  message_sink& messages_;
  const filter_config* filter_;
  RepFileImage file_;
  std::shared_ptr<const std::string> source_path_;  // shared by the events of this file
  copy_outcome* outcome_;
  file_damage damage_;
  damage_listener listener_;
  bool report_ = true;
};

// Reads the repository file at path through a RepFileSource and pushes its events into the
// sink: the file reader of the source walk. -1 when the file could not be read or holds no event
// data, else 0. filter and outcome may be null.
int32_t process_repository_file(message_sink& messages, const std::string& path,
                                const filter_config* filter, copy_outcome* outcome,
                                const event_sink& sink);

}  // namespace repcopy
