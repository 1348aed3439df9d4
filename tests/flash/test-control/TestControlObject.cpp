// A control that answers the movie control's dispatch calls by recording them, and takes part in OLE
// embedding as far as ATL's container needs to in-place activate it: a client site kept, a child window of
// the container made on activation and fitted to the rectangles the container sets, both given up on Close.
#include "TestControlObject.h"
#include "TestControlRecord.h"

#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

namespace TestControl
{
namespace
{

const IID IID_IShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t WindowClass[] = L"ZeltoTestControl";

HMODULE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window == NewestRecord().window)
        ++NewestRecord().messages[message];
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = OwnModule();
    windowClass.lpszClassName = WindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::string Decimal(const VARIANT& value)
{
    return std::to_string(value.lVal);
}

std::string Text(const VARIANT& value)
{
    return Utf8(value.bstrVal, int(SysStringLen(value.bstrVal)));
}

class Control final : public IDispatch, public IOleObject, public IOleInPlaceObject, private Counted
{
public:
    Control() { StartRecord(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id == IID_IUnknown || id == IID_IDispatch || (id == IID_IShockwaveFlash && flashInterfaceOffered))
            *object = static_cast<IDispatch*>(this);
        else if (id == IID_IOleObject)
            *object = static_cast<IOleObject*>(this);
        else if (id == IID_IOleWindow || id == IID_IOleInPlaceObject)
            *object = static_cast<IOleInPlaceObject*>(this);
        else
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return DropReference(); }

