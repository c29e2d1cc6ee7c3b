#pragma once
// The values of a new repository file's property block, and the texts derived from them: the
// property block itself and the file name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/repository_file_name.h"
#include "util/guid.h"

namespace repcopy {

// The environment GUID texts: a property value, and the name of the environment's directory.
inline constexpr std::string_view kEnvironmentWindows = "9E442BEE-EAC2-4D79-9013-053FB225CFD0";
inline constexpr std::string_view kEnvironmentOther = "8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E";
inline constexpr char16_t kStorageType[] = u"{ECB7E385-9535-48E2-A8D4-3AECBC43E517}";

// One field per property, in the order of the property block.
struct file_props {
  guid CollectionGUID;
  std::u16string CollectionName;
  uint32_t CollectionTime = 0;
  std::u16string CollectorComputer;
  std::u16string Computer;
  uint32_t ComputerType = 0;
  uint32_t DataFromTime = 0;
  std::u16string DataSource;
  uint32_t DataToTime = 0;
  std::u16string Domain;
  std::u16string Environment;
  uint32_t EventLogVersion = 0;
  uint32_t EventsCount = 0;
  std::u16string Host;
  std::u16string OrganizationalUnit;
  uint32_t PlatformID = 0;
  std::u16string Result;
  uint32_t SessionGmt = 0;
  guid SessionGUID;
  uint32_t SessionLocalTime = 0;
  std::u16string StorageType;
  std::u16string UnderDataSource;
  uint32_t Version = 0;
};

// Appends one pair: u32 name length, UTF-16LE name, u32 value length, UTF-16LE value.
void write_property(std::vector<uint8_t>& out, std::u16string_view name, std::u16string_view value);

// The property block: u64 byte length of the pairs, then the pairs in catalogue order; "Computer",
// "Domain" and "OrganizationalUnit" only for PlatformID 500, "Host" only for the others.
std::vector<uint8_t> property_block(const file_props& props);

// The file name of model/repository_file_name.h: "S", CollectionTime, DataFromTime, DataToTime,
// CollectionGUID, SessionGUID, ".rep".
std::string repository_file_name(const file_props& props);

// A 16-bit pair as one number, each part cut to its low 16 bits: major * 65536 + minor.
uint32_t version_number(uint32_t major, uint32_t minor);

}  // namespace repcopy
