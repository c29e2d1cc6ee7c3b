#pragma once
// How the target writes its files: built once from the command line (make_write_options) and
// handed to RepTarget, which passes it down to every repository file and every packed item.

#include <cstdint>

#include "compression/deflate.h"

namespace repcopy {

struct write_options {
  compression::engine engine = compression::built_engine();
  int level = compression::default_level(compression::built_engine());  // the engine's own level
  bool dry_run = false;  // build and pack every file, create no directory and no file
};

// level: 1..12 as --level takes it, or 0 for the engine's default; fitted to the engine here and
// nowhere else.
inline write_options make_write_options(int32_t level, bool dry_run,
                                        compression::engine engine = compression::built_engine()) {
  write_options options;
  options.engine = engine;
  options.level =
      level == 0 ? compression::default_level(engine) : compression::engine_level(engine, level);
  options.dry_run = dry_run;
  return options;
}

}  // namespace repcopy
