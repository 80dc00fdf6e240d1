// The rebar facts the enabler relies on, against comctl32's rebar under Wine.
#include <gtest/gtest.h>

#include "real_windows.h"

class RebarConformance : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m_frame.Rebar(), nullptr) << "comctl32 made no rebar"; }

    HWND Rebar() const { return m_frame.Rebar(); }
    HWND AppendBand(UINT cxHeader)
    {
        const HWND child = m_frame.CreateBandChild();
        EXPECT_TRUE(m_frame.InsertBand(child, cxHeader));
        return child;
    }
    HWND PlainWindow() { return m_frame.CreateBandChild(); }

private:
    vesk_test::RealRebarFrame m_frame;
};

#include "rebar_conformance_cases.h"
