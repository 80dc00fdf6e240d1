#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/automation_control.h"
#include "sim/modules_control.h"
#include "sim/strings.h"
#include "sim/type_library_internal.h"

using namespace sim::internal;

namespace {

// A file placed by a test that holds the library, with the help file the library names.
struct PlacedFile {
    std::u16string path;
    std::u16string helpFile;  // empty: none
};

struct Service {
    std::mutex mutex;
    std::vector<PlacedFile> placedFiles;
    // The library module's file holds the library unless a test removed it from there.
    bool moduleFileHoldsLibrary = true;
    std::vector<sim::TypeLibraryRegistration> registrations;
    bool splitIdentity = false;
};

Service& TheService()
{
    static Service* service = new Service;  // outlives detached threads at process exit
    return *service;
}

std::atomic<int> g_calls[kCallIndexCount];
std::atomic<void (*)()> g_loadRegTypeLibHook{nullptr};

std::u16string Text(LPCOLESTR text) { return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : u""; }

bool SamePath(const std::u16string& a, LPCOLESTR b)
{
    return lstrcmpiW(reinterpret_cast<LPCWSTR>(a.c_str()), b) == 0;
}

HRESULT OpenPlacedFile(LPCOLESTR path, ITypeLib** pptlib)
{
    bool placed = false;
    bool split = false;
    std::u16string helpFile;
    const std::u16string modulePath = sim::ModuleFileName(sim::LibraryModule());
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto file = std::find_if(s.placedFiles.begin(), s.placedFiles.end(),
                                 [path](const PlacedFile& f) { return SamePath(f.path, path); });
        if (file != s.placedFiles.end()) {
            placed = true;
            helpFile = file->helpFile;
        } else {
            placed = s.moduleFileHoldsLibrary && !modulePath.empty() && SamePath(modulePath, path);
        }
        split = s.splitIdentity;
    }
    if (!placed)
        return TYPE_E_CANTLOADLIBRARY;
    if (sim::internal::Injected(sim::Op::Allocation))
        return E_OUTOFMEMORY;
    SimTypeLib* library = new (std::nothrow) SimTypeLib(split, std::move(helpFile));
    if (!library)
        return E_OUTOFMEMORY;
    *pptlib = library;
    return S_OK;
}

HRESULT Register(ITypeLib* ptlib, LPCOLESTR path, LPCOLESTR helpDir, bool perUser)
{
    CountCall(kRegisterTypeLib);
    if (!ptlib || !path)
        return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = ptlib->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    BSTR doc = nullptr;
    hr = ptlib->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr);
    if (FAILED(hr)) {
        ptlib->ReleaseTLibAttr(attr);
        return hr;
    }
    // The record's copies may run short; the attributes and the name are given back either way.
    sim::TypeLibraryRegistration record;
    try {
        record = sim::TypeLibraryRegistration{attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                              attr->syskind, perUser, Text(path), helpDir != nullptr,
                                              Text(helpDir), Text(doc)};
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    SysFreeString(doc);
    ptlib->ReleaseTLibAttr(attr);
    if (FAILED(hr))
        return hr;

    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto& existing : s.registrations)
        if (existing.libid == record.libid && existing.wMajorVerNum == record.wMajorVerNum &&
            existing.wMinorVerNum == record.wMinorVerNum && existing.lcid == record.lcid &&
            existing.syskind == record.syskind && existing.perUser == perUser) {
            existing = record;
            return S_OK;
        }
    s.registrations.push_back(record);
    return S_OK;
}

HRESULT Unregister(REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind, bool perUser)
{
    CountCall(kUnregisterTypeLib);
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto it = s.registrations.begin(); it != s.registrations.end(); ++it)
        if (it->libid == libID && it->wMajorVerNum == major && it->wMinorVerNum == minor && it->lcid == lcid &&
            it->syskind == syskind && it->perUser == perUser) {
            s.registrations.erase(it);
            return S_OK;
        }
    return TYPE_E_REGISTRYACCESS;
}

void PublishFunctions(bool perUser)
{
    sim::PublishExport(L"OLEAUT32.DLL", "LoadTypeLib", &LoadTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "LoadRegTypeLib", &LoadRegTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "RegisterTypeLib", &RegisterTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "UnRegisterTypeLib", &UnRegisterTypeLib);
    sim::PublishExport(L"OLEAUT32.DLL", "RegisterTypeLibForUser", perUser ? &RegisterTypeLibForUser : nullptr);
    sim::PublishExport(L"OLEAUT32.DLL", "UnRegisterTypeLibForUser",
                       perUser ? &UnRegisterTypeLibForUser : nullptr);
}

// The service's exports are there from the start, as OLEAUT32's are.
const bool g_published = (PublishFunctions(true), true);

}  // namespace

HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
try {
    CountCall(kLoadTypeLib);
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile)
        return E_INVALIDARG;
    return OpenPlacedFile(szFile, pptlib);
} catch (const std::bad_alloc&) {
    // The service reports a shortage as E_OUTOFMEMORY; it never throws into its caller.
    return E_OUTOFMEMORY;
}

HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib)
try {
    CountCall(kLoadRegTypeLib);
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    HRESULT injected = S_OK;
    if (sim::internal::Injected(sim::Op::LoadRegTypeLib, &injected))
        return injected;
    if (void (*hook)() = g_loadRegTypeLibHook.load())
        hook();
    std::u16string path;
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        // The locale itself, then its primary language, then the language-neutral registration; the
        // user's registration hides the machine's; among minor versions at least the one asked for,
        // the highest.
        const LCID candidates[] = {lcid, lcid & 0x3FF, 0};
        const sim::TypeLibraryRegistration* best = nullptr;
        for (LCID wanted : candidates) {
            for (const auto& r : s.registrations) {
                if (r.libid != rguid || r.wMajorVerNum != wVerMajor || r.wMinorVerNum < wVerMinor ||
                    r.lcid != wanted || r.syskind != SYS_WIN32)
                    continue;
                if (!best || r.wMinorVerNum > best->wMinorVerNum ||
                    (r.wMinorVerNum == best->wMinorVerNum && r.perUser && !best->perUser))
                    best = &r;
            }
            if (best)
                break;
        }
        if (!best)
            return TYPE_E_LIBNOTREGISTERED;
        path = best->path;
    }
    return OpenPlacedFile(reinterpret_cast<LPCOLESTR>(path.c_str()), pptlib);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir)
try {
    return Register(ptlib, szFullPath, szHelpDir, false);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
try {
    return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind, false);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir)
try {
    return Register(ptlib, szFullPath, szHelpDir, true);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                        SYSKIND syskind)
try {
    return Unregister(libID, wMajorVerNum, wMinorVerNum, lcid, syskind, true);
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

namespace sim {

namespace internal {

std::atomic<int> g_outstandingDescriptions{0};

void CountCall(CallIndex call) { ++g_calls[call]; }

}  // namespace internal

AutomationCalls AutomationCallCounts()
{
    return AutomationCalls{g_calls[kLoadTypeLib], g_calls[kLoadRegTypeLib], g_calls[kRegisterTypeLib],
                           g_calls[kUnregisterTypeLib], g_calls[kGetTypeInfoOfGuid], g_calls[kGetTypeAttr],
                           g_calls[kGetFuncDesc], g_calls[kGetDocumentation], g_calls[kGetIDsOfNames],
                           g_calls[kInvoke], g_calls[kQueryInterface]};
}

void PlaceTypeLibraryFile(LPCWSTR path, LPCWSTR helpFile)
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.placedFiles.erase(std::remove_if(s.placedFiles.begin(), s.placedFiles.end(),
                                       [path](const PlacedFile& f) { return SamePath(f.path, path); }),
                        s.placedFiles.end());
    s.placedFiles.push_back(PlacedFile{Text(path), Text(helpFile)});
}

void RemoveTypeLibraryFile(LPCWSTR path)
{
    const std::u16string modulePath = ModuleFileName(LibraryModule());
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.placedFiles.erase(std::remove_if(s.placedFiles.begin(), s.placedFiles.end(),
                                       [path](const PlacedFile& f) { return SamePath(f.path, path); }),
                        s.placedFiles.end());
    if (!modulePath.empty() && SamePath(modulePath, path))
        s.moduleFileHoldsLibrary = false;
}

std::vector<TypeLibraryRegistration> TypeLibraryRegistrations()
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.registrations;
}

void SplitTypeInfo2Identity(bool split)
{
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.splitIdentity = split;
}

void OnLoadRegTypeLib(void (*hook)()) { g_loadRegTypeLibHook = hook; }

int OutstandingDescriptions() { return g_outstandingDescriptions; }

void PublishPerUserTypeLibraryFunctions(bool publish) { PublishFunctions(publish); }

void ResetAutomation()
{
    {
        Service& s = TheService();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.placedFiles.clear();
        s.moduleFileHoldsLibrary = true;
        s.registrations.clear();
        s.splitIdentity = false;
    }
    g_loadRegTypeLibHook = nullptr;
    internal::ClearFaults({Op::LoadRegTypeLib, Op::GetTypeInfoOfGuid, Op::GetLibAttr, Op::GetLibraryDocumentation,
                           Op::GetTypeAttr, Op::GetFuncDesc, Op::GetDocumentation});
    for (auto& count : g_calls)
        count = 0;
    PublishFunctions(true);
}

}  // namespace sim

