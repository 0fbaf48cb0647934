#include "util/compat.h"

#include <algorithm>
#include <cstring>

namespace orvex::util {

std::size_t strlcpy(char* dst, const char* src, std::size_t size) noexcept {
    const std::size_t src_len = std::strlen(src);
    if (size != 0) {
        const std::size_t copied = std::min(src_len, size - 1);
        std::memcpy(dst, src, copied);
        dst[copied] = '\0';
    }
    return src_len;
}

std::size_t strlcat(char* dst, const char* src, std::size_t size) noexcept {
    // The destination's NUL is searched for only inside the buffer, so a
    // destination that was never terminated is not read past its end.
    const std::size_t dst_len =
        static_cast<std::size_t>(std::find(dst, dst + size, '\0') - dst);
    const std::size_t src_len = std::strlen(src);
    if (size != 0 && dst_len < size - 1) {
        const std::size_t copied = std::min(src_len, size - dst_len - 1);
        std::memcpy(dst + dst_len, src, copied);
        dst[dst_len + copied] = '\0';
    }
    return dst_len + src_len;
}

}  // namespace orvex::util
