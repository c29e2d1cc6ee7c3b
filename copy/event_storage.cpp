#include "copy/event_storage.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {

event_storage::event_storage(int32_t batch_event_limit, int32_t batch_byte_limit,
                             int32_t pending_limit, uint64_t batch_memory_limit,
                             uint64_t pending_memory_limit)
    : batch_event_limit_(std::max(batch_event_limit, 1)),
      batch_byte_limit_(std::max(batch_byte_limit, 1)),
      pending_limit_(std::max(pending_limit, 1)),
      batch_memory_limit_(std::max<uint64_t>(batch_memory_limit, 1)),
      pending_memory_limit_(std::max<uint64_t>(pending_memory_limit, 1)) {}

// The first domain in key order that holds a computer under key wins.
computer_entry* event_storage::find_computer(const std::u16string& key, domain_entry*& domain) {
  for (auto& [domain_name, entry] : domains_) {
    auto it = entry.computers.find(key);
    if (it != entry.computers.end()) {
      domain = &entry;
      return &it->second;
    }
  }
  return nullptr;
}

// A computer stays under the domain where it was first created: the repository's (upper-cased)
// computer name is looked up in every domain first, then the event's own computer name; only
// when neither is known is the computer created under the event's domain.
event_storage::place event_storage::find_place(const stored_event& event) {
  if (cache_.valid && event.source_part.serial != 0 &&
      event.source_part.serial == cache_.source_part && event.comp_index == cache_.comp_index)
    return cache_.where;
  if (cache_.valid && cache_.host_computer == event.host_computer &&
      cache_.computer == event.computer && cache_.data_source == event.under_data_source) {
    cache_.source_part = event.source_part.serial;
    cache_.comp_index = event.comp_index;
    return cache_.where;
  }

  place where;
  const std::u16string key = ascii_upper(std::u16string(event.host_computer));
  where.computer = find_computer(key, where.domain);
  if (where.computer == nullptr)
    where.computer = find_computer(std::u16string(event.computer), where.domain);
  if (where.computer == nullptr) {
    const std::u16string domain_name =
        event.domain.empty() ? std::u16string(kUnknownName) : std::u16string(event.domain);
    auto [dit, domain_created] = domains_.try_emplace(domain_name);
    if (domain_created) dit->second.name = domain_name;
    auto [cit, computer_created] = dit->second.computers.try_emplace(key);
    if (computer_created) {
      computer_entry& computer = cit->second;
      computer.name = key;
      computer.platform_id = event.platform_id;
      computer.os_major = event.os_major;
      computer.os_minor = event.os_minor;
      computer.computer_type = event.computer_type;
    }
    cache_.valid = false;
    where.domain = &dit->second;
    where.computer = &cit->second;
  }

  auto [sit, ds_created] =
      where.computer->data_sources.try_emplace(std::u16string(event.under_data_source));
  if (ds_created) sit->second.name = event.under_data_source;
  where.ds = &sit->second;

  cache_.host_computer = event.host_computer;
  cache_.computer = event.computer;
  cache_.data_source = event.under_data_source;
  cache_.source_part = event.source_part.serial;
  cache_.comp_index = event.comp_index;
  cache_.where = where;
  cache_.valid = true;
  return where;
}

// Every item carries the names of the entries it belongs to and the details of its computer
// entry, whichever way it is taken, so one computer's batches always land in one directory.
void event_storage::fill_header(storage_item& item, domain_entry* domain, computer_entry* computer,
                                ds_entry* ds) {
  item.domain = domain;
  item.computer = computer;
  item.p_ds = ds;
  item.domain_name = domain->name;
  item.computer_name = computer->name;
  item.platform_id = computer->platform_id;
  item.os_major = computer->os_major;
  item.os_minor = computer->os_minor;
  item.computer_type = computer->computer_type;
}

