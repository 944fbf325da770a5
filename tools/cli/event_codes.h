// Names of the library's event codes, for messages people read.
#pragma once

#include <string>
#include <string_view>

namespace kt::cli {

// "file or table failed" for 9; "unknown code" outside 1..10.
std::string_view EventCodeName(int code);

// "code 9 (file or table failed)".
std::string DescribeEventCode(int code);

}  // namespace kt::cli
