#include "writer/repository_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <span>

#include "container/format.h"
#include "platform/platform.h"
#include "util/bytes.h"
#include "util/error_text.h"
#include "util/fatal.h"
#include "util/guid.h"
#include "util/text.h"
#include "writer/file_io.h"
#include "writer/file_layout.h"
#include "writer/pack.h"

namespace repcopy {

namespace {

// The file being written. Where the file system can, it has no name until it is complete
// (O_TMPFILE, named by linkat): a killed run then leaves nothing behind. Elsewhere it is written
// as "<name>.tmp" and renamed; that partial file is removed on every way out unless completed.
class partial_file {
 public:
  explicit partial_file(std::string path) : path_(std::move(path)) {}
  ~partial_file() {
    file.close();
    if (!done_ && !unnamed_) platform::remove_path(partial_path());
  }
  partial_file(const partial_file&) = delete;
  partial_file& operator=(const partial_file&) = delete;

  // 0, or -1 after the "create_file: " message (error then holds the system error code).
  int32_t create(message_sink& messages, const std::string& directory, int& error) {
    if (file.create_unnamed(directory)) {
      unnamed_ = true;
      return 0;
    }
    return create_file(messages, partial_path(), file, &error);
  }
  // Gives the complete file its name. False after a "create_file: " message (error then holds
  // the system error code).
  bool complete(message_sink& messages, int& error) {
    bool ok = unnamed_ ? file.commit(path_) : true;
    ok = file.close() && ok;
    if (ok && !unnamed_) ok = platform::rename_path(partial_path(), path_);
    if (!ok) {
      error = platform::last_error();
      messages.out(message_kind::notice) << "create_file: " << path_ << error_text(error);
      return false;
    }
    done_ = true;
    return true;
  }
  std::string partial_path() const { return path_ + std::string(kPartialSuffix); }

  platform::output_file file;

 private:
  std::string path_;
  bool unnamed_ = false;
  bool done_ = false;
};

// A writer thread's buffers keep their capacity from file to file up to this size; one that grew
// past it is given back after its file.
constexpr size_t kKeptCapacity = size_t(64) << 20;

// The area the writers serialize into: each item right behind the one before, so that every item
// of a file is serialized before any is packed, and the batch's events, most of a writer's
// memory, are freed before the packing, most of its time. The writers write every byte of their
// items (records/segment.h), so the area is never cleared, and only what they write is touched.
// It grows, keeping what it holds, by half as large again at least (but not past kKeptCapacity
// for that alone, which would have it given back after every file).
class item_area {
 public:
  // Room for length bytes behind the first `used` bytes, which stay as they are.
  std::span<uint8_t> room_behind(size_t used, size_t length) {
    if (length > capacity_ - used) {
      const size_t capacity =
          std::max(grown_capacity(used + length), std::min(capacity_ / 2 * 3, kKeptCapacity));
      auto bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
      if (used != 0) std::memcpy(bytes.get(), bytes_.get(), used);
      bytes_ = std::move(bytes);
      capacity_ = capacity;
    }
    return {bytes_.get() + used, length};
  }
  std::span<const uint8_t> bytes(size_t offset, size_t length) const {
    return {bytes_.get() + offset, length};
  }
  void trim(size_t kept_capacity) {
    if (capacity_ > kept_capacity) *this = item_area();
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_ = 0;
};

// The buffers a writer thread fills for every file: the area of the serialized items and the
// packed item of each internal file. They live as long as the thread and keep their capacity
// from file to file, so a batch costs no fresh pages (only a buffer that grew past
// kKeptCapacity is given back).
struct thread_buffers {
  item_area items;
  std::array<byte_buffer, kBufferIdCount> packed;

