#include "source/rep_file_source.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "container/format.h"
#include "container/number_text.h"
#include "container/properties.h"
#include "container/rep_data_buffer.h"
#include "filters/event_id_filter.h"
#include "filters/shard.h"
#include "platform/platform.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/record_format.h"
#include "util/bytes.h"
#include "util/hex_dump.h"
#include "util/read_file.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Reads one numeric property; a value that is not a number is reported with the file's path.
bool read_number(message_sink& messages, const std::u16string& value, int base, const char* name,
                 const std::string& path, uint32_t& out) {
  try {
    out = parse_ulong(value, base);
    return true;
  } catch (const std::logic_error& e) {  // std::invalid_argument, std::out_of_range
    messages.err(message_kind::error)
        << "Footer property " << name << " = \"" << to_utf8(value) << "\" is not a number ("
        << e.what() << "), rest of file skipped: " << platform::display_name(path);
    return false;
  }
}

void report_missing(message_sink& messages, const char* name, uint32_t platform_id) {
  messages.err(message_kind::error) << "<" << name << ">"
                                    << " not found in footer property.\n"
                                    << "ulPlatformID = " << platform_id;
}

}  // namespace

const char16_t* platform_domain(uint32_t platform_id) {
  switch (platform_id) {
    case 0:
      return u"SyslogDevice";
    case 610:
      return u"SunOS";
    case 620:
      return u"HP-UX";
    case 630:
      return u"LINUX";
    case 640:
      return u"AIX";
    default:
      return u"UNIX";
  }
}

RepFileImage::RepFileImage(std::string path) : path_(std::move(path)) {
  source_file_reader reader;
  try {
    if (!reader.open(path_)) {
      error_ = reader.error();
      return;
    }
    file_size_ = reader.size();
    if (!frame_holds(reader)) {
      // A small file is loaded all the same, so that the load reports its damage in its own
      // words; a large one is not read whole only to be refused.
      if (state_ != state::bad_frame || file_size_ > kFrameCheckAlone) return;
      frame_message_.clear();
      state_ = state::unreadable;  // until it is read
    } else if (file_size_ >= kMaxReadableFile) {
      state_ = state::too_large;
      return;
    }
    if (!reader.read_all(image_)) {
      error_ = reader.error();
      return;
    }
    state_ = state::loaded;
  } catch (const std::exception&) {
    threw_ = true;  // said when the file is processed
    image_ = {};
    state_ = state::unreadable;
  }
}

// The header's last footer must end the file and that footer's own lengths must add up to it;
// RepFileBuffer checks the same again (and the rest of the chain) once the file is in memory.
// state_ stays unreadable on a read error, becomes bad_frame when the frame does not hold.
bool RepFileImage::frame_holds(source_file_reader& reader) {
  const uint64_t size = file_size_;
  std::vector<uint8_t> bytes;
  if (size < kHeaderSize) {
    frame_message_ = "File too short for its header: " + std::to_string(size) + " < " +
                     std::to_string(kHeaderSize) + " bytes";
    frame_damage_ = {true, "shorter than its 512-byte header (" + std::to_string(size) + " bytes)"};
    state_ = state::bad_frame;
    return false;
  }
  if (!reader.read(0, kHeaderSize, bytes)) {
    error_ = reader.error();
    return false;
  }
  const uint64_t footer_offset = load_le64(bytes.data() + kHeaderLastFooterOffsetPos);
  const uint32_t footer_len = load_le32(bytes.data() + kHeaderLastFooterLenPos);
  if (footer_offset > size || size - footer_offset != footer_len) {
    frame_message_ = "last_footer_offset + last_footer_len != buffer_len :" +
                     std::to_string(footer_offset + footer_len) + " != " + std::to_string(size);
    // A footer said to end past the end of the file is what a cut-off copy looks like.
    const uint64_t end = footer_offset + footer_len;
    const bool past_end = footer_offset > size || end > size;
    frame_damage_ = {past_end, std::string(past_end ? "the header names a footer ending at "
                                                    : "header sum wrong: the footer named by the "
                                                      "header ends at ") +
                                   std::to_string(end) + " but the file has " +
                                   std::to_string(size) + " bytes"};
    state_ = state::bad_frame;
    return false;
  }
  bool holds = footer_len >= kFooterFixedSize;
  if (holds) {
    if (!reader.read(footer_offset, kFooterHeadSize, bytes)) {
      error_ = reader.error();
      return false;
    }
    const uint64_t tbl_len = load_le64(bytes.data() + kFooterTblLenPos);
    holds = tbl_len <= footer_len - kFooterFixedSize;
    if (holds) {
      if (!reader.read(footer_offset + kFooterHeadSize + tbl_len, kPropertyLenSize, bytes)) {
        error_ = reader.error();
        return false;
      }
      holds = load_le64(bytes.data()) == footer_len - kFooterFixedSize - tbl_len;
    }
  }
  if (!holds) {
    frame_message_ = "Footer lengths do not add up to last_footer_len " + std::to_string(footer_len);
    frame_damage_ = {false, "the last footer's lengths do not add up to its " +
                                std::to_string(footer_len) + " bytes"};
    state_ = state::bad_frame;
  }
  return holds;
}

