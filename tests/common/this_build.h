// What this build's pointer size makes the platform write and answer. Each value is the platform's
// documented one, written out here rather than derived from the system code.
#pragma once

#include "platform/win32.h"

namespace vesk_test {

constexpr bool kIs64Bit = sizeof(void*) == 8;
// The system kind of the library the build compiles, and under which the platform registers it.
constexpr SYSKIND kThisSysKind = kIs64Bit ? SYS_WIN64 : SYS_WIN32;
// The key below TypeLib\{LIBID}\1.0\0 that names the registered file.
constexpr const wchar_t* kTypeLibPlatformKey = kIs64Bit ? L"win64" : L"win32";
// The band record up to and including cxHeader, as the rebar receives it.
constexpr UINT kBandRecordBytes = kIs64Bit ? 108 : 80;

}  // namespace vesk_test
