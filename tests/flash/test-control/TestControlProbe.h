// The test control as the Windows tests see it: its DLL beside the test program, registered with the system's
// regsvr32 for the tests that host it and removed again afterwards, and its record read back through the
// DLL's exports. The tests keep the DLL loaded themselves, so the record outlives every control.
#pragma once

#include "flash/test-control/TestControlApi.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace Zelto
{

class TestControlLibrary
{
public:
    TestControlLibrary() : path(LibraryPath()), module(LoadLibraryW(path.c_str())) {}
    ~TestControlLibrary()
    {
        if (module != nullptr)
            FreeLibrary(module);
    }
    TestControlLibrary(const TestControlLibrary&) = delete;
    TestControlLibrary& operator=(const TestControlLibrary&) = delete;

    bool IsLoaded() const { return module != nullptr; }
    const std::wstring& Path() const { return path; }

    // A registration that a crashed run left behind would hand its control to tests that expect none.
    void RemoveRegistration() const
    {
        auto unregister = Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
        ASSERT_NE(unregister, nullptr);
        ASSERT_EQ(unregister(), S_OK);
    }

    // The newest control's dispatch calls, in order.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> calls;
        std::istringstream lines(Export<decltype(&TestControlCalls)>("TestControlCalls")());
        for (std::string line; std::getline(lines, line);)
            calls.push_back(line);
        return calls;
    }
    void SetVariable(const wchar_t* name, const wchar_t* value) const
    {
        Export<decltype(&TestControlSetVariable)>("TestControlSetVariable")(name, value);
    }
    int LiveObjects() const { return Export<decltype(&TestControlLiveObjects)>("TestControlLiveObjects")(); }
    int MessageCount(UINT message) const
    {
        return Export<decltype(&TestControlMessageCount)>("TestControlMessageCount")(message);
    }
    HWND Window() const { return Export<decltype(&TestControlWindow)>("TestControlWindow")(); }
    void OfferFlashInterface(bool offered) const
    {
        Export<decltype(&TestControlOfferFlashInterface)>("TestControlOfferFlashInterface")(offered);
    }

private:
    static std::wstring LibraryPath()
    {
        wchar_t program[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring path(program, length);
        return path.substr(0, path.find_last_of(L'\\') + 1) + L"zelto_test_flash_control.dll";
    }

    template <typename Function> Function Export(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }

    std::wstring path;
    HMODULE module;
};

// regsvr32 of this bitness (the test program's own) run silently on the DLL; its exit code.
inline DWORD RunRegsvr32(const std::wstring& options, const std::wstring& library)
{
    std::wstring command = L"regsvr32.exe " + options + L" \"" + library + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// The control registered as an installation would register it, for the life of this object.
class TestControlRegistration
{
public:
    explicit TestControlRegistration(const TestControlLibrary& library)
        : path(library.Path()), registered(RunRegsvr32(L"/s", path) == 0)
    {
    }
    ~TestControlRegistration()
    {
        if (registered)
        {
            EXPECT_EQ(RunRegsvr32(L"/u /s", path), 0u);
        }
    }
    TestControlRegistration(const TestControlRegistration&) = delete;
    TestControlRegistration& operator=(const TestControlRegistration&) = delete;

    bool IsRegistered() const { return registered; }

private:
    std::wstring path;
    bool registered;
};

// A fixture `Base` whose tests host the control: it is registered before the suite's first test and removed
// after its last.
template <typename Base> class WithTestControl : public Base
{
protected:
    static void SetUpTestSuite()
    {
        library = new TestControlLibrary();
        registration = new TestControlRegistration(*library);
    }
    static void TearDownTestSuite()
    {
        delete registration;
        delete library;
    }
    void SetUp() override
    {
        Base::SetUp();
        ASSERT_TRUE(library->IsLoaded());
        ASSERT_TRUE(registration->IsRegistered());
    }

    static inline TestControlLibrary* library = nullptr;

private:
    static inline TestControlRegistration* registration = nullptr;
};

// For a test program whose other tests expect no control: removes a registration that a crashed run left
// behind, before any test runs.
class NoLeftoverTestControl : public ::testing::Environment
{
public:
    void SetUp() override
    {
        TestControlLibrary library;
        ASSERT_TRUE(library.IsLoaded());
        library.RemoveRegistration();
    }
};

} // namespace Zelto
