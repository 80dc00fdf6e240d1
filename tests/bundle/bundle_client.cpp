// A client built from the release bundle alone: its include/ and the Windows SDK, nothing of this
// project's sources. It creates the enabler by its CLSID and by both ProgIDs and calls EnableVesk
// and MakeSure through the vtable and by name on a real rebar, each call widening the band header
// from 10 to 32 px, and it reads the bundle's type library.
//
//   bundle_client registered|registration-free PATH_OF_VESKLIB_TLB
//   bundle_client registered PATH_OF_VESKLIB_TLB --symbols
//   bundle_client activation-context PATH_OF_VESKLIB_TLB PATH_OF_VESK_ENABLER_MANIFEST
//
// Registration-free, its application manifest (bundle_client.exe.manifest beside it) depends on the
// bundle's assembly; with an activation context, it has no manifest and makes a context from the
// bundle's assembly manifest itself, as a toolbar in a browser does, and keeps it active while it
// uses the enabler. In both, the registry holds no key of the server's before or after. Prints a line
// per check; exits with the number of checks that failed. With --symbols it also has the platform's
// debug helper (dbghelp) name an export of Vesk.dll and the enabler's EnableVesk, and on 64-bit the stack
// of Vesk.dll's first call into the rebar, from the Vesk.pdb it finds beside the DLL: the functions,
// source files and lines a debugger or a crash report would show.
#include <windows.h>
#include <commctrl.h>
#include <dbghelp.h>
#include <ole2.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "VeskLib.h"

namespace {

int g_checks = 0;
int g_failures = 0;

bool Check(bool passed, const char* format, ...)
{
    ++g_checks;
    if (!passed)
        ++g_failures;
    std::printf("%s ", passed ? "ok  " : "FAIL");
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
    return passed;
}

// Owns one interface pointer.
template <class Interface>
class Held {
public:
    Held() = default;
    ~Held()
    {
        if (m_pointer)
            m_pointer->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Interface* operator->() const { return m_pointer; }
    Interface* Get() const { return m_pointer; }
    Interface** Out() { return &m_pointer; }

private:
    Interface* m_pointer = nullptr;
};

LONG InterfaceValue(HWND window) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)); }

// The rebar's own window procedure, whether the next band search is to be traced, and the return
// addresses in Vesk.dll on the stack of the traced one.
WNDPROC g_rebarProcedure = nullptr;
bool g_traceBandSearch = false;
std::vector<void*> g_veskFrames;

void RecordVeskFrames()
{
    const HMODULE vesk = GetModuleHandleW(L"Vesk.dll");
    void* frames[32] = {};
    const USHORT count = RtlCaptureStackBackTrace(0, 32, frames, nullptr);
    const DWORD lookup = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    for (USHORT i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        if (vesk && GetModuleHandleExW(lookup, static_cast<LPCWSTR>(frames[i]), &module) && module == vesk)
            g_veskFrames.push_back(frames[i]);
    }
}

LRESULT CALLBACK TracingRebarProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RB_GETBANDCOUNT && g_traceBandSearch) {
        g_traceBandSearch = false;
        RecordVeskFrames();
    }
    return CallWindowProcW(g_rebarProcedure, window, message, wParam, lParam);
}

