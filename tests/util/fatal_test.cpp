// The fatal stops as the library raises them and as the entry point prints them.
#include "util/fatal.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>

namespace repcopy {
namespace {

// The places whose only failure is an unexpected exception: each marker comes back exactly,
// whatever was thrown, and a fatal stop from inside passes unchanged.
TEST(FatalOnException, AnyOtherExceptionBecomesTheMarker) {
  const char* markers[] = {"=make_full_event2=\n", "=log_sender_curr=\n", "=log_sender=\n",
                           "=flush_items=\n"};
  for (const char* marker : markers) {
    EXPECT_EQ(fatal_on_exception(marker, [] { return 7; }), 7);
    for (int kind = 0; kind < 3; ++kind) {
      try {
        fatal_on_exception(marker, [&]() -> int {
          if (kind == 0) throw std::bad_alloc();
          if (kind == 1) throw 42;
          fatal_stop("inner\n");
        });
        ADD_FAILURE() << marker;
      } catch (const fatal_error& e) {
        EXPECT_EQ(e.marker(), kind == 2 ? "inner\n" : marker);
        EXPECT_STREQ(e.what(), e.marker().c_str());
      }
    }
  }
}

TEST(PrintFatal, MarkerOnOutputErrorTextOnErrorByteForByte) {
  std::ostringstream out, err;
  print_fatal(fatal_error("=create_repository_file=\nMark = 20\n", "Mark = 20\n"), out, err);
  EXPECT_EQ(out.str(), "=create_repository_file=\nMark = 20\n");
  EXPECT_EQ(err.str(), "Mark = 20\n");
}

}  // namespace
}  // namespace repcopy