RepFileSource::RepFileSource(message_sink& messages, const filter_config* filter, RepFileImage file,
                             copy_outcome* outcome)
    : messages_(messages),
      filter_(filter),
      file_(std::move(file)),
      source_path_(std::make_shared<const std::string>(file_.path())),
      outcome_(outcome) {}

int32_t RepFileSource::ProcessFile(const event_sink& sink) {
  damage_ = {};
  const int32_t result = read_file(sink);
  if (report_) report_damage();
  return result;
}

int32_t RepFileSource::read_file(const event_sink& sink) {
  if (file_.threw()) {
    messages_.err(message_kind::error)
        << "Exception in Load() for " << platform::display_name(file_.path());
  }
  switch (file_.status()) {
    case RepFileImage::state::loaded:
      break;
    case RepFileImage::state::unreadable:
      damage_.unreadable = true;
      if (listener_) listener_({false, "cannot be read: " + file_.error()});
      return -1;
    case RepFileImage::state::too_large:
      damage_.too_large = true;
      if (listener_) listener_({false, "too large to be read"});
      return -1;
    case RepFileImage::state::bad_frame:
      // The lines a load would begin with; the rest of the file was not read.
      messages_.out(message_kind::notice)
          << file_.frame_message() << "\n(a)some problem in file:\n";
      damage_.unloadable = true;
      if (listener_) listener_(file_.frame_damage());
      return -1;
  }
  RepFileBuffer buffer(messages_, byte_span(file_.image()), file_.flags());
  buffer.set_damage_listener(listener_);
  const int32_t loaded = buffer.Load();
  damage_.bad_items += buffer.damage_count();
  if (loaded != 0) {
    messages_.out(message_kind::notice) << "(a)some problem in file:\n";
    damage_.unloadable = true;
    return -1;
  }
  if (buffer.kind() != RepFileBuffer::kKindEventData) {
    if (buffer.kind() == RepFileBuffer::kKindEmpty) warn_if_not_empty(buffer);
    buffer.DestroyParts();
    return -1;
  }
  const uint64_t nested = buffer.CountBufferEntries();
  if (nested == 0) {
    MakeFileEvents(buffer, sink);
  } else {
    read_nested_files(buffer, nested, sink);  // the outer parts give no events then
  }
  buffer.DestroyParts();
  return 0;
}

// "EventsCount" 0 makes a file empty, and it is read as such; but when its part table lists
// events items with content, the count may be what is wrong, so the user is told.
void RepFileSource::warn_if_not_empty(const RepFileBuffer& buffer) const {
  uint64_t bytes = 0;
  for (const footer_record& f : buffer.footers()) {
    for (const part_table_entry& e : f.part_table) {
      if (e.buffer_id == record_file::kEventsId) bytes += e.unpacked_len_tbl;
    }
  }
  if (bytes == 0) return;
  messages_.err(message_kind::warning)
      << "Warning: source file read as empty (EventsCount 0) although its part table "
         "lists "
      << bytes << " byte(s) of events records: " << platform::display_name(file_.path());
}

// A nested file that cannot be unpacked or loaded is reported and skipped; the others are read.
void RepFileSource::read_nested_files(RepFileBuffer& outer, uint64_t count,
                                      const event_sink& sink) {
  for (uint64_t n = 0; n < count; ++n) {
    const buffer_entry& entry = outer.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(messages_, entry);
    buffer_entry unpacked = item.UnpackAsEntry();
    if (item.status() != 0) {
      ++damage_.bad_items;
      if (listener_) {
        listener_({item.layout().fault == item_fault::out_of_range,
                   "nested file " + item.name() +
                       (item.status() == -5 ? ": CRC mismatch" : " does not unpack")});
      }
    }
    if (!unpacked.has_data()) {
      skip_nested_file(item.name(), item.unpacked());
      continue;
    }
    RepFileBuffer nested(messages_, std::move(unpacked), file_.flags());
    if (listener_) {
      nested.set_damage_listener([this, &item](const damage_note& n) {
        listener_({n.truncated, "nested file " + item.name() + ": " + n.what});
      });
    }
    const int32_t loaded = nested.Load();
    damage_.bad_items += nested.damage_count();
    if (loaded != 0) {
      skip_nested_file(item.name(), nested.bytes());
      continue;
    }
    if (nested.kind() == RepFileBuffer::kKindEventData) MakeFileEvents(nested, sink);
    nested.DestroyParts();
  }
}

