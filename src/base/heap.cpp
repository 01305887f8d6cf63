#include "base/heap.h"

#include <cstdlib>

namespace kest {
namespace {
long failFrom = -1;
long attempts = 0;
}  // namespace

void* HeapAllocate(std::size_t bytes) {
    long index = attempts++;
    if (failFrom >= 0 && index >= failFrom) return nullptr;
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void HeapRelease(void* block) { std::free(block); }

void HeapFailFrom(long index) {
    failFrom = index;
    attempts = 0;
}

void HeapResetFailure() { HeapFailFrom(-1); }

long HeapAllocationCount() { return attempts; }

}  // namespace kest
