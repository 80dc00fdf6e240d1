#include "sim/sim_control.h"

namespace sim {

void ResetAll()
{
    ResetThreads();
    ResetWindows();
    ResetModules();
    ResetRegistry();
    ResetAutomation();
    ResetResources();
    ResetComRuntime();
    ClearFaults();
}

}  // namespace sim