void RepFileSource::skip_nested_file(const std::string& name, byte_span unpacked) {
  messages_.out(message_kind::notice) << "(b)some problem in file: " << name;
  messages_.err(message_kind::warning) << "(b)some problem in file: " << name;
  hex_dump(messages_, unpacked, unpacked.size());
  ++damage_.skipped_nested;
  if (listener_) listener_({false, "nested file " + name + " skipped"});
}

int32_t RepFileSource::MakeFileEvents(RepFileBuffer& file, const event_sink& sink) {
  for (const footer_record& footer : file.footers()) {
    footer_info info;
    if (read_footer_info(footer, info) != 0) {
      damage_.bad_footer = true;
      if (listener_) {
        listener_({false, "footer at " + std::to_string(footer.footer_offset) +
                              ": properties missing or not numbers"});
      }
      return -1;
    }
    // The parts must hold the events the footer announces; fewer means that records or a whole
    // events item were lost (or another item was taken for it). Counted before any filter.
    uint64_t records = 0;
    for (const part_record& part : footer.parts) {
      const auto* events =
          dynamic_cast<const RepEventsBuffer*>(part.slots[record_file::kEventsId].get());
      if (events != nullptr) records += events->ulCount();
    }
    if (records < info.events_count) {
      if (listener_) {
        listener_({false, "footer at " + std::to_string(footer.footer_offset) + ": EventsCount " +
                              std::to_string(info.events_count) + " but " +
                              std::to_string(records) + " events record(s)"});
      }
      ++damage_.short_footers;
      damage_.expected_events += info.events_count;
      damage_.decoded_events += records;
    }
    // The shard test of every event of this footer: another process of a sharded copy takes this
    // computer, so its events are not even joined.
    if (filter_ != nullptr && !computer_in_shard(*filter_, info.computer)) continue;
    for (const part_record& part : footer.parts) {
      const auto* events =
          dynamic_cast<const RepEventsBuffer*>(part.slots[record_file::kEventsId].get());
      if (events == nullptr) continue;
      if (const char* why = part_damage(part)) {
        ++damage_.damaged_parts;
        damage_.damaged_part_records += events->ulCount();
        if (listener_) {
          listener_({false, "part " + std::to_string(part.index) + " " + why + ": its " +
                                std::to_string(events->ulCount()) + " events record(s) dropped"});
        }
        continue;
      }
      // A skip only: no event of the part could pass the list.
      if (filter_ != nullptr && filter_->id_on && !part_passes_id_list(part, info.platform_id)) {
        continue;
      }
      make_full_event2(part, info, events->ulCount(), sink);
    }
  }
  return 0;
}

int32_t RepFileSource::read_footer_info(const footer_record& footer, footer_info& info) {
  const std::u16string* type = get_property(footer, u"ComputerType");
  if (type == nullptr) return -1;
  const std::u16string* count = get_property(footer, u"EventsCount");
  if (count == nullptr) return -1;
  const std::u16string* platform = get_property(footer, u"PlatformID");
  if (platform == nullptr) return -1;
  const std::u16string* data_source = get_property(footer, u"UnderDataSource");
  if (data_source == nullptr) return -1;
  const std::string& path = file_.path();
  if (!read_number(messages_, *type, 16, "ComputerType", path, info.computer_type) ||
      !read_number(messages_, *count, 10, "EventsCount", path, info.events_count) ||
      !read_number(messages_, *platform, 10, "PlatformID", path, info.platform_id)) {
    return -1;
  }
  info.under_data_source = *data_source;

  const std::u16string* computer = nullptr;
  if (info.platform_id != kPlatformWindows) {
    if (const std::u16string* host = get_property(footer, u"Host")) {
      computer = host;
      info.domain = platform_domain(info.platform_id);
    } else {
      report_missing(messages_, "Host", info.platform_id);
    }
  }
  if (computer == nullptr) {
    computer = get_property(footer, u"Computer");
    if (computer == nullptr) {
      report_missing(messages_, "Computer", info.platform_id);
      messages_.out(message_kind::notice) << "";
      return -1;
    }
    const std::u16string* domain = get_property(footer, u"Domain");
    info.domain = domain != nullptr ? *domain : std::u16string(u"WINDOWS");
    info.platform_id = kPlatformWindows;
  }
  info.computer = ascii_upper(*computer);
  return 0;
}

