#include "app/run_sequence.h"

#include <iostream>
#include <vector>

#include "app/elapsed.h"
#include "copy/copy_driver.h"
#include "copy/event_storage.h"
#include "copy/worker_pool.h"
#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "source/rep_source2.h"
#include "util/paths.h"
#include "writer/rep_target.h"

namespace repcopy {

int32_t writer_thread_count(unsigned processors) {
  if (processors < 1) processors = 1;
  return int32_t(processors >= 4 ? processors - 1 : processors);
}

int run_sequence(const run_request& request) {
  copy_outcome outcome;
  // Built in this order and destroyed in reverse: target, sources, storage, pool. The pool's
  // destructor stops and joins its threads if an exception leaves the driver.
  worker_pool pool(writer_thread_count(platform::logical_processor_count()));
  event_storage storage;

  // A path that cannot be converted has been reported; the source then finds no walk root.
  std::u16string source_root;
  to_extended_path(request.source_path, source_root);
  RepSource2 hot(source_root, RepSource2::kModeHot, &request.filter, &outcome);
  RepSource2 main_part(source_root, RepSource2::kModeMain, &request.filter, &outcome);
  std::vector<CommonSource*> sources{&hot, &main_part};

  std::u16string target_root;
  to_extended_path(request.target_path, target_root);
  RepTarget target(target_root);

  run_copy_driver(pool, storage, sources, target, request.filter, outcome);

  uint64_t end_time = platform::system_time_as_filetime();
  storage.print_summary();
  print_elapsed(request.start_time, end_time);
  if (!outcome.complete()) {
    std::cerr << outcome.summary_line() << std::endl;
    return kExitPartial;
  }
  return 0;
}

}  // namespace repcopy
