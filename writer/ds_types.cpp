#include "writer/ds_types.h"

#include "util/text.h"

namespace repcopy {

const char16_t* const kDsTypeTable[kDsTypeTableSize] = {
    u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}",
    u"Application",
    u"Security",
    u"System",
    u"Directory Service",
    u"DNS Server",
    u"File Replication Service",
    u"Vardo for ADAM",
    u"Vardo",
    u"Vardo for AD",
    u"Vardo for Exchange",
    u"VardoforMIIS",
    u"Korvan File Access Audit",
    u"Tallyman for SQL Server",
    u"Tallyman Service",
    u"Tallyman Coordinator Service",
    u"Tallyman for NetApp",
    u"Marl Server",
    u"Tallyman for EMC",
    u"",
    u"{046FD196-5B96-41ac-A335-31FC73EFA206}",
    u"Syslog",
    u"",
    u"{41C93014-34CA-4e3c-8497-AD2B2948D152}",
    u"AIX5LAccountsMonitoring",
    u"AIX5LTextFilesMonitoring",
    u"HPUXAccountsMonitoring",
    u"HPUXTextFilesMonitoring",
    u"LinuxAccountsMonitoring",
    u"LinuxTextFilesMonitoring",
    u"SolarisAccountsMonitoring",
    u"SolarisTextFilesMonitoring",
    u"SuseLinuxAccountsMonitoring",
    u"SuseLinuxTextFilesMonitoring",
    u"",
    u"{708DDECC-A61E-493f-9174-A7909AF4E36B}",
    u"AIX 5L Audit Log",
    u"",
    u"{459F3A7F-0B1C-4019-B99E-20D7D855F7E2}",
    u"Solaris Audit",
    u"",
    u"{78B306FD-DA5B-4d4f-B7E9-8683F92F9244}",
    u"HPUXAuditLog",
    u"",
    u"{62BFE99C-DD3E-4265-B8F7-2BAF56DE7E8A}",
    u"Excel File Change Log",
    u"SQL Server Error Log",
    u"VMware vCenter and ESX(i) events",
    u"",
    u"{F8E0535B-BF4A-4003-9423-584EAB5DE65D}",
    u"aix ctl log",
    u"CheckPoint",
    u"CiscoPIX",
    u"HugeCtl",
    u"",
    u"{04EEF17C-F590-43E8-B1D6-4ADDB150A880}",
    u"Oracle Audit",
    u"Vardo for SQLServer c2 log",
    u"VD for SQLServer replication (misc)",
    u"VD for SQLServer replication",
    u"",
    u"{864100F0-573C-420f-AAC2-97D0103DE6F2}",
    u"MS DHCP",
    u"",
    u"{7B210711-7E5A-4cc2-8300-34D1F6037082}",
    u"MS Exchange Tracking",
    u"",
    u"{06DC25C8-32D7-4f5c-9DE0-559A2A437C26}",
    u"MS IIS FTP",
    u"MS IIS WWW",
    u"",
    u"{85ECF12B-DB77-4aa6-9FB8-E104EA7113FB}",
    u"MS ISA Firewall",
    u"MS ISA Web Proxy",
    u"",
    u"{5115B8AA-29AE-4C6D-AE14-0BB7521E10FB}",
    u"Vardo User Session Tracking",
    u"",
};

namespace {
constexpr size_t kTypeTextLength = 38;
}

bool ds_type_map::build(message_sink& messages) {
  if (table_.empty() || table_.back() == nullptr || table_.back()[0] != u'\0') {
    messages.out(message_kind::notice) << "Datasource type name array is not closed.";
    return false;
  }
  size_t i = 0;
  while (i < table_.size()) {
    std::u16string type = table_[i] != nullptr ? table_[i] : u"";
    if (type.size() != kTypeTextLength) {
      messages.out(message_kind::notice) << "Wrong Datasource type : " << to_utf8(type);
      return false;
    }
    const ds_type entry{type, native_name(type)};
    for (++i; i < table_.size() && table_[i] != nullptr && table_[i][0] != u'\0'; ++i) {
      map_.emplace(table_[i], entry);  // a name listed twice keeps its first type
    }
    ++i;  // the entry that closes the group
  }
  return true;
}

const ds_type* ds_type_map::lookup(message_sink& messages, const std::u16string& name,
                                   std::string_view shown) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A failed build keeps the groups it inserted; later lookups then use them as they are.
  if (map_.empty() && !build(messages)) return nullptr;
  auto it = map_.find(name);
  if (it != map_.end()) return &it->second;
  messages.out(message_kind::notice) << "Datasource name not found: " << shown << "\n"
                                     << "Windows datasource type will be used";
  return &map_.emplace(name, ds_type{kDefaultDsType, native_name(kDefaultDsType)}).first->second;
}

}  // namespace repcopy
