// The Flash Player control hosted by ATL: atl90's container window class "AtlAxWin90" creates the control
// named by its window text. atl90 is loaded at run time and only its exported functions are called (hosting's
// initialisation, the container's control), so no ATL headers or libraries are needed.
//
// The control is driven through IDispatch::Invoke with the dispatch identifiers of its type library rather
// than through IShockwaveFlash's own vtable: only IDispatch's layout has to be right, a wrong identifier
// fails with an error status instead of calling into the wrong slot, and a test control needs to implement
// Invoke only.
#include "Flash/FlashControl.h"

#include "Flash/AtlLibrary.h"

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

namespace Zelto
{

namespace
{

const wchar_t FlashClsidText[] = L"{D27CDB6E-AE6D-11cf-96B8-444553540000}";
const IID IID_IShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t ContainerClass[] = L"AtlAxWin90";
const wchar_t LicensedContainerClass[] = L"AtlAxWinLic90";
// Where the subclassed control window finds its host: a property, so the control's own user data stays its
// own.
const wchar_t HostProperty[] = L"ZeltoFlashHost";

// IShockwaveFlash's dispatch identifiers (the control's type library).
enum FlashDispatchId : DISPID
{
    SetZoomRectId = 0x6d,
    PlayId = 0x70,
    BackgroundColorId = 0x7b,
    MenuId = 0x87,
    LoadMovieId = 0x8e,
    SetVariableId = 0x97,
    GetVariableId = 0x98,
};

HMODULE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

// atl90 stays loaded once loaded: the container classes' window procedure lives in it.
HMODULE AtlModule()
{
    static HMODULE atl = static_cast<HMODULE>(LoadAtlLibrary(OwnModule()).module);
    return atl;
}

template <typename Function> Function AtlFunction(const char* name)
{
    HMODULE atl = AtlModule();
    if (atl == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(atl, name)));
}

bool InitAtlHosting()
{
    auto init = AtlFunction<BOOL(WINAPI*)()>("AtlAxWinInit");
    return init != nullptr && init() != FALSE;
}

void UnregisterContainerClasses()
{
    UnregisterClassW(ContainerClass, OwnModule());
    UnregisterClassW(LicensedContainerClass, OwnModule());
}

// A VARIANT argument or result that frees what it holds.
struct Variant : VARIANT
{
    Variant() { VariantInit(this); }
    explicit Variant(int32_t value) : Variant()
    {
        vt = VT_I4;
        lVal = value;
    }
    explicit Variant(bool value) : Variant()
    {
        vt = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    explicit Variant(const String& text) : Variant()
    {
        vt = VT_BSTR;
        bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.Text()), text.Length());
    }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

class AtlFlashControl : public FlashControl
{
public:
    AtlFlashControl(HWND container, IDispatch* flash) : container(container), flash(flash) { Subclass(); }

    ~AtlFlashControl() override
    {
        Unsubclass();
        flash->Release();
        if (IsWindow(container))
            DestroyWindow(container);
        UnregisterContainerClasses();
    }

    void SetBackgroundColor(int32_t color) override { Put(BackgroundColorId, Variant(color)); }

    bool LoadMovie(int32_t layer, const String& path) override
    {
        Variant arguments[2]{Variant(layer), Variant(path)};
        return Call(LoadMovieId, arguments, 2) == S_OK;
    }

    void Play() override { Call(PlayId, nullptr, 0); }

    void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override
    {
        Variant arguments[4]{Variant(left), Variant(top), Variant(right), Variant(bottom)};
        Call(SetZoomRectId, arguments, 4);
    }

    void SetMenu(bool enabled) override { Put(MenuId, Variant(enabled)); }

    String GetVariable(const String& name) override
    {
        Variant arguments[1]{Variant(name)};
        Variant result;
        if (FAILED(Call(GetVariableId, arguments, 1, &result)) || result.vt != VT_BSTR ||
            result.bstrVal == nullptr)
            return String();
        return String(reinterpret_cast<const char16_t*>(result.bstrVal),
                      int32_t(SysStringLen(result.bstrVal)));
    }

    void SetVariable(const String& name, const String& value) override
    {
        Variant arguments[2]{Variant(name), Variant(value)};
        Call(SetVariableId, arguments, 2);
    }

