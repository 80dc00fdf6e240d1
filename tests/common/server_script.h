// The server's own registry script, as the library embeds it: CR LF line ends, tab indentation.
#pragma once

#include "platform/win32.h"

#define VESK_GUID_TEXT L"{4D2A7C19-0B6E-4F83-9A51-C7E2D8B3F046}"
#define VESK_LIBID_TEXT L"{A1C5E3F7-6B28-4D9A-8E40-2F7B9C1D5E63}"

inline LPCWSTR ServerScript()
{
    return L"HKCR\r\n"
           L"{\r\n"
           L"\tVesk.VeskEnabler.1 = s 'VeskEnabler Class'\r\n"
           L"\t{\r\n"
           L"\t\tCLSID = s '" VESK_GUID_TEXT L"'\r\n"
           L"\t}\r\n"
           L"\tVesk.VeskEnabler = s 'VeskEnabler Class'\r\n"
           L"\t{\r\n"
           L"\t\tCLSID = s '" VESK_GUID_TEXT L"'\r\n"
           L"\t\tCurVer = s 'Vesk.VeskEnabler.1'\r\n"
           L"\t}\r\n"
           L"\tNoRemove CLSID\r\n"
           L"\t{\r\n"
           L"\t\tForceRemove " VESK_GUID_TEXT L" = s 'VeskEnabler Class'\r\n"
           L"\t\t{\r\n"
           L"\t\t\tProgID = s 'Vesk.VeskEnabler.1'\r\n"
           L"\t\t\tVersionIndependentProgID = s 'Vesk.VeskEnabler'\r\n"
           L"\t\t\tForceRemove 'Programmable'\r\n"
           L"\t\t\tInprocServer32 = s '%MODULE%'\r\n"
           L"\t\t\t{\r\n"
           L"\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
           L"\t\t\t}\r\n"
           L"\t\t\t'TypeLib' = s '" VESK_LIBID_TEXT L"'\r\n"
           L"\t\t}\r\n"
           L"\t}\r\n"
           L"}\r\n";
}
