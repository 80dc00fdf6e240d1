#include "sim/component_categories.h"

const CLSID CLSID_StdComponentCategoriesMgr = {0x0002E005, 0x0000, 0x0000,
                                               {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ICatRegister = {0x0002E012, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < 39)
        return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    BYTE bytes[16] = {
        static_cast<BYTE>(rguid.Data1 >> 24), static_cast<BYTE>(rguid.Data1 >> 16),
        static_cast<BYTE>(rguid.Data1 >> 8),  static_cast<BYTE>(rguid.Data1),
        static_cast<BYTE>(rguid.Data2 >> 8),  static_cast<BYTE>(rguid.Data2),
        static_cast<BYTE>(rguid.Data3 >> 8),  static_cast<BYTE>(rguid.Data3),
    };
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = rguid.Data4[i];
    int out = 0;
    lpsz[out++] = L'{';
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            lpsz[out++] = L'-';
        lpsz[out++] = static_cast<OLECHAR>(kDigits[bytes[i] >> 4]);
        lpsz[out++] = static_cast<OLECHAR>(kDigits[bytes[i] & 0xF]);
    }
    lpsz[out++] = L'}';
    lpsz[out++] = 0;
    return out;
}