int32_t event_storage::add(stored_event& event, storage_item& item) {
  const place where = find_place(event);
  ds_entry& ds = *where.ds;
  const uint64_t size = event.data.size();
  if (static_cast<uint64_t>(batch_byte_limit_) < uint64_t{ds.batch_bytes} + size) {
    fill_header(item, where.domain, where.computer, where.ds);
    return kBatchBytesFull;
  }
  // An event that names no source file comes from the file of the one before it (read_ahead).
  if (event.source_file.path) source_file_ = std::move(event.source_file.path);
  if (source_file_ && (ds.source_files.empty() || ds.source_files.back() != source_file_))
    ds.source_files.push_back(source_file_);
  const uint64_t memory = event.bytes();
  ds.ds_full_events.push_back(std::move(event));
  ds.batch_memory += memory;
  pending_memory_ += memory;
  peak_pending_memory_ = std::max(peak_pending_memory_, pending_memory_);
  ds.total += 1;
  ds.batch_count += 1;
  ds.batch_bytes += static_cast<uint32_t>(size);
  total_added_ += 1;
  pending_ += 1;
  peak_pending_ = std::max(peak_pending_, pending_);
  if (ds.batch_count >= static_cast<uint32_t>(batch_event_limit_) ||
      ds.batch_memory >= batch_memory_limit_) {
    fill_header(item, where.domain, where.computer, where.ds);
    return kBatchEventsFull;
  }
  if (pending_ >= static_cast<uint32_t>(pending_limit_) ||
      pending_memory_ >= pending_memory_limit_) {
    return kPendingFull;
  }
  return kStorageAdded;
}

int32_t event_storage::add(const full_event& event, storage_item& item) {
  stored_event stored(event);
  return add(stored, item);
}

// The batch leaves by a move: the events are not copied, and the entry is left with an empty
// queue and zero counts.
void event_storage::move_batch(storage_item& item, ds_entry& ds) {
  item.ds_name = ds.name;
  item.ds_total = ds.total;
  item.batch_count = ds.batch_count;
  item.footprint = ds.batch_memory;
  event_batch taken;
  taken.swap(ds.ds_full_events);
  item.events = std::move(taken);
  item.source_files = std::move(ds.source_files);
  ds.source_files.clear();
  pending_ -= ds.batch_count;
  pending_memory_ -= ds.batch_memory;
  ds.batch_count = 0;
  ds.batch_bytes = 0;
  ds.batch_memory = 0;
}

int32_t event_storage::take_named(storage_item& item) {
  return fatal_on_exception("=log_sender_curr=\n", [&] {
    if (item.p_ds == nullptr || item.p_ds->batch_count == 0) return kNoBatch;
    if (item.domain != nullptr && item.computer != nullptr)
      fill_header(item, item.domain, item.computer, item.p_ds);
    move_batch(item, *item.p_ds);
    return int32_t{0};
  });
}

int32_t event_storage::take_largest(storage_item& item) {
  return fatal_on_exception("=log_sender=\n", [&] {
    place largest;
    uint32_t largest_count = 0;
    for (auto& [dn, domain] : domains_)
      for (auto& [cn, computer] : domain.computers)
        for (auto& [sn, ds] : computer.data_sources)
          if (ds.batch_count > largest_count) {
            largest = {&domain, &computer, &ds};
            largest_count = ds.batch_count;
          }
    if (largest_count == 0) return kNoBatch;
    fill_header(item, largest.domain, largest.computer, largest.ds);
    move_batch(item, *largest.ds);
    return int32_t{0};
  });
}

void event_storage::print_summary(message_sink& messages) const {
  std::ostringstream out;
  out << to_utf8(name_) << '\n';
  for (const auto& [dn, domain] : domains_) {
    out << '\t' << to_utf8(domain.name) << '\n';
    for (const auto& [cn, computer] : domain.computers) {
      out << "\t\t" << to_utf8(computer.name) << '\n';
      out << "\t\t\tos ver. " << computer.os_major << '.' << computer.os_minor << '\n';
      for (const auto& [sn, ds] : computer.data_sources) {
        out << "\t\t\t" << to_utf8(ds.name) << '\n';
        out << "\t\t\t\t" << ds.total << " (" << ds.batch_count << ')' << '\n';
        out << '\n';
      }
    }
  }
  messages.write(message_kind::summary, message_stream::out, out.view());
}

}  // namespace repcopy
