#include "records/segment.h"

#include <string>

#include "records/cache_writers.h"
#include "records/events_writer.h"
#include "records/named_field_writers.h"
#include "records/position_writers.h"
#include "records/record_format.h"
#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {

segment::segment(int32_t buffer_id)
    : buffer_id(buffer_id),
      item_name(record_file::kItemNames[buffer_id].data()),
      wide_item_name(widen_ascii(record_file::kItemNames[buffer_id])) {}

std::unique_ptr<segment> create_segment(int32_t buffer_id) {
  using namespace record_file;
  switch (buffer_id) {
    case kCatId:
      return std::make_unique<cat_cache>();
    case kCompId:
      return std::make_unique<comp_cache>();
    case kDescId:
      return std::make_unique<desc_cache>();
    case kEventsId:
      return std::make_unique<events_dat>();
    case kFirstPosId:
      return std::make_unique<first_pos>();
    case kInsId:
      return std::make_unique<ins_cache>();
    case kLastPosId:
      return std::make_unique<last_pos>();
    case kRecordKeysId:
      return std::make_unique<record_keys>();
    case kSrcId:
      return std::make_unique<src_cache>();
    case kUserId:
      return std::make_unique<user_cache>();
    case kNfieldsId:
      return std::make_unique<nfields_dat>();
    case kNfNamesId:
      return std::make_unique<nf_names_cache>();
    case kNfValuesId:
      return std::make_unique<nf_values_cache>();
    case kFilterDatId:
      return std::make_unique<filter_dat>();
    case kFilterStatId:
      return std::make_unique<filters_stat>();
    default:
      fatal_stop("Unknown  id: " + std::to_string(buffer_id) + "\n");
  }
}

}  // namespace repcopy