// A visible frame with a real rebar whose one band holds the window the toolbar sits in.
class RebarFrame {
public:
    RebarFrame()
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_COOL_CLASSES};
        InitCommonControlsEx(&controls);
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW plain = {};
        plain.lpfnWndProc = DefWindowProcW;
        plain.hInstance = instance;
        plain.lpszClassName = kClass;
        RegisterClassW(&plain);
        m_frame = CreateWindowExW(0, kClass, L"Vesk bundle client", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 200,
                                  nullptr, nullptr, instance, nullptr);
        m_rebar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | RBS_VARHEIGHT | CCS_NODIVIDER,
                                  0, 0, 640, 60, m_frame, nullptr, instance, nullptr);
        m_bandChild = CreateWindowExW(0, kClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, m_frame, nullptr,
                                      instance, nullptr);
        AddBand();
        m_toolbar = CreateWindowExW(0, kClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 24, m_bandChild,
                                    nullptr, instance, nullptr);
        g_rebarProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(m_rebar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TracingRebarProcedure)));
    }
    ~RebarFrame()
    {
        if (m_frame)
            DestroyWindow(m_frame);
    }
    RebarFrame(const RebarFrame&) = delete;
    RebarFrame& operator=(const RebarFrame&) = delete;

    void AddBand() const
    {
        REBARBANDINFOW band = {};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_HEADERSIZE;
        band.hwndChild = m_bandChild;
        band.cxMinChild = 100;
        band.cyMinChild = 24;
        band.cx = 300;
        band.cxHeader = 10;
        SendMessageW(m_rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    }

    HWND Toolbar() const { return m_toolbar; }
    bool HoldsOneBand() const { return m_toolbar && SendMessageW(m_rebar, RB_GETBANDCOUNT, 0, 0) == 1; }

    UINT Header() const
    {
        REBARBANDINFOW band = {};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_HEADERSIZE;
        band.cxHeader = 0xFFFFFFFFu;
        SendMessageW(m_rebar, RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band));
        return band.cxHeader;
    }
    void SetHeader(UINT width) const
    {
        REBARBANDINFOW band = {};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_HEADERSIZE;
        band.cxHeader = width;
        SendMessageW(m_rebar, RB_SETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band));
    }

private:
    static constexpr const wchar_t* kClass = L"VeskBundleClientWindow";
    HWND m_frame = nullptr;
    HWND m_rebar = nullptr;
    HWND m_bandChild = nullptr;
    HWND m_toolbar = nullptr;
};

// The server's keys, which registration writes and registration-free use must do without.
const wchar_t* const kServerKeys[] = {
    L"CLSID\\{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}",
    L"TypeLib\\{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}",
    L"Interface\\{7E3B9D51-C2A4-4F68-B0D7-13A9E5C8F2B4}",
    L"Vesk.VeskEnabler.1",
    L"Vesk.VeskEnabler",
};

// Those found under the classes root or the user's classes, in either registry view; each is named.
int ServerKeysPresent()
{
    struct Root { HKEY key; const wchar_t* path; };
    const Root roots[] = {{HKEY_CLASSES_ROOT, L""}, {HKEY_CURRENT_USER, L"Software\\Classes\\"}};
    int present = 0;
    for (const Root& root : roots) {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            for (const wchar_t* key : kServerKeys) {
                const std::wstring path = std::wstring(root.path) + key;
                HKEY opened = nullptr;
                if (RegOpenKeyExW(root.key, path.c_str(), 0, KEY_READ | view, &opened) == ERROR_SUCCESS) {
                    RegCloseKey(opened);
                    std::printf("     present: %ls (%s view)\n", path.c_str(),
                                view == KEY_WOW64_64KEY ? "64-bit" : "32-bit");
                    ++present;
                }
            }
        }
    }
    return present;
}

struct Member { const wchar_t* name; DISPID dispid; };
const Member kMembers[] = {{L"EnableVesk", 2}, {L"MakeSure", 3}};

void CheckTypeLibrary(const wchar_t* path)
{
    Held<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, library.Out());
    if (!Check(hr == S_OK, "the bundle's VeskLib.tlb loads (0x%08lX)", static_cast<unsigned long>(hr)))
        return;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        Check(IsEqualGUID(attributes->guid, LIBID_VeskLib) && attributes->wMajorVerNum == 1 &&
                  attributes->wMinorVerNum == 0,
              "it is LIBID_VeskLib 1.0");
        library->ReleaseTLibAttr(attributes);
    }
    Held<ITypeInfo> coclass;
    Check(library->GetTypeInfoOfGuid(CLSID_VeskEnabler, coclass.Out()) == S_OK,
          "it describes CLSID_VeskEnabler");
    Held<ITypeInfo> dual;
    hr = library->GetTypeInfoOfGuid(IID_IVeskEnabler, dual.Out());
    if (!Check(hr == S_OK, "it describes IID_IVeskEnabler"))
        return;
    for (const Member& member : kMembers) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
        MEMBERID id = MEMBERID_NIL;
        hr = dual->GetIDsOfNames(names, 1, &id);
        Check(hr == S_OK && id == member.dispid, "  whose %ls is DISPID %ld (0x%08lX, %ld)", member.name,
              static_cast<long>(member.dispid), static_cast<unsigned long>(hr), static_cast<long>(id));
    }
}

