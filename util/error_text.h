#pragma once
// The text of the calling thread's last system error: "<message> <code> (0x<hex>)", or
// " code = <code> (0x<hex>)" when the system has no message for it.

#include <string>

namespace repcopy {

std::string error_text();
std::string error_text(int code);

}  // namespace repcopy
