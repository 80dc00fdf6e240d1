// What a test or a fuzz input can leave behind on the simulated platform, counted at one moment.
#pragma once

#include <string>

#include "sim/sim_control.h"

struct LeakSnapshot {
    int taskMemory = sim::LiveTaskMemBlocks();
    int strings = sim::LiveStrings();
    int arrays = sim::LiveArrays();
    int typeLibraries = sim::LiveTypeLibraries();
    int descriptions = sim::OutstandingDescriptions();
    int registryHandles = sim::OpenRegistryHandles();
    int dataModules = sim::OpenDataModules();
    int criticalSections = sim::LiveCriticalSections();

    // Each count that differs from `before`'s, with both values; empty when none does.
    std::string Differences(const LeakSnapshot& before) const
    {
        struct Count {
            const char* what;
            int then;
            int now;
        };
        const Count counts[] = {
            {"task memory blocks", before.taskMemory, taskMemory},
            {"strings", before.strings, strings},
            {"arrays", before.arrays, arrays},
            {"type libraries", before.typeLibraries, typeLibraries},
            {"type descriptions", before.descriptions, descriptions},
            {"registry keys open", before.registryHandles, registryHandles},
            {"module files mapped as data", before.dataModules, dataModules},
            {"critical sections", before.criticalSections, criticalSections},
        };
        std::string text;
        for (const Count& c : counts)
            if (c.now != c.then)
                text += std::string(text.empty() ? "" : ", ") + c.what + " " + std::to_string(c.then) + " -> " +
                        std::to_string(c.now);
        return text;
    }
};
