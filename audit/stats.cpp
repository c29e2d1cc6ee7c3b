#include "audit/stats.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "audit/rep_files.h"
#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// No record buffer is built: the properties and part tables alone are read.
constexpr load_flags kNoLoadFlags = {};

// The group of a file as its first footer names it, and the unpacked bytes its tables state.
bool read_file_group(RepFileSource& source, event_group& group, uint64_t& unpacked) {
  RepFileBuffer file(discard_messages(), byte_span(source.file().image()), kNoLoadFlags);
  if (file.Load() != 0 || file.footers().empty()) return false;
  for (const footer_record& f : file.footers()) {
    for (const part_table_entry& e : f.part_table) unpacked += e.unpacked_len_tbl;
  }
  footer_info info;
  if (source.read_footer_info(file.footers().front(), info) != 0) return false;
  group = {info.domain, info.computer, info.under_data_source};
  return true;
}

nlohmann::json to_json(const group_stats& s) {
  nlohmann::json j = {{"files", s.files},
                      {"events", s.events},
                      {"bytes_on_disk", s.bytes_on_disk},
                      {"bytes_unpacked", s.bytes_unpacked}};
  j["first_event"] =
      s.events != 0 ? nlohmann::json(utc_text(s.first_time, utc_form::iso)) : nlohmann::json();
  j["last_event"] =
      s.events != 0 ? nlohmann::json(utc_text(s.last_time, utc_form::iso)) : nlohmann::json();
  return j;
}

void print_line(const group_stats& s, std::ostream& out) {
  out << "  files " << s.files << ", events " << s.events;
  if (s.events != 0)
    out << ", " << utc_text(s.first_time, utc_form::iso) << " to "
        << utc_text(s.last_time, utc_form::iso);
  out << ", " << s.bytes_on_disk << " bytes on disk, " << s.bytes_unpacked << " unpacked"
      << std::endl;
}

}  // namespace

void group_stats::add(const group_stats& o) {
  files += o.files;
  events += o.events;
  first_time = std::min(first_time, o.first_time);
  last_time = std::max(last_time, o.last_time);
  bytes_on_disk += o.bytes_on_disk;
  bytes_unpacked += o.bytes_unpacked;
}

repository_stats collect_stats(const std::vector<std::u16string>& paths) {
  std::vector<std::string> natives;
  for (const std::u16string& p : paths) natives.push_back(platform::native_path(p));
  return collect_stats(natives);
}

repository_stats collect_stats(const std::vector<std::string>& native_paths) {
  repository_stats stats;
  const rep_file_list list = list_rep_files(native_paths);
  for (const auto& [path, why] : list.unreadable) {
    stats.unreadable.emplace_back(platform::display_name(path), why);
    ++stats.damaged_files;
  }
  for (const std::string& path : list.files) {
    RepFileSource source(discard_messages(), nullptr, RepFileImage(path));
    group_stats file;
    file.files = 1;
    file.bytes_on_disk = source.file().image().size();
    event_group group;
    bool named = read_file_group(source, group, file.bytes_unpacked);
    source.ProcessFile([&](const full_event& e) {
      if (!named) {
        group = group_of(e);
        named = true;
      }
      ++file.events;
      file.first_time = std::min(file.first_time, e.event_time);
      file.last_time = std::max(file.last_time, e.event_time);
    });
    if (source.damage().any()) ++stats.damaged_files;
    if (!named) group = {u"(unreadable)", u"", u""};
    stats.groups[group].add(file);
    stats.totals.add(file);
  }
  return stats;
}

void print_stats_text(const repository_stats& stats, std::ostream& out) {
  for (const auto& [group, s] : stats.groups) {
    out << group_text(group) << std::endl;
    print_line(s, out);
  }
  out << "Total" << std::endl;
  print_line(stats.totals, out);
  for (const auto& [path, why] : stats.unreadable) {
    out << "Unreadable, not counted: " << path << ": " << why << std::endl;
  }
  if (stats.damaged_files != 0) {
    out << stats.damaged_files << " damaged file(s) (see repdump verify)" << std::endl;
  }
}

void print_stats_json(const repository_stats& stats, std::ostream& out) {
  nlohmann::json groups = nlohmann::json::array();
  for (const auto& [group, s] : stats.groups) {
    nlohmann::json j = to_json(s);
    j["domain"] = to_utf8(group.domain);
    j["computer"] = to_utf8(group.computer);
    j["data_source"] = to_utf8(group.data_source);
    groups.push_back(std::move(j));
  }
  nlohmann::json doc = {{"groups", std::move(groups)},
                        {"totals", to_json(stats.totals)},
                        {"damaged_files", stats.damaged_files}};
  nlohmann::json unreadable = nlohmann::json::array();
  for (const auto& [path, why] : stats.unreadable) {
    unreadable.push_back({{"path", path}, {"reason", why}});
  }
  doc["unreadable"] = std::move(unreadable);
  out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

}  // namespace repcopy