// How the client reaches the class: by CLSID, or through a ProgID.
struct Creation { const char* name; const wchar_t* progId; };
const Creation kCreations[] = {
    {"by CLSID_VeskEnabler", nullptr},
    {"by ProgID Vesk.VeskEnabler.1", L"Vesk.VeskEnabler.1"},
    {"by ProgID Vesk.VeskEnabler", L"Vesk.VeskEnabler"},
};

HRESULT Create(const Creation& way, bool registered, IDispatch** object)
{
    CLSID clsid = CLSID_VeskEnabler;
    if (way.progId) {
        const HRESULT hr = CLSIDFromProgID(way.progId, &clsid);
        if (FAILED(hr))
            return hr;
        wchar_t text[40] = {};
        StringFromGUID2(clsid, text, 40);
        if (registered)
            Check(IsEqualCLSID(clsid, CLSID_VeskEnabler), "%s names CLSID_VeskEnabler (%ls)", way.name, text);
        else if (!IsEqualCLSID(clsid, CLSID_VeskEnabler))
            std::printf("     note: %s answers %ls, not CLSID_VeskEnabler; it is created through that\n", way.name,
                        text);
    }
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(object));
}

// One call on the toolbar's window: through IVeskEnabler's vtable, or by name through IDispatch.
struct Call {
    const char* name;
    HRESULT (STDMETHODCALLTYPE IVeskEnabler::*method)(LONG);
    const Member* byName;
};
const Call kCalls[] = {
    {"EnableVesk through the vtable", &IVeskEnabler::EnableVesk, nullptr},
    {"MakeSure through the vtable", &IVeskEnabler::MakeSure, nullptr},
    {"EnableVesk by name", nullptr, &kMembers[0]},
    {"MakeSure by name", nullptr, &kMembers[1]},
};

HRESULT Invoke(IDispatch* object, const Call& call, HWND toolbar)
{
    if (call.method) {
        Held<IVeskEnabler> enabler;
        const HRESULT hr = object->QueryInterface(IID_IVeskEnabler, reinterpret_cast<void**>(enabler.Out()));
        if (FAILED(hr))
            return hr;
        return (enabler.Get()->*call.method)(InterfaceValue(toolbar));
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(call.byName->name)};
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return hr;
    if (!Check(dispid == call.byName->dispid, "GetIDsOfNames(%ls) answers DISPID %ld", call.byName->name,
               static_cast<long>(dispid)))
        return DISP_E_MEMBERNOTFOUND;
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = InterfaceValue(toolbar);
    DISPPARAMS parameters = {&argument, nullptr, 1, 0};
    return object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                          nullptr);
}

void UseTheEnabler(bool registered)
{
    const RebarFrame frame;
    if (!Check(frame.HoldsOneBand(), "a real rebar holds the band of the toolbar's window"))
        return;
    g_traceBandSearch = true;
    for (const Creation& way : kCreations) {
        Held<IDispatch> object;
        const HRESULT hr = Create(way, registered, object.Out());
        if (!Check(hr == S_OK, "the enabler is created %s (0x%08lX)", way.name, static_cast<unsigned long>(hr)))
            continue;
        for (const Call& call : kCalls) {
            frame.SetHeader(10);
            const UINT before = frame.Header();
            const HRESULT result = Invoke(object.Get(), call, frame.Toolbar());
            const UINT after = frame.Header();
            Check(result == S_OK && before == 10 && after == 32, "  %s widens the header from %u to %u px (0x%08lX)",
                  call.name, before, after, static_cast<unsigned long>(result));
        }
    }
}

