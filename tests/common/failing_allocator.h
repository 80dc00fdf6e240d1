// Control of the test binary's global allocation operators (failing_allocator.cpp).
#pragma once

namespace test {

// The allocation through operator new that finds the count at 0 fails (null for the nothrow forms,
// std::bad_alloc otherwise); a negative count fails nothing.
void FailOperatorNewAfter(int allocations);
// What is left of the countdown: negative once the failing allocation was made (or none is set).
int OperatorNewCountdown();

}  // namespace test
