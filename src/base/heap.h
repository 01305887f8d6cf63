// Every buffer an export takes comes from here, so that a failed allocation
// can be provoked at each of them in turn and the export's clean-up checked.
#pragma once

#include <cstddef>

namespace kest {

// Zeroed memory, or null when the heap refuses.
void* HeapAllocate(std::size_t bytes);
void HeapRelease(void* block);  // null is fine

// Fault injection: the allocation numbered `index` (0-based, counted from
// this call) and every later one fail, until HeapResetFailure. A negative
// index switches failures off.
void HeapFailFrom(long index);
void HeapResetFailure();
// Allocations attempted since the last HeapFailFrom / HeapResetFailure.
long HeapAllocationCount();

}  // namespace kest
