#include "util/hex_dump.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace repcopy {

namespace {

std::string rule(char c) {
  return std::string(34, c) + " " + std::string(25, c) + " " + std::string(16, c) + "\n";
}

// The rows of data[start, end), offsets counted from the start of data. The classic dump ends
// with the row of `end` even when that row shows no byte; a cut piece does not.
void rows(std::ostream& os, std::span<const uint8_t> data, size_t end, size_t start,
          bool empty_last_row = true) {
  const size_t first_line = start / 16;
  size_t last_line = end / 16;
  if (!empty_last_row && end % 16 == 0 && last_line > first_line) --last_line;
  for (size_t k = first_line; k <= last_line; ++k) {
    std::string line;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8.8zX: ", k * 16);
    line += buf;
    size_t c0 = (k == first_line) ? start % 16 : 0;
    size_t c1 = (k == end / 16) ? end % 16 : 16;
    for (size_t c = 0; c < c0; ++c) line += "   ";
    for (size_t c = c0; c < c1; ++c) {
      std::snprintf(buf, sizeof buf, " %2.2X", data[k * 16 + c]);
      line += buf;
    }
    line.append((17 - c1) * 3, ' ');
    for (size_t c = 0; c < c0; ++c) line += ' ';
    for (size_t c = c0; c < c1; ++c) {
      uint8_t b = data[k * 16 + c];
      line += b < 0x20 ? '.' : char(b);
    }
    line += '\n';
    os << line;
  }
}

}  // namespace

void hex_dump_to(std::ostream& os, std::span<const uint8_t> data, size_t end, size_t start) {
  if (end > data.size()) end = data.size();
  if (start > end) start = end;
  os << rule('-');
  if (end - start <= 2 * kHexDumpEdge) {
    rows(os, data, end, start);
    os << rule('=');
  } else {
    rows(os, data, start + kHexDumpEdge, start, false);
    os << "... " << (end - start - 2 * kHexDumpEdge) << " bytes not shown ...\n";
    rows(os, data, end, end - kHexDumpEdge);
    os << rule('=');
    os << "total length: " << (end - start) << " bytes\n";
  }
  os.flush();
}

void hex_dump(message_sink& messages, std::span<const uint8_t> data, size_t end, size_t start,
              message_kind kind) {
  std::ostringstream text;
  hex_dump_to(text, data, end, start);
  messages.write(kind, message_stream::out, text.view());
}

}  // namespace repcopy
