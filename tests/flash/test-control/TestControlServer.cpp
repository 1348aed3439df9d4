// The DLL's COM entry points: a class factory for the control, and its registration under the movie
// control's class identifier (in-process, apartment-threaded, served from this file).
#include "TestControlObject.h"
#include "TestControlRecord.h"

#include <objbase.h>
#include <olectl.h>

#include <string>

namespace TestControl
{
namespace
{

const CLSID ControlClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t ClassKey[] = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

volatile LONG serverLocks = 0;

class Factory final : public IClassFactory, private Counted
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id != IID_IUnknown && id != IID_IClassFactory)
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return DropReference(); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override
    {
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        return CreateControl(id, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&serverLocks);
        else
            InterlockedDecrement(&serverLocks);
        return S_OK;
    }
};

std::wstring OwnPath()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnPath), &module);
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace
} // namespace TestControl

using namespace TestControl;

STDAPI DllGetClassObject(REFCLSID classId, REFIID id, void** object)
{
    *object = nullptr;
    if (classId != ControlClassId)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new Factory();
    HRESULT status = factory->QueryInterface(id, object);
    factory->Release();
    return status;
}

STDAPI DllCanUnloadNow()
{
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    std::wstring path = OwnPath();
    HKEY server = nullptr;
    std::wstring serverKey = std::wstring(ClassKey) + L"\\InprocServer32";
    if (path.empty() || RegCreateKeyExW(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                        nullptr, &server, nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    bool written = SetText(server, nullptr, path) && SetText(server, L"ThreadingModel", L"Apartment");
    RegCloseKey(server);
    return written ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer()
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
