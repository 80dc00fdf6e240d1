// What the fault injection offers the simulated services, not the system nor the tests.
#pragma once

#include <initializer_list>

#include "sim/faults_control.h"

namespace sim::internal {

// Asked by an operation at its start: true when this call is one a test made fail, with the code
// it answers in `*code` (when `code` is not null).
bool Injected(Op operation, LONG* code = nullptr);
// Clears the faults of `operations`, for the reset of the service they belong to.
void ClearFaults(std::initializer_list<Op> operations);

}  // namespace sim::internal
