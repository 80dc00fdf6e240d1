// The platform's JScript engine in this process drives the registered Vesk.dll against a real
// rebar of this process: a script creates the enabler by its ProgID, or uses the one the host made
// and named, and the band's header is widened from 10 to 32 pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "real_windows.h"
#include "script_engine.h"
#include "server_fixture.h"

namespace {

struct InProcessCase {
    const char* behaviour;
    const wchar_t* code;  // "%H" stands for the toolbar window's handle, as a decimal number
    bool namedEnabler;    // the host exposes its own enabler as "enabler"
    UINT headerBefore;
    UINT headerAfter;
    size_t errors;        // how many errors the engine reports to the site
};

const InProcessCase kCases[] = {
    {"a script creates the enabler by its versioned ProgID and EnableVesk widens the band",
     L"var e = new ActiveXObject(\"Vesk.VeskEnabler.1\"); e.EnableVesk(%H);", false, 10, 32, 0},
    {"a script creates the enabler by its version-independent ProgID and MakeSure widens the band",
     L"var e = new ActiveXObject(\"Vesk.VeskEnabler\"); e.MakeSure(%H);", false, 10, 32, 0},
    {"a script calls EnableVesk on the enabler the host created and named",
     L"enabler.EnableVesk(%H);", true, 10, 32, 0},
    {"a script passing the handle as a string is converted and still widens the band",
     L"enabler.EnableVesk(\"%H\");", true, 10, 32, 0},
    {"a script naming no window leaves the band alone",
     L"enabler.EnableVesk(0); enabler.MakeSure(0);", true, 10, 10, 0},
    {"a band already wider keeps its header",
     L"enabler.EnableVesk(%H);", true, 40, 40, 0},
    {"an unknown method stops the script with an error before anything is widened",
     L"enabler.Widen(%H); enabler.EnableVesk(%H);", true, 10, 10, 1},
};

std::wstring WithHandle(std::wstring code, long handle)
{
    const std::wstring number = std::to_wstring(handle);
    for (std::wstring::size_type at = code.find(L"%H"); at != std::wstring::npos; at = code.find(L"%H"))
        code.replace(at, 2, number);
    return code;
}

class InProcessScriptTest : public ServerTest {
protected:
    InProcessScriptTest() : ServerTest(kApartment | kRegistration) {}
};

TEST_F(InProcessScriptTest, ScriptsWidenARealBand)
{
    CLSID enablerClass = {};
    ASSERT_EQ(CLSIDFromProgID(L"Vesk.VeskEnabler", &enablerClass), S_OK);
    for (const InProcessCase& row : kCases) {
        SCOPED_TRACE(row.behaviour);
        vesk_test::RealRebarFrame frame;
        const HWND bandChild = frame.CreateBandChild();
        ASSERT_TRUE(frame.InsertBand(bandChild, row.headerBefore));
        const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
        ASSERT_NE(toolbar, nullptr);
        ASSERT_EQ(frame.ReadHeader(0), row.headerBefore);

        vesk_test::MinimalScriptSite site;
        IDispatch* enabler = nullptr;
        std::vector<std::wstring> items;
        if (row.namedEnabler) {
            ASSERT_EQ(CoCreateInstance(enablerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&enabler)), S_OK);
            site.AddItem(L"enabler", enabler);
            items.push_back(L"enabler");
        }
        const vesk_test::ScriptRun run =
            vesk_test::RunJScript(site, WithHandle(row.code, vesk_test::InterfaceValue(toolbar)), items);
        if (enabler)
            enabler->Release();

        EXPECT_EQ(frame.ReadHeader(0), row.headerAfter);
        EXPECT_EQ(run.errors.size(), row.errors);
        if (row.errors == 0) {
            EXPECT_EQ(run.hr, S_OK);
        } else {
            EXPECT_TRUE(FAILED(run.hr)) << "the failed script is reported as failed";
        }
        // The first call's re-checks would reach a destroyed window; let none be pending here.
        vesk_test::PumpMessagesFor(50);
    }
}

TEST_F(InProcessScriptTest, UnregisteredAScriptCannotCreateTheEnabler)
{
    // Unregistered, ActiveXObject cannot find the class: the error reaches the site and nothing changes.
    ASSERT_EQ(Unregister(), 0);
    vesk_test::RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    ASSERT_TRUE(frame.InsertBand(bandChild, 10));
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    vesk_test::MinimalScriptSite site;
    const vesk_test::ScriptRun run = vesk_test::RunJScript(
        site, WithHandle(L"var e = new ActiveXObject(\"Vesk.VeskEnabler.1\"); e.EnableVesk(%H);",
                         vesk_test::InterfaceValue(toolbar)), {});
    EXPECT_EQ(run.errors.size(), 1u);
    EXPECT_TRUE(FAILED(run.hr));
    EXPECT_EQ(frame.ReadHeader(0), 10u);
}

}  // namespace
