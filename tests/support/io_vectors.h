#pragma once

// I/O vector helpers of the libraries preloaded into processes under test.

#include <sys/uio.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tarnlow::test {

// The first `size` bytes of an I/O vector.
inline std::vector<iovec> cutVector(const iovec* vector, int count, size_t size) {
    std::vector<iovec> cut;
    for (int i = 0; i < count && size > 0; ++i) {
        iovec piece = vector[i];
        piece.iov_len = std::min(piece.iov_len, size);
        size -= piece.iov_len;
        cut.push_back(piece);
    }
    return cut;
}

inline size_t vectorSize(const iovec* vector, int count) {
    size_t size = 0;
    for (int i = 0; i < count; ++i)
        size += vector[i].iov_len;
    return size;
}

} // namespace tarnlow::test
