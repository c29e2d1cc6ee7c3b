#include "writer/file_props.h"

#include <cstdio>

#include "container/format.h"
#include "util/bytes.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

std::u16string hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%8.8X", v);
  return widen_ascii(buf);
}

std::u16string decimal(uint32_t v) { return widen_ascii(std::to_string(int32_t(v))); }

std::u16string time_value(uint32_t seconds) { return widen_ascii(time14_text(seconds)); }

std::u16string guid_value(const guid& g) { return widen_ascii(guid_text(g)); }

}  // namespace

void write_property(std::vector<uint8_t>& out, std::u16string_view name,
                    std::u16string_view value) {
  byte_writer w(out);
  w.u32(uint32_t(name.size()));
  for (char16_t c : name) w.u16(uint16_t(c));
  w.u32(uint32_t(value.size()));
  for (char16_t c : value) w.u16(uint16_t(c));
}

std::vector<uint8_t> property_block(const file_props& p) {
  const bool windows = p.PlatformID == kPlatformWindows;
  std::vector<uint8_t> out(kPropertyLenSize, 0);
  write_property(out, u"CollectionGUID", guid_value(p.CollectionGUID));
  write_property(out, u"CollectionName", p.CollectionName);
  write_property(out, u"CollectionTime", time_value(p.CollectionTime));
  write_property(out, u"CollectorComputer", p.CollectorComputer);
  if (windows) write_property(out, u"Computer", p.Computer);
  write_property(out, u"ComputerType", hex8(p.ComputerType));
  write_property(out, u"DataFromTime", time_value(p.DataFromTime));
  write_property(out, u"DataSource", p.DataSource);
  write_property(out, u"DataToTime", time_value(p.DataToTime));
  if (windows) write_property(out, u"Domain", p.Domain);
  write_property(out, u"Environment", p.Environment);
  write_property(out, u"EventLogVersion", hex8(p.EventLogVersion));
  write_property(out, u"EventsCount", decimal(p.EventsCount));
  if (!windows) write_property(out, u"Host", p.Host);
  if (windows) write_property(out, u"OrganizationalUnit", p.OrganizationalUnit);
  write_property(out, u"PlatformID", decimal(p.PlatformID));
  write_property(out, u"Result", p.Result);
  write_property(out, u"SessionGmt", time_value(p.SessionGmt));
  write_property(out, u"SessionGUID", guid_value(p.SessionGUID));
  write_property(out, u"SessionLocalTime", time_value(p.SessionLocalTime));
  write_property(out, u"StorageType", p.StorageType);
  write_property(out, u"UnderDataSource", p.UnderDataSource);
  write_property(out, u"Version", hex8(p.Version));
  store_le64(out.data(), out.size() - kPropertyLenSize);
  return out;
}

std::string repository_file_name(const file_props& p) {
  return std::string(kFileNamePrefix) + time14_text(p.CollectionTime) +
         time14_text(p.DataFromTime) + time14_text(p.DataToTime) +
         guid_compact_text(p.CollectionGUID) + guid_compact_text(p.SessionGUID) +
         std::string(kFileNameExtension);
}

uint32_t version_number(uint32_t major, uint32_t minor) {
  return ((major & 0xFFFF) << 16) | (minor & 0xFFFF);
}

}  // namespace repcopy