  static void trim(byte_buffer& buffer) {
    if (buffer.capacity() > kKeptCapacity) byte_buffer().swap(buffer);
  }
};

thread_buffers& buffers_of_this_thread() {
  thread_local thread_buffers buffers;
  return buffers;
}

// Lends the thread's packed buffers to the writers of one file and takes them back, with their
// grown capacity, whichever way the file ends.
class lent_buffers {
 public:
  explicit lent_buffers(std::array<std::unique_ptr<segment>, kBufferIdCount>& writers)
      : writers_(writers), buffers_(buffers_of_this_thread()) {}
  ~lent_buffers() {
    for (size_t id = 0; id < writers_.size(); ++id) {
      if (writers_[id] == nullptr) continue;
      buffers_.packed[id] = std::move(writers_[id]->packed);
      buffers_.packed[id].clear();
      thread_buffers::trim(buffers_.packed[id]);
    }
    buffers_.items.trim(kKeptCapacity);
  }
  lent_buffers(const lent_buffers&) = delete;
  lent_buffers& operator=(const lent_buffers&) = delete;

  item_area& items() { return buffers_.items; }
  byte_buffer& packed(int32_t id) { return buffers_.packed[size_t(id)]; }

 private:
  std::array<std::unique_ptr<segment>, kBufferIdCount>& writers_;
  thread_buffers& buffers_;
};

// Runs the fifteen writers in kWriterRunOrder over the batch, frees the batch's events, and packs
// each item. 0, or kItemOverflowed when a writer would pass its own size, or kItemNotPacked when
// an item could not be packed. Empty named-field items get no writer (null).
int32_t run_writers(message_sink& messages, event_batch& events, uint32_t platform_id,
                    const segment_factory& factory, const write_options& options,
                    std::array<std::unique_ptr<segment>, kBufferIdCount>& writers,
                    lent_buffers& buffers) {
  item_area& area = buffers.items();
  std::array<size_t, kBufferIdCount> item_start{};
  size_t used = 0;
  for (int32_t id : kWriterRunOrder) {
    std::unique_ptr<segment> writer = factory(id);
    writer->platform_id = int32_t(platform_id);
    const uint32_t estimate = writer->estimate_size(events);
    if (estimate == 0 && omitted_when_empty(id)) continue;
    const uint32_t length = writer->serialize(area.room_behind(used, estimate), events);
    if (length == kItemOverflow || length > estimate) {
      // A size that disagrees with the item is a bug; a cut item would still carry a valid CRC.
      messages.out(message_kind::notice)
          << "create_repository_file: " << writer->item_name
          << " does not fit its computed size of " << estimate << " bytes";
      return kItemOverflowed;
    }
    writer->unpacked_length = length;
    writer->packed = std::move(buffers.packed(id));
    writers[size_t(id)] = std::move(writer);
    item_start[size_t(id)] = used;
    used += length;
  }
  event_batch().swap(events);  // every item is serialized: the events go before the packing
  for (int32_t id : kWriterRunOrder) {
    segment* writer = writers[size_t(id)].get();
    if (writer == nullptr) continue;
    const std::span<const uint8_t> item =
        area.bytes(item_start[size_t(id)], size_t(writer->unpacked_length));
    if (pack_item(messages, options, *writer, item) == 0) return kItemNotPacked;
  }
  return 0;
}

std::array<uint8_t, kHeaderSize> file_header(const guid& file_guid, uint64_t footer_offset,
                                             uint32_t footer_length) {
  std::array<uint8_t, kHeaderSize> header{};
  std::copy(std::begin(kFileMagicBytes), std::end(kFileMagicBytes), header.begin());
  auto guid_bytes_le = guid_bytes(file_guid);
  std::copy(guid_bytes_le.begin(), guid_bytes_le.end(), header.begin() + kHeaderGuidPos);
  store_le64(header.data() + kHeaderLastFooterOffsetPos, footer_offset);
  store_le32(header.data() + kHeaderLastFooterLenPos, footer_length);
  return header;
}

// How far write_repository_file got: the mark an unexpected exception reports. Nothing can throw
// after the last write, so a finished file has none.
enum class file_progress { items = 1, part_table = 5, properties = 10, created = 20, header = 30 };

int32_t write_repository_file(message_sink& messages, event_batch& events, const file_props& props,
                              const std::string& directory, const segment_factory& factory,
                              const write_options& options, uint64_t* file_bytes,
                              file_progress& progress,
                              target_failure* failure) {
  progress = file_progress::items;
  std::array<std::unique_ptr<segment>, kBufferIdCount> writers;
  lent_buffers buffers(writers);
  if (const int32_t rc =
          run_writers(messages, events, props.PlatformID, factory, options, writers, buffers);
      rc != 0)
    return rc;

  // Items in file order from offset 512, back to back.
  std::vector<const segment*> items;
  uint64_t offset = kHeaderSize;
  for (int32_t id : kItemWriteOrder) {
    segment* writer = writers[size_t(id)].get();
    if (writer == nullptr) continue;
    writer->item_offset = offset;
    offset += writer->packed.size();
    items.push_back(writer);
  }
  std::vector<uint8_t> table = part_table_region(items);
  progress = file_progress::part_table;
  std::vector<uint8_t> properties = property_block(props);
  progress = file_progress::properties;

  const std::string path = directory + platform::kNativeSeparator + repository_file_name(props);
  if (utf16_length(path) + kPartialSuffix.size() + 1 > platform::kMaxPathUnits) {
    messages.out(message_kind::notice) << "(1)MultiByteToWideChar: " << error_text(ENAMETOOLONG);
    return kPathNotBuilt;
  }
  const uint64_t footer_length = table.size() + properties.size();
  if (footer_length > UINT32_MAX) {
    messages.out(message_kind::notice)
        << "create_repository_file: footer too long: " << footer_length;
    return kFooterTooLong;
  }
  if (file_bytes != nullptr) *file_bytes = offset + footer_length;
  if (options.dry_run) return 0;
  partial_file out(path);
  // A file system (or quota) that is full fails the file with kTargetFull, one that refuses
  // writing with kTargetRefused: the copy stops then.
  int error = 0;
  auto failed = [&](int32_t otherwise) {
    if (failure != nullptr) *failure = {error, path};
    return target_result(error, otherwise);
  };
  if (out.create(messages, directory, error) != 0) return failed(kFileNotCreated);
  progress = file_progress::created;

  guid file_guid;
  if (!make_guid(file_guid)) {
    messages.out(message_kind::notice) << "UuidCreate error!";
    return kFileGuidFailed;
  }
  auto write_all = [&](std::span<const uint8_t> data) {
    return write_file(messages, out.file, data, path, &error) == data.size();
  };
  auto write_failed = [&] { return failed(kItemWrittenShort); };
  const auto header = file_header(file_guid, offset, uint32_t(footer_length));
  if (!write_all(header)) return write_failed();
  progress = file_progress::header;
  for (const segment* item : items) {
    if (!write_all(item->packed)) return write_failed();
  }
  if (!write_all(table) || !write_all(properties)) return write_failed();
  if (!out.complete(messages, error)) return failed(kFileNotCreated);
  return 0;
}

}  // namespace

std::vector<uint8_t> part_table_region(const std::vector<const segment*>& items) {
  std::vector<uint8_t> out(kFooterHeadSize, 0);  // previous footer offset and length stay 0
  byte_writer w(out);
  for (const segment* item : items) {
    std::u16string_view name = item->wide_item_name;
    w.u32(uint32_t(name.size()));
    for (char16_t c : name) w.u16(uint16_t(c));
    w.u64(item->unpacked_length);
    w.u64(item->item_offset);
    w.u64(item->packed.size());
  }
  store_le64(out.data() + kFooterTblLenPos, out.size() - kFooterHeadSize);
  return out;
}

int32_t target_result(int code, int32_t otherwise) {
  if (platform::is_out_of_space(code)) return kTargetFull;
  if (platform::is_write_refused(code)) return kTargetRefused;
  return otherwise;
}

int32_t create_repository_file(message_sink& messages, event_batch& events, const file_props& props,
                               const std::string& directory, const segment_factory& factory,
                               const write_options& options, uint64_t* file_bytes,
                               target_failure* failure) {
  file_progress progress = file_progress::items;
  try {
    return write_repository_file(messages, events, props, directory, factory, options, file_bytes,
                                 progress, failure);
  } catch (const fatal_error&) {
    throw;
  } catch (...) {
  }
  const std::string mark_line = "Mark = " + std::to_string(int(progress)) + "\n";
  throw fatal_error("=create_repository_file=\n" + mark_line, mark_line);
}

}  // namespace repcopy
