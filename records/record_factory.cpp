#include "records/record_factory.h"

#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/filter_readers.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_format.h"

namespace repcopy {

std::unique_ptr<RepPartBuffer> make_record_buffer(int32_t buffer_id, byte_buffer data,
                                                  uint64_t real_len) {
  using namespace record_file;
  switch (buffer_id) {
    case kCatId:
      return std::make_unique<RepCatBuffer>(std::move(data), real_len);
    case kCompId:
      return std::make_unique<RepCompBuffer>(std::move(data), real_len);
    case kDescId:
      return std::make_unique<RepDescBuffer>(std::move(data), real_len);
    case kEventsId:
      return std::make_unique<RepEventsBuffer>(std::move(data), real_len);
    case kFirstPosId:
      return std::make_unique<RepFirstPosBuffer>(std::move(data), real_len);
    case kInsId:
      return std::make_unique<RepInsBuffer>(std::move(data), real_len);
    case kLastPosId:
      return std::make_unique<RepLastPosBuffer>(std::move(data), real_len);
    case kRecordKeysId:
      return std::make_unique<RepRecordBuffer>(std::move(data), real_len);
    case kSrcId:
      return std::make_unique<RepSrcBuffer>(std::move(data), real_len);
    case kUserId:
      return std::make_unique<RepUserBuffer>(std::move(data), real_len);
    case kNfieldsId:
      return std::make_unique<RepNfieldsDatBuffer>(std::move(data), real_len);
    case kNfNamesId:
      return std::make_unique<RepNfNamesBuffer>(std::move(data), real_len);
    case kNfValuesId:
      return std::make_unique<RepNfValuesBuffer>(std::move(data), real_len);
    case kFilterDatId:
      return std::make_unique<RepFiltersDatBuffer>(std::move(data), real_len);
    case kFilterStatId:
      return std::make_unique<RepFilterStatBuffer>(std::move(data), real_len);
    default:
      return nullptr;
  }
}

}  // namespace repcopy
