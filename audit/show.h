#pragma once
// repdump show: the diagnostic dump of the buffer classes for each file given: header, footers,
// properties, part tables, the records of every internal file, and the nested files in turn.

#include <iosfwd>
#include <string>
#include <vector>

namespace repcopy {

// Dumps each file on standard output (where the buffer classes print). 0 when every file
// loaded, 1 when one could not be read or loaded.
// The paths are native (as the file system names the files).
int run_show(const std::vector<std::string>& native_files);

}  // namespace repcopy
