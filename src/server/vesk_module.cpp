#include "server/vesk_module.h"

HRESULT CVeskModule::AddCommonVariables(IRegistrarVariables* registrar)
{
    if (!registrar)
        return E_INVALIDARG;
    return registrar->AddVariable(L"APPID", L"");
}
