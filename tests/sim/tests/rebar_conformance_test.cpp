// The rebar facts the enabler relies on, against the simulated rebar.
#include <gtest/gtest.h>

#include "sim/sim_control.h"
#include "sim_fixture.h"

class RebarConformance : public SimulatedPlatformTest {
protected:
    RebarConformance() : SimulatedPlatformTest(false) {}
    void SetUp() override
    {
        SimulatedPlatformTest::SetUp();
        m_rebar = sim::CreateRebar(sim::CreateTestWindow());
    }

    HWND Rebar() const { return m_rebar; }
    HWND AppendBand(UINT cxHeader)
    {
        const HWND child = sim::CreateTestWindow(m_rebar);
        sim::AddBand(m_rebar, child, cxHeader);
        return child;
    }
    HWND PlainWindow() { return sim::CreateTestWindow(); }

private:
    HWND m_rebar = nullptr;
};

#include "rebar_conformance_cases.h"
