#include "source/rep_file_source.h"

#include <exception>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "container/number_text.h"
#include "container/properties.h"
#include "container/rep_data_buffer.h"
#include "filters/event_id_filter.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/record_format.h"
#include "util/hex_dump.h"
#include "util/read_file.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Reads one numeric property; a value that is not a number is reported with the file's path.
bool read_number(const std::u16string& value, int base, const char* name,
                 const std::u16string& path, uint32_t& out) {
  try {
    out = parse_ulong(value, base);
    return true;
  } catch (const std::logic_error& e) {  // std::invalid_argument, std::out_of_range
    std::cerr << "Footer property " << name << " = \"" << to_utf8(value) << "\" is not a number ("
              << e.what() << "), rest of file skipped: " << to_utf8(path) << std::endl;
    return false;
  }
}

void report_missing(const char* name, uint32_t platform_id) {
  std::cerr << "<" << name << ">"
            << " not found in footer property.\n";
  std::cerr << "ulPlatformID = " << platform_id << std::endl;
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

RepFileImage::RepFileImage(std::u16string path) : path_(std::move(path)) {
  try {
    loaded_ = read_whole_file(path_, image_);
  } catch (const std::exception&) {
    std::cerr << "Exception in Load() for " << to_utf8(path_) << std::endl;
    image_ = {};
    loaded_ = false;
  }
}

RepFileSource::RepFileSource(const filter_config* filter, RepFileImage file, copy_outcome* outcome)
    : CommonSource(filter), file_(std::move(file)), outcome_(outcome) {}

// An unfinished generator unwinds ProcessFile and everything it built.
RepFileSource::~RepFileSource() = default;

int32_t RepFileSource::NextEvent(full_event& out) {
  if (!active_) return -1;
  if (!generator_) {
    generator_ =
        std::make_unique<event_generator>([this](const event_sink& sink) { ProcessFile(sink); });
  }
  int32_t r;
  try {
    r = generator_->next(out);
  } catch (...) {
    active_ = false;
    throw;
  }
  if (r != 0) {
    active_ = false;
    return -1;
  }
  return 0;
}

int32_t RepFileSource::ProcessFile(const event_sink& sink) {
  damage_ = {};
  const int32_t result = read_file(sink);
  report_damage();
  return result;
}

int32_t RepFileSource::read_file(const event_sink& sink) {
  if (!file_.loaded()) {
    damage_.unreadable = true;
    if (listener_) listener_({false, "cannot be read"});
    return -1;
  }
  RepFileBuffer buffer(byte_span(file_.image()), file_.flags());
  buffer.set_damage_listener(listener_);
  const int32_t loaded = buffer.Load();
  damage_.bad_items += buffer.damage_count();
  if (loaded != 0) {
    std::cout << "(a)some problem in file:\n" << std::endl;
    damage_.unloadable = true;
    return -1;
  }
  if (buffer.kind() != RepFileBuffer::kKindEventData) {
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

// A nested file that cannot be unpacked or loaded is reported and skipped; the others are read.
void RepFileSource::read_nested_files(RepFileBuffer& outer, uint64_t count,
                                      const event_sink& sink) {
  for (uint64_t n = 0; n < count; ++n) {
    const buffer_entry& entry = outer.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(entry);
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
    RepFileBuffer nested(std::move(unpacked), file_.flags());
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
  std::cout << "(b)some problem in file: " << name << std::endl;
  std::cerr << "(b)some problem in file: " << name << std::endl;
  hex_dump(unpacked, unpacked.size());
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
    for (const part_record& part : footer.parts) {
      const auto* events =
          dynamic_cast<const RepEventsBuffer*>(part.slots[record_file::kEventsId].get());
      if (events == nullptr) continue;
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
  const std::u16string& path = file_.path();
  if (!read_number(*type, 16, "ComputerType", path, info.computer_type) ||
      !read_number(*count, 10, "EventsCount", path, info.events_count) ||
      !read_number(*platform, 10, "PlatformID", path, info.platform_id)) {
    return -1;
  }
  info.under_data_source = *data_source;

  const std::u16string* computer = nullptr;
  if (info.platform_id != kPlatformWindows) {
    if (const std::u16string* host = get_property(footer, u"Host")) {
      computer = host;
      info.domain = platform_domain(info.platform_id);
    } else {
      report_missing("Host", info.platform_id);
    }
  }
  if (computer == nullptr) {
    computer = get_property(footer, u"Computer");
    if (computer == nullptr) {
      report_missing("Computer", info.platform_id);
      std::cout << std::endl;
      return -1;
    }
    const std::u16string* domain = get_property(footer, u"Domain");
    info.domain = domain != nullptr ? *domain : std::u16string(u"WINDOWS");
    info.platform_id = kPlatformWindows;
  }
  info.computer = ascii_upper(*computer);
  return 0;
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

void RepFileSource::report_damage() {
  if (!damage_.any()) return;
  if (listener_ && damage_.bad_records != 0) {
    listener_(
        {false, std::to_string(damage_.bad_records) +
                    " events record(s) name a cache record or record key that does not exist"});
  }
  const std::string path = to_utf8(file_.path());
  if (damage_.unreadable) {
    std::cerr << "Damaged source file skipped, it cannot be read: " << path << std::endl;
  } else if (damage_.unloadable) {
    std::cerr << "Damaged source file skipped, it does not load: " << path << std::endl;
  } else {
    std::cerr << "Damaged source file " << path << ": " << damage_.bad_records
              << " record(s) affected";
    if (damage_.bad_items != 0) std::cerr << ", " << damage_.bad_items << " damaged item(s)";
    if (damage_.skipped_nested != 0) {
      std::cerr << ", " << damage_.skipped_nested << " nested file(s) skipped";
    }
    if (damage_.bad_footer) std::cerr << ", footer properties missing or invalid";
    std::cerr << std::endl;
  }
  if (outcome_ != nullptr) outcome_->add_damaged_file();
}

int32_t process_repository_file(const std::u16string& path, const filter_config* filter,
                                copy_outcome* outcome, const event_sink& sink) {
  RepFileSource source(filter, RepFileImage(path), outcome);
  return source.ProcessFile(sink);
}

}  // namespace repcopy