    void ResizeContainer(int32_t width, int32_t height) override
    {
        RECT frame{0, 0, width, height};
        AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(container, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongPtrW(container, GWL_EXSTYLE)));
        SetWindowPos(container, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

private:
    // `arguments` in the method's order; Invoke takes them last to first.
    HRESULT Call(DISPID id, Variant* arguments, UINT count, VARIANT* result = nullptr)
    {
        VARIANTARG reversed[4];
        for (UINT i = 0; i < count; ++i)
            reversed[count - 1 - i] = arguments[i];
        DISPPARAMS parameters{count != 0 ? reversed : nullptr, nullptr, count, 0};
        return flash->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, result, nullptr,
                             nullptr);
    }

    HRESULT Put(DISPID id, const Variant& value)
    {
        VARIANTARG argument = value;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS parameters{&argument, &named, 1, 1};
        return flash->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters, nullptr,
                             nullptr, nullptr);
    }

    // The control's own window (the container's topmost child) is subclassed to keep its context menu away.
    void Subclass()
    {
        controlWindow = GetWindow(container, GW_CHILD);
        if (controlWindow == nullptr || !SetPropW(controlWindow, HostProperty, this))
            return;
        savedWindowProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            controlWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AtlFlashControl::SubclassProcedure)));
    }

    void Unsubclass()
    {
        if (savedWindowProc == nullptr || !IsWindow(controlWindow))
            return;
        SetWindowLongPtrW(controlWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(savedWindowProc));
        RemovePropW(controlWindow, HostProperty);
        savedWindowProc = nullptr;
    }

    static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        // A right-button press would open the control's menu: it never reaches the control.
        if (message == WM_RBUTTONDOWN)
            return 0;
        auto* host = static_cast<AtlFlashControl*>(GetPropW(window, HostProperty));
        if (host == nullptr || host->savedWindowProc == nullptr)
            return DefWindowProcW(window, message, wParam, lParam);
        return CallWindowProcW(host->savedWindowProc, window, message, wParam, lParam);
    }

    HWND container;
    IDispatch* flash; // one reference held
    HWND controlWindow = nullptr;
    WNDPROC savedWindowProc = nullptr; // while the control's window is subclassed
};

class AtlFlashPlatform : public FlashPlatform
{
public:
    ClientArea WindowArea(void* window) override
    {
        RECT client{};
        if (!GetClientRect(static_cast<HWND>(window), &client))
            return ClientArea{};
        return ClientArea{client.right, client.bottom};
    }

    FlashControl* CreateControl(void* window, ClientArea area) override
    {
        // COM stays initialised on this thread: the control may be made again later.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (!InitAtlHosting())
            return nullptr;
        HWND container =
            CreateWindowExW(0, ContainerClass, FlashClsidText, WS_CHILD | WS_VISIBLE, 0, 0, area.width,
                            area.height, static_cast<HWND>(window), nullptr, OwnModule(), nullptr);
        IDispatch* flash = container != nullptr ? FlashInterface(container) : nullptr;
        // A container without the control in it (a system where the control is not installed) is no control.
        if (flash == nullptr)
        {
            if (container != nullptr)
                DestroyWindow(container);
            UnregisterContainerClasses();
            return nullptr;
        }
        return new AtlFlashControl(container, flash);
    }

private:
    // ATL's AtlAxGetControl sends the container "WM_ATLGETCONTROL"; Wine's container answers only the
    // function, so the function it is.
    static IDispatch* FlashInterface(HWND container)
    {
        auto getControl = AtlFunction<HRESULT(WINAPI*)(HWND, IUnknown**)>("AtlAxGetControl");
        IUnknown* control = nullptr;
        if (getControl == nullptr || FAILED(getControl(container, &control)) || control == nullptr)
            return nullptr;
        IDispatch* flash = nullptr;
        if (FAILED(control->QueryInterface(IID_IShockwaveFlash, reinterpret_cast<void**>(&flash))))
            flash = nullptr;
        control->Release(); // AtlAxGetControl handed out a reference of its own
        return flash;
    }
};

} // namespace

FlashPlatform& SystemFlashPlatform()
{
    static AtlFlashPlatform platform;
    return platform;
}

} // namespace Zelto