    // IDispatch: the movie control's methods by their dispatch identifiers, arguments converted the way a
    // type library's dispatch would, anything else refused.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO*, UINT*) override
    {
        switch (id)
        {
        case 0x7b:
            return Put(parameters, flags, VT_I4,
                       [](const VARIANT& color) { return "put_BackgroundColor " + Decimal(color); });
        case 0x87:
            return Put(parameters, flags, VT_BOOL,
                       [](const VARIANT& enabled) {
                           return std::string(enabled.boolVal != VARIANT_FALSE ? "put_Menu true"
                                                                               : "put_Menu false");
                       });
        case 0x8e:
            return Method(parameters, flags, {VT_I4, VT_BSTR},
                          [](const VARIANT* arguments)
                          { return "LoadMovie " + Decimal(arguments[0]) + " " + Text(arguments[1]); });
        case 0x70:
            return Method(parameters, flags, {}, [](const VARIANT*) { return std::string("Play"); });
        case 0x6d:
            return Method(parameters, flags, {VT_I4, VT_I4, VT_I4, VT_I4},
                          [](const VARIANT* arguments)
                          {
                              return "SetZoomRect " + Decimal(arguments[0]) + " " + Decimal(arguments[1]) +
                                     " " + Decimal(arguments[2]) + " " + Decimal(arguments[3]);
                          });
        case 0x97:
            return Method(parameters, flags, {VT_BSTR, VT_BSTR},
                          [](const VARIANT* arguments)
                          {
                              NewestRecord().variables[arguments[0].bstrVal] = arguments[1].bstrVal;
                              return "SetVariable " + Text(arguments[0]) + "=" + Text(arguments[1]);
                          });
        case 0x98:
            return GetVariable(parameters, flags, result);
        default:
            NewestRecord().calls.push_back("unknown dispatch identifier " + std::to_string(id));
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override
    {
        if (site != nullptr)
            site->AddRef();
        if (clientSite != nullptr)
            clientSite->Release();
        clientSite = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override
    {
        *site = clientSite;
        if (clientSite != nullptr)
            clientSite->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override { return InPlaceDeactivate(); }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                     LPCRECT area) override
    {
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW && verb != OLEIVERB_UIACTIVATE)
            return OLEOBJ_S_INVALIDVERB;
        return window != nullptr ? S_OK : InPlaceActivate(site != nullptr ? site : clientSite, parent, area);
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override
    {
        if (aspect != DVASPECT_CONTENT)
            return E_NOTIMPL;
        extent = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override
    {
        if (aspect != DVASPECT_CONTENT)
            return E_NOTIMPL;
        *size = extent;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow and IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* handle) override
    {
        *handle = window;
        return window != nullptr ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override
    {
        if (window != nullptr)
        {
            DestroyWindow(window);
            window = nullptr;
        }
        if (inPlaceSite != nullptr)
        {
            inPlaceSite->OnInPlaceDeactivate();
            inPlaceSite->Release();
            inPlaceSite = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override
    {
        if (window == nullptr)
            return E_UNEXPECTED;
        MoveWindow(window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

private:
    ~Control() override
    {
        InPlaceDeactivate();
        SetClientSite(nullptr);
    }

    // The window comes first: a site may ask for it as soon as it hears of the activation.
    HRESULT InPlaceActivate(IOleClientSite* site, HWND parent, LPCRECT area)
    {
        if (site == nullptr || parent == nullptr || area == nullptr || !RegisterWindowClass())
            return E_INVALIDARG;
        IOleInPlaceSite* inPlace = nullptr;
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))))
            return E_NOINTERFACE;
        if (inPlace->CanInPlaceActivate() != S_OK)
        {
            inPlace->Release();
            return E_FAIL;
        }
        window = CreateWindowExW(0, WindowClass, L"", WS_CHILD | WS_VISIBLE, area->left, area->top,
                                 area->right - area->left, area->bottom - area->top, parent, nullptr,
                                 OwnModule(), nullptr);
        if (window == nullptr)
        {
            inPlace->Release();
            return E_FAIL;
        }
        NewestRecord().window = window;
        inPlaceSite = inPlace;
        inPlaceSite->OnInPlaceActivate();
        return S_OK;
    }

    template <typename Describe>
    HRESULT Put(DISPPARAMS* parameters, WORD flags, VARTYPE type, Describe describe)
    {
        if ((flags & DISPATCH_PROPERTYPUT) == 0 || parameters->cArgs != 1 || parameters->cNamedArgs != 1 ||
            parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return Refuse(DISP_E_PARAMNOTFOUND);
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, &parameters->rgvarg[0], 0, type)))
            return Refuse(DISP_E_TYPEMISMATCH);
        NewestRecord().calls.push_back(describe(value));
        VariantClear(&value);
        return S_OK;
    }

    // `types` in the method's order; the arguments arrive last to first.
    template <typename Describe>
    HRESULT Method(DISPPARAMS* parameters, WORD flags, std::initializer_list<VARTYPE> types,
                   Describe describe)
    {
        if ((flags & DISPATCH_METHOD) == 0 || parameters->cNamedArgs != 0 ||
            parameters->cArgs != types.size())
            return Refuse(DISP_E_BADPARAMCOUNT);
        VARIANT arguments[4];
        UINT count = parameters->cArgs;
        UINT converted = 0;
        for (VARTYPE type : types)
        {
            VariantInit(&arguments[converted]);
            if (FAILED(VariantChangeType(&arguments[converted], &parameters->rgvarg[count - 1 - converted], 0,
                                         type)))
                break;
            ++converted;
        }
        HRESULT status = converted == count ? S_OK : Refuse(DISP_E_TYPEMISMATCH);
        if (status == S_OK)
            NewestRecord().calls.push_back(describe(arguments));
        for (UINT i = 0; i < converted; ++i)
            VariantClear(&arguments[i]);
        return status;
    }

    // A variable the movie never set is an error, as the movie control reports it.
    HRESULT GetVariable(DISPPARAMS* parameters, WORD flags, VARIANT* result)
    {
        if ((flags & DISPATCH_METHOD) == 0 || parameters->cArgs != 1 || parameters->cNamedArgs != 0 ||
            result == nullptr || parameters->rgvarg[0].vt != VT_BSTR)
            return Refuse(DISP_E_BADPARAMCOUNT);
        const VARIANT& name = parameters->rgvarg[0];
        NewestRecord().calls.push_back("GetVariable " + Text(name));
        auto found = NewestRecord().variables.find(name.bstrVal);
        if (found == NewestRecord().variables.end())
            return E_FAIL;
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(found->second.data(), UINT(found->second.size()));
        return S_OK;
    }

    static HRESULT Refuse(HRESULT status)
    {
        NewestRecord().calls.push_back("refused call");
        return status;
    }

    IOleClientSite* clientSite = nullptr;   // one reference held from SetClientSite on
    IOleInPlaceSite* inPlaceSite = nullptr; // one reference held while in place
    HWND window = nullptr;
    SIZEL extent{};
};

} // namespace

HRESULT CreateControl(REFIID interfaceId, void** object)
{
    auto* control = new Control();
    HRESULT status = control->QueryInterface(interfaceId, object);
    control->Release();
    return status;
}

} // namespace TestControl