// An activation context made from an assembly manifest, active on this thread for the scope's life.
class ActivationScope {
public:
    explicit ActivationScope(const wchar_t* manifest)
    {
        ACTCTXW context = {};
        context.cbSize = sizeof(context);
        context.lpSource = manifest;
        m_context = CreateActCtxW(&context);
        m_active = m_context != INVALID_HANDLE_VALUE && ActivateActCtx(m_context, &m_cookie);
    }
    ~ActivationScope()
    {
        if (m_active)
            DeactivateActCtx(0, m_cookie);
        if (m_context != INVALID_HANDLE_VALUE)
            ReleaseActCtx(m_context);
    }
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;
    bool Active() const { return m_active; }

private:
    HANDLE m_context = INVALID_HANDLE_VALUE;
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
};

// What dbghelp says of an address: its function, and the source file and line.
struct Symbol {
    std::string function;
    std::string file;
    DWORD line = 0;
};

Symbol NameAddress(const void* address)
{
    alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + MAX_SYM_NAME] = {};
    auto* info = reinterpret_cast<SYMBOL_INFO*>(buffer);
    info->SizeOfStruct = sizeof(SYMBOL_INFO);
    info->MaxNameLen = MAX_SYM_NAME;
    DWORD64 displacement = 0;
    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof(line);
    DWORD lineDisplacement = 0;
    Symbol symbol;
    const auto at = reinterpret_cast<DWORD64>(address);
    if (SymFromAddr(GetCurrentProcess(), at, &displacement, info))
        symbol.function = info->Name;
    if (SymGetLineFromAddr64(GetCurrentProcess(), at, &lineDisplacement, &line)) {
        symbol.file = line.FileName;
        symbol.line = line.LineNumber;
    }
    return symbol;
}

