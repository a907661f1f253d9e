#include "collectors/ipo_time.h"

#include "core/error.h"

namespace ordex {

std::string IpoTimeFromText(std::string_view, char) { throw Error("not built yet"); }

std::string ReadIpoTime(const FileAccess&, std::string_view, char) { throw Error("not built yet"); }

}  // namespace ordex
