#include "audit/diff.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "audit/event_hash.h"
#include "copy/event_storage.h"
#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "source/repository_walk.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// What the first pass keeps of one group on one side.
struct group_sum {
  uint64_t count = 0;
  event_hash sum;               // sum of the hashes, each half modulo 2^64
  std::vector<uint32_t> files;  // indexes into side::files, in reading order
};

struct side {
  std::u16string root;
  const filter_config* filter = nullptr;
  std::vector<std::string> files;  // native paths
  std::map<event_group, group_sum> groups;
  uint64_t events = 0;
  copy_outcome outcome;
};

// One event as the second pass names it.
struct event_ref {
  event_hash hash;
  uint32_t file = 0;     // index into side::files
  uint32_t ordinal = 0;  // position among the events the file yields
  uint32_t record_key = 0;
  uint32_t event_time = 0;
};

enum class difference_kind { missing, extra, duplicated, changed };

struct difference {
  difference_kind kind;
  event_ref source;            // missing, changed
  event_ref target;            // extra, duplicated, changed
  uint64_t source_copies = 0;  // duplicated: how often each side holds it
  uint64_t target_copies = 0;
};

void add_hash(event_hash& sum, const event_hash& h) {
  sum.low += h.low;
  sum.high += h.high;
}

// The event as the copy writes it: an event without a domain is filed, and so written, under
// "Unknown". Both sides are read this way, so a copy compares equal to its source.
const full_event& as_copied(const full_event& e, full_event& scratch) {
  if (!e.domain.empty()) return e;
  scratch = e;
  scratch.domain = kUnknownName;
  return scratch;
}

// Reads one file, handing each event (as copied) with its ordinal to visit.
template <class Visit>
void read_file(const side& s, uint32_t file, Visit visit) {
  uint32_t ordinal = 0;
  full_event scratch;
  process_repository_file(
      discard_messages(), s.files[file], s.filter, nullptr,
      [&](const full_event& read) { visit(as_copied(read, scratch), ordinal++); });
}

// The files of the tree in the order and with the rules of the copy's walk (hot part, then main
// part; the file-name time test of the filter).
std::vector<std::string> walk_files(side& s) {
  std::vector<std::string> files;
  for (uint32_t mode : {repository_walk::kModeHot, repository_walk::kModeMain}) {
    repository_walk walk(s.root, mode, s.filter, &s.outcome, nullptr);
    for (std::string path; walk.next_path(discard_messages(), path);) files.push_back(path);
  }
  return files;
}

// First pass: every file of the tree, each event's hash added to its group.
void sum_side(side& s) {
  s.files = walk_files(s);
  event_hasher hash;
  full_event scratch;
  for (uint32_t file = 0; file < s.files.size(); ++file) {
    group_sum* last = nullptr;
    event_group last_group;
    process_repository_file(discard_messages(), s.files[file], s.filter, &s.outcome,
                            [&](const full_event& read) {
                              const full_event& e = as_copied(read, scratch);
                              if (last == nullptr || e.domain != last_group.domain ||
                                  e.host_computer != last_group.computer ||
                                  e.under_data_source != last_group.data_source) {
                                last_group = group_of(e);
                                last = &s.groups[last_group];
                                if (last->files.empty() || last->files.back() != file)
                                  last->files.push_back(file);
                              }
                              ++last->count;
                              add_hash(last->sum, hash(e));
                              ++s.events;
                            });
  }
}

// The events of one group on one side whose hash falls into the slice.
std::vector<event_ref> collect(const side& s, const event_group& group, uint64_t slice,
                               uint64_t slices) {
  std::vector<event_ref> refs;
  auto it = s.groups.find(group);
  if (it == s.groups.end()) return refs;
  event_hasher hash;
  for (uint32_t file : it->second.files) {
    read_file(s, file, [&](const full_event& e, uint32_t ordinal) {
      if (e.domain != group.domain || e.host_computer != group.computer ||
          e.under_data_source != group.data_source) {
        return;
      }
      const event_hash h = hash(e);
      if (h.high % slices != slice) return;
      refs.push_back({h, file, ordinal, e.record_key, e.event_time});
    });
  }
  std::sort(refs.begin(), refs.end(),
            [](const event_ref& a, const event_ref& b) { return a.hash < b.hash; });
  return refs;
}

// Compares two sorted slices and appends what differs.
void compare_slice(const std::vector<event_ref>& src, const std::vector<event_ref>& dst,
                   std::vector<difference>& missing, std::vector<difference>& extra,
                   std::vector<difference>& duplicated) {
  size_t i = 0, j = 0;
  while (i < src.size() || j < dst.size()) {
    event_hash h = i == src.size()   ? dst[j].hash
                   : j == dst.size() ? src[i].hash
                                     : std::min(src[i].hash, dst[j].hash);
    size_t i_end = i, j_end = j;
    while (i_end < src.size() && src[i_end].hash == h) ++i_end;
    while (j_end < dst.size() && dst[j_end].hash == h) ++j_end;
    const size_t cs = i_end - i, cd = j_end - j;
    for (size_t k = i + cd; k < i_end; ++k) {
      missing.push_back({difference_kind::missing, src[k], {}, cs, cd});
    }
    for (size_t k = j + cs; k < j_end; ++k) {
      if (cs == 0) {
        extra.push_back({difference_kind::extra, {}, dst[k], cs, cd});
      } else {
        duplicated.push_back({difference_kind::duplicated, src[i], dst[k], cs, cd});
      }
    }
    i = i_end;
    j = j_end;
  }
}

