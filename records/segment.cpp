#include "records/segment.h"

#include <iostream>

#include "records/cache_writers.h"
#include "records/events_writer.h"
#include "records/named_field_writers.h"
#include "records/position_writers.h"
#include "util/fatal.h"

namespace repcopy {

std::unique_ptr<segment> create_segment(int position) {
  switch (position) {
    case 0:
      return std::make_unique<cat_cache>();
    case 1:
      return std::make_unique<comp_cache>();
    case 2:
      return std::make_unique<desc_cache>();
    case 3:
      return std::make_unique<ins_cache>();
    case 4:
      return std::make_unique<src_cache>();
    case 5:
      return std::make_unique<user_cache>();
    case 6:
      return std::make_unique<record_keys>();
    case 7:
      return std::make_unique<first_pos>();
    case 8:
      return std::make_unique<last_pos>();
    case 9:
      return std::make_unique<filter_dat>();
    case 10:
      return std::make_unique<filters_stat>();
    case 11:
      return std::make_unique<events_dat>();
    case 12:
      return std::make_unique<nf_names_cache>();
    case 13:
      return std::make_unique<nf_values_cache>();
    case 14:
      return std::make_unique<nfields_dat>();
    default:
      std::cout << "Unknown  id: " << position << std::endl;
      fatal_exit();
  }
}

}  // namespace repcopy