// Why the events of a part cannot be trusted, or null. The writer leaves the three named-field
// items out together, so named-field caches without their table mean the table was lost and
// the events would lose their fields.
const char* RepFileSource::part_damage(const part_record& part) {
  if (part.damaged_items != 0) return "has a damaged item";
  const RepPartBuffer* names = part.slots[record_file::kNfNamesId].get();
  const RepPartBuffer* values = part.slots[record_file::kNfValuesId].get();
  const bool has_caches =
      (names != nullptr && names->ulCount() != 0) || (values != nullptr && values->ulCount() != 0);
  if (has_caches && part.slots[record_file::kNfieldsId] == nullptr &&
      file_.flags()[record_file::kNfieldsId] != 0) {
    return "has named-field caches but no 0_nfields.dat";
  }
  return nullptr;
}

// With an EventID list, a part is read only when one of its category records passes the list;
// a part without category records (or without its category buffer) is skipped.
bool RepFileSource::part_passes_id_list(const part_record& part, uint32_t platform_id) const {
  const auto* cat = dynamic_cast<const RepCatBuffer*>(part.slots[record_file::kCatId].get());
  if (cat == nullptr) return false;
  for (uint32_t i = 0; i < cat->ulCount(); ++i) {
    if (id_passes(*filter_, masked_event_id(cat->event_id(i), platform_id))) return true;
  }
  return false;
}

// Three kinds of trouble, told apart in the message and in the counts: a file the system would
// not let us read ("unreadable"), a file left out on purpose ("skipped") and a file whose content
// is bad ("damaged").
void RepFileSource::report_damage() {
  if (!damage_.any()) return;
  if (listener_ && damage_.bad_records != 0) {
    listener_({false, std::to_string(damage_.bad_records) +
                          " events record(s) name a cache record or record key that does not "
                          "exist, or lose an insertion string"});
  }
  const std::string path = platform::display_name(file_.path());
  if (damage_.unreadable) {
    messages_.err(message_kind::warning)
        << "Unreadable source file skipped: " << path << ": " << file_.error();
    if (outcome_ != nullptr) outcome_->add_unreadable();
    return;
  }
  if (damage_.too_large) {
    messages_.err(message_kind::warning) << "Source file skipped, " << file_.file_size()
                                         << " bytes is too large to be a repository file: " << path;
    if (outcome_ != nullptr) outcome_->add_skipped();
    return;
  }
  if (damage_.unloadable) {
    messages_.err(message_kind::warning)
        << "Damaged source file skipped, it does not load: " << path;
  } else {
    auto line = messages_.err(message_kind::warning);
    line << "Damaged source file " << path << ": " << damage_.dropped() << " event(s) dropped";
    if (damage_.dropped() != 0) {
      const char* sep = " (";
      if (damage_.bad_records != 0) {
        line << sep << damage_.bad_records << " with a bad index or cut insertion strings";
        sep = ", ";
      }
      if (damage_.damaged_part_records != 0) {
        line << sep << damage_.damaged_part_records << " in " << damage_.damaged_parts
             << " part(s) with a damaged item";
      }
      line << ")";
    }
    if (damage_.bad_items != 0) line << ", " << damage_.bad_items << " damaged item(s)";
    if (damage_.skipped_nested != 0) {
      line << ", " << damage_.skipped_nested << " nested file(s) skipped";
    }
    if (damage_.bad_footer) line << ", footer properties missing or invalid";
    if (damage_.short_footers != 0) {
      line << ", EventsCount says " << damage_.expected_events << " event(s) but "
           << damage_.decoded_events << " decoded";
    }
  }
  if (outcome_ != nullptr) outcome_->add_damaged_file();
}

int32_t process_repository_file(message_sink& messages, const std::string& path,
                                const filter_config* filter, copy_outcome* outcome,
                                const event_sink& sink) {
  RepFileSource source(messages, filter, RepFileImage(path), outcome);
  return source.ProcessFile(sink);
}

}  // namespace repcopy