// A missing and an extra event with the same record key are one changed event.
void pair_changes(std::vector<difference>& missing, std::vector<difference>& extra,
                  std::vector<difference>& changed) {
  std::unordered_multimap<uint32_t, size_t> extra_by_key;
  for (size_t k = 0; k < extra.size(); ++k) extra_by_key.emplace(extra[k].target.record_key, k);
  std::vector<bool> extra_used(extra.size(), false);
  std::vector<difference> still_missing;
  for (difference& m : missing) {
    auto [first, last] = extra_by_key.equal_range(m.source.record_key);
    auto found = std::find_if(first, last, [&](const auto& p) { return !extra_used[p.second]; });
    if (found == last) {
      still_missing.push_back(m);
      continue;
    }
    extra_used[found->second] = true;
    changed.push_back({difference_kind::changed, m.source, extra[found->second].target, 1, 1});
  }
  std::vector<difference> still_extra;
  for (size_t k = 0; k < extra.size(); ++k) {
    if (!extra_used[k]) still_extra.push_back(extra[k]);
  }
  missing = std::move(still_missing);
  extra = std::move(still_extra);
}

std::string where(const side& s, const event_ref& r) {
  return platform::display_name(s.files[r.file]) + " record key " + std::to_string(r.record_key) +
         " (" + utc_text(r.event_time) + ")";
}

full_event fetch(const side& s, const event_ref& r) {
  full_event found;
  read_file(s, r.file, [&](const full_event& e, uint32_t ordinal) {
    if (ordinal == r.ordinal) found = e;
  });
  return found;
}

void print(const difference& d, const side& src, const side& dst, std::ostream& out) {
  switch (d.kind) {
    case difference_kind::missing:
      out << "missing: " << where(src, d.source) << " is not in the target" << std::endl;
      break;
    case difference_kind::extra:
      out << "extra: " << where(dst, d.target) << " is not in the source" << std::endl;
      break;
    case difference_kind::duplicated:
      out << "duplicated: " << where(dst, d.target) << " is " << d.target_copies
          << " time(s) in the target, " << d.source_copies << " in the source" << std::endl;
      break;
    case difference_kind::changed: {
      std::string fields;
      {
        for (const std::string& f : changed_fields(fetch(src, d.source), fetch(dst, d.target))) {
          fields += (fields.empty() ? "" : ", ") + f;
        }
      }
      out << "changed: " << where(src, d.source) << " differs in the target ("
          << platform::display_name(dst.files[d.target.file]) << "): " << fields << std::endl;
      break;
    }
  }
}

}  // namespace

int run_diff(const std::u16string& source, const std::u16string& target,
             const diff_options& options, std::ostream& out, diff_counts* counts_out) {
  side src, dst;
  src.root = source;
  dst.root = target;
  const bool filtered = options.filter.time_on || options.filter.id_on;
  src.filter = filtered ? &options.filter : nullptr;
  {
    sum_side(src);
    sum_side(dst);
  }
  for (const side* s : {&src, &dst}) {
    if (s->outcome.damaged_files() != 0) {
      out << "warning: " << s->outcome.damaged_files() << " damaged file(s) in " << to_utf8(s->root)
          << "; their sound events are compared (see repdump verify)" << std::endl;
    }
  }

  std::vector<event_group> differing;
  for (const side* s : {&src, &dst}) {
    for (const auto& [group, sum] : s->groups) {
      const side& other = s == &src ? dst : src;
      auto it = other.groups.find(group);
      const bool same =
          it != other.groups.end() && it->second.count == sum.count && it->second.sum == sum.sum;
      if (!same && (s == &src || it == other.groups.end())) differing.push_back(group);
    }
  }

  diff_counts counts;
  counts.source_events = src.events;
  counts.target_events = dst.events;
  size_t printed = 0;
  for (const event_group& group : differing) {
    auto count_of = [&group](const side& s) {
      auto it = s.groups.find(group);
      return it == s.groups.end() ? uint64_t(0) : it->second.count;
    };
    const uint64_t largest = std::max(count_of(src), count_of(dst));
    const uint64_t slices = std::max<uint64_t>(
        1, (largest + options.slice_events - 1) / std::max<uint64_t>(1, options.slice_events));
    std::vector<difference> missing, extra, duplicated, changed;
    for (uint64_t slice = 0; slice < slices; ++slice) {
      std::vector<event_ref> a, b;
      {
        a = collect(src, group, slice, slices);
        b = collect(dst, group, slice, slices);
      }
      compare_slice(a, b, missing, extra, duplicated);
    }
    pair_changes(missing, extra, changed);
    counts.missing += missing.size();
    counts.extra += extra.size();
    counts.duplicated += duplicated.size();
    counts.changed += changed.size();
    for (const auto* list : {&changed, &missing, &extra, &duplicated}) {
      for (const difference& d : *list) {
        if (printed == options.max_lines) break;
        print(d, src, dst, out);
        ++printed;
      }
    }
  }
  out << "diff: source " << counts.source_events << " event(s), target " << counts.target_events
      << " event(s); missing " << counts.missing << ", extra " << counts.extra << ", changed "
      << counts.changed << ", duplicated " << counts.duplicated << ": "
      << (counts.equal() ? "equal" : "DIFFERENT") << std::endl;
  if (counts_out != nullptr) *counts_out = counts;
  return counts.equal() ? 0 : 1;
}

}  // namespace repcopy
