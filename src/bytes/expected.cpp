#include "bytes/expected.h"

#include <cstdio>
#include <cstdlib>

namespace carvo::bytes::detail {

void missingSide(const char* what) {
    std::fprintf(stderr, "carvo: %s\n", what);
    std::abort();
}

} // namespace carvo::bytes::detail
