#pragma once
// repdump show: the diagnostic dump of the buffer classes for each file given: header, footers,
// properties, part tables, the records of every internal file, and the nested files in turn.

#include <string>
#include <vector>

#include "util/message_sink.h"

namespace repcopy {

// Dumps each file to messages, as summary lines on standard output with the readers' own lines
// among them. 0 when every file loaded, 1 when one could not be read or loaded.
// The paths are native (as the file system names the files).
int run_show(message_sink& messages, const std::vector<std::string>& native_files);

}  // namespace repcopy
