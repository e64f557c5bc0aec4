// Counts global operator new calls in the program that links allocation_counter.cpp.
#pragma once

namespace halvex::bench {

long AllocationCount();

}  // namespace halvex::bench