bool EndsWith(const std::string& text, const char* end)
{
    const std::string tail(end);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Names(const Symbol& symbol, const char* function, const char* file)
{
    std::string path = symbol.file;
    for (char& c : path)
        c = c == '\\' ? '/' : c;
    return symbol.function.find(function) != std::string::npos && EndsWith(path, file) && symbol.line > 0;
}

// The Vesk.dll this process loaded, named through the PDB beside it by the platform's debug helper with
// that folder as its symbol path: an export, the enabler's EnableVesk (from its interface's vtable),
// and on 64-bit the band search's stack.
void CheckSymbols()
{
    const HMODULE vesk = GetModuleHandleW(L"Vesk.dll");
    wchar_t path[MAX_PATH] = {};
    if (!Check(vesk && GetModuleFileNameW(vesk, path, MAX_PATH) > 0, "Vesk.dll is loaded"))
        return;
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L"\\/"));
    const HANDLE process = GetCurrentProcess();
    SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_UNDNAME);
    if (!Check(SymInitializeW(process, folder.c_str(), FALSE), "dbghelp starts with the symbol path %ls", folder.c_str()))
        return;
    const auto base = reinterpret_cast<DWORD64>(vesk);
    IMAGEHLP_MODULEW64 module = {};
    module.SizeOfStruct = sizeof(module);
    Check(SymLoadModuleExW(process, nullptr, path, nullptr, base, 0, nullptr, 0) == base &&
              SymGetModuleInfoW64(process, base, &module) && module.SymType == SymPdb,
          "dbghelp loads the symbols of %ls from a PDB: %ls", path, module.LoadedPdbName);

    // A function inside the enabler: EnableVesk's slot in the vtable, after IUnknown's three and
    // IDispatch's four.
    Held<IVeskEnabler> enabler;
    CoCreateInstance(CLSID_VeskEnabler, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEnabler,
                     reinterpret_cast<void**>(enabler.Out()));
    const void* const enableVesk = enabler.Get() ? (*reinterpret_cast<void* const* const*>(enabler.Get()))[7] : nullptr;
    struct Named { const char* what; const void* address; const char* function; const char* file; };
    const Named named[] = {
        {"the export DllGetClassObject", reinterpret_cast<const void*>(GetProcAddress(vesk, "DllGetClassObject")),
         "DllGetClassObject", "src/server/class_object_lookup.cpp"},
        {"IVeskEnabler::EnableVesk's slot", enableVesk, "EnableVesk", "src/enabler/vesk_enabler.cpp"},
    };
    for (const Named& n : named) {
        const Symbol symbol = NameAddress(n.address);
        Check(n.address && Names(symbol, n.function, n.file), "dbghelp names %s: %s at %s:%lu", n.what,
              symbol.function.c_str(), symbol.file.c_str(), static_cast<unsigned long>(symbol.line));
    }

    // A return address is past its call: the call's own line is one byte before it. Only the 64-bit
    // stack is walked: its walk follows the DLL's unwind tables, while a 32-bit walk follows frame
    // pointers, which the 32-bit library, optimised for size, does not keep.
    if (sizeof(void*) == 8) {
        bool band = false, enable = false;
        std::printf("     the stack of Vesk.dll's first call into the rebar:\n");
        for (void* frame : g_veskFrames) {
            const Symbol symbol = NameAddress(static_cast<char*>(frame) - 1);
            std::printf("       %s at %s:%lu\n", symbol.function.c_str(), symbol.file.c_str(),
                        static_cast<unsigned long>(symbol.line));
            // The band search is FindAndWidenBand, called by EnsureBandHeader, which the compiler may
            // have inlined into EnableVesk.
            band = band || Names(symbol, "CVeskEnabler::FindAndWidenBand", "src/enabler/vesk_enabler.cpp");
            enable = enable || Names(symbol, "CVeskEnabler::EnableVesk", "src/enabler/vesk_enabler.cpp");
        }
        Check(band && enable, "the stack names FindAndWidenBand and EnableVesk with their lines");
    }
    SymCleanup(process);
}

void UseEverything(bool registered, const wchar_t* typeLibrary, bool symbols)
{
    CheckTypeLibrary(typeLibrary);
    UseTheEnabler(registered);
    if (symbols)
        CheckSymbols();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc >= 3 ? argv[1] : L"";
    const bool symbols = argc == 4 && mode == L"registered" && std::wstring(argv[3]) == L"--symbols";
    if (!(argc == 3 && (mode == L"registered" || mode == L"registration-free")) &&
        !(argc == 4 && mode == L"activation-context") && !symbols) {
        std::printf("usage: bundle_client registered|registration-free PATH_OF_VESKLIB_TLB\n"
                    "       bundle_client registered PATH_OF_VESKLIB_TLB --symbols\n"
                    "       bundle_client activation-context PATH_OF_VESKLIB_TLB PATH_OF_VESK_ENABLER_MANIFEST\n");
        return 2;
    }
    const bool registered = mode == L"registered";
    std::printf("bundle client, %d-bit, %ls\n", static_cast<int>(sizeof(void*) * 8), mode.c_str());
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("FAIL COM could not be initialised\n");
        return 1;
    }
    if (!registered)
        Check(ServerKeysPresent() == 0, "the registry holds no key of the server's");
    if (mode == L"activation-context") {
        const ActivationScope scope(argv[3]);
        if (Check(scope.Active(), "an activation context made from %ls is active", argv[3]))
            UseEverything(registered, argv[2], false);
    } else {
        UseEverything(registered, argv[2], symbols);
    }
    if (!registered)
        Check(ServerKeysPresent() == 0, "the registry still holds no key of the server's");
    CoUninitialize();
    std::printf("bundle client: %d checks, %d failed\n", g_checks, g_failures);
    return g_failures;
}
