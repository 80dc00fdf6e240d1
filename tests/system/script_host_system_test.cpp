// The platform's script host drives the registered Vesk.dll: cscript runs a JScript and a VBScript
// file that create the enabler by its ProgID and call both methods, with 0 and with a real toolbar
// window of this process. Unregistered, the same scripts fail at creation and say so.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "real_windows.h"
#include "server_fixture.h"

namespace {

using vesk_test::ChildResult;
using vesk_test::NarrowText;

const wchar_t kScriptsDir[] = L"" VESK_SCRIPTS_DIR;

struct ScriptCase {
    const char* behaviour;
    const wchar_t* file;
    const char* prefix;                 // what the script puts before each line
    std::vector<std::string> expected;  // lines that must appear, in this order; "%H" is the window
};

const ScriptCase kScripts[] = {
    {"JScript creates by the versioned ProgID, both methods answer undefined, an unknown name raises",
     L"enabler.js",
     "js",
     {"js: created Vesk.VeskEnabler.1", "js: EnableVesk(0) returned undefined", "js: MakeSure(0) returned undefined",
      "js: EnableVesk(%H) returned undefined", "js: MakeSure(%H) returned undefined",
      "js: an unknown method raises 0x800A01B6", "js: done"}},
    {"VBScript creates by the version-independent ProgID, both methods succeed, an unknown name raises",
     L"enabler.vbs",
     "vbs",
     {"vbs: created Vesk.VeskEnabler", "vbs: EnableVesk(0) succeeded", "vbs: MakeSure(0) succeeded",
      "vbs: EnableVesk(%H) succeeded", "vbs: MakeSure(%H) succeeded", "vbs: an unknown method raises &H1B6",
      "vbs: done"}},
};

std::string WithHandle(std::string line, long handle)
{
    const std::string::size_type at = line.find("%H");
    if (at != std::string::npos)
        line.replace(at, 2, std::to_string(handle));
    return line;
}

// The output's lines without their line ends.
std::vector<std::string> Lines(const std::string& output)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : output) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// The script's own lines, in order: what else the host prints (none with //nologo) is skipped.
std::vector<std::string> ScriptLines(const std::string& output, const std::string& prefix)
{
    std::vector<std::string> own;
    for (const std::string& line : Lines(output))
        if (line.compare(0, prefix.size() + 1, prefix + ":") == 0)
            own.push_back(line);
    return own;
}

ChildResult RunScript(const wchar_t* file, long handle)
{
    return vesk_test::RunChild(L"cscript.exe //nologo \"" + std::wstring(kScriptsDir) + L"\\" + file + L"\" " +
                               std::to_wstring(handle));
}

class ScriptHostSystemTest : public ServerTest {
protected:
    ScriptHostSystemTest() : ServerTest(kRegistration) {}
};

TEST_F(ScriptHostSystemTest, ScriptsCreateByProgIdAndCallBothMethods)
{
    vesk_test::RealRebarFrame frame;
    const HWND bandChild = frame.CreateBandChild();
    ASSERT_TRUE(frame.InsertBand(bandChild, 10));
    const HWND toolbar = vesk_test::CreateToolbarWindow(bandChild);
    ASSERT_NE(toolbar, nullptr);
    const long handle = vesk_test::InterfaceValue(toolbar);

    for (const ScriptCase& script : kScripts) {
        SCOPED_TRACE(script.behaviour);
        const ChildResult run = RunScript(script.file, handle);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::vector<std::string> expected;
        for (const std::string& line : script.expected)
            expected.push_back(WithHandle(line, handle));
        EXPECT_EQ(ScriptLines(run.output, script.prefix), expected) << run.output;
        // The rebar belongs to this process, not to the script host's: the enabler leaves it alone.
        EXPECT_EQ(frame.ReadHeader(0), 10u) << "a band of another process is not touched";
    }
}

TEST_F(ScriptHostSystemTest, UnregisteredTheScriptsFailAtCreation)
{
    ASSERT_EQ(Unregister(), 0);
    for (const ScriptCase& script : kScripts) {
        SCOPED_TRACE(script.behaviour);
        const ChildResult run = RunScript(script.file, 0);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        const std::vector<std::string> lines = ScriptLines(run.output, script.prefix);
        ASSERT_EQ(lines.size(), 1u) << run.output;
        EXPECT_EQ(lines[0].compare(0, std::string(script.prefix).size() + 16, std::string(script.prefix) + ": FAIL at create"), 0)
            << lines[0];
    }
}

}  // namespace
