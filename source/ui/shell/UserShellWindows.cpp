// Windows: addresses handed to the desktop's own shell (Explorer, running as the signed-in user
// without this process's elevation), which starts their handler.
#include "ui/shell/UserShell.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

namespace
{
    /** Owns one reference to a COM object. */
    template <typename Interface>
    class ComRef final
    {
    public:
        ComRef() = default;

        ~ComRef()
        {
            if (object != nullptr)
                object->Release();
        }

        Interface** put() { return &object; }
        void** putVoid() { return reinterpret_cast<void**> (&object); }
        Interface* operator->() const { return object; }
        Interface* get() const { return object; }

    private:
        Interface* object = nullptr;

        JUCE_DECLARE_NON_COPYABLE (ComRef)
    };

    /** COM on this thread for as long as it lives (the message thread has it already: then this
        only counts one more user). */
    class ComApartment final
    {
    public:
        ComApartment()
            : result (CoInitializeEx (nullptr, COINIT_APARTMENTTHREADED))
        {
        }

        ~ComApartment()
        {
            if (SUCCEEDED (result))
                CoUninitialize();
        }

    private:
        const HRESULT result;

        JUCE_DECLARE_NON_COPYABLE (ComApartment)
    };

    /** A VARIANT that clears itself: empty, a string or a number. */
    class Variant final
    {
    public:
        Variant() { VariantInit (&value); }

        explicit Variant (const juce::String& text)
            : Variant()
        {
            value.vt = VT_BSTR;
            value.bstrVal = SysAllocString (text.toWideCharPointer());
        }

        explicit Variant (int number)
            : Variant()
        {
            value.vt = VT_I4;
            value.lVal = number;
        }

        ~Variant() { VariantClear (&value); }

        VARIANT value;

        JUCE_DECLARE_NON_COPYABLE (Variant)
    };

    juce::Result failedAt (const char* step, HRESULT result)
    {
        return juce::Result::fail (juce::String ("the desktop's shell cannot start it (") + step + ": 0x" + juce::String::toHexString ((int) result) + ")");
    }

    /** SYSTEM (a deployment tool's run) has no desktop of its own; a shell object reached from it
        could be one that COM starts as SYSTEM. */
    bool runsAsSystem()
    {
        HANDLE token = nullptr;

        if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
            return true;

        alignas (TOKEN_USER) BYTE buffer[sizeof (TOKEN_USER) + SECURITY_MAX_SID_SIZE] {};
        DWORD size = 0;
        const auto known = GetTokenInformation (token, TokenUser, buffer, sizeof (buffer), &size);
        CloseHandle (token);

        return ! known || IsWellKnownSid (reinterpret_cast<TOKEN_USER*> (buffer)->User.Sid, WinLocalSystemSid);
    }

    /** The desktop window's shell view, from the shell's list of its windows. */
    juce::Result findDesktopView (ComRef<IShellView>& view)
    {
        ComRef<IShellWindows> windows;
        auto result = CoCreateInstance (CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.putVoid());

        if (FAILED (result))
            return failedAt ("no list of shell windows", result);

        Variant noLocation;
        LONG window = 0;
        ComRef<IDispatch> desktop;
        result = windows->FindWindowSW (&noLocation.value, &noLocation.value, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put());

        // S_FALSE, with no object: there is no desktop window.
        if (result != S_OK || desktop.get() == nullptr)
            return failedAt ("no desktop window", result);

        ComRef<IServiceProvider> services;
        result = desktop->QueryInterface (IID_IServiceProvider, services.putVoid());

        if (FAILED (result))
            return failedAt ("no services of the desktop", result);

        ComRef<IShellBrowser> browser;
        result = services->QueryService (SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid());

        if (FAILED (result))
            return failedAt ("no shell browser", result);

        result = browser->QueryActiveShellView (view.put());
        return SUCCEEDED (result) && view.get() != nullptr ? juce::Result::ok() : failedAt ("no shell view", result);
    }

    /** The shell's automation object (IShellDispatch2), reached through the desktop's view, so that
        it is the one in Explorer's process. */
    juce::Result findShellDispatch (ComRef<IShellDispatch2>& shell)
    {
        ComRef<IShellView> view;

        if (const auto found = findDesktopView (view); found.failed())
            return found;

        ComRef<IDispatch> background;
        auto result = view->GetItemObject (SVGIO_BACKGROUND, IID_IDispatch, background.putVoid());

        if (FAILED (result))
            return failedAt ("no background of the desktop", result);

        ComRef<IShellFolderViewDual> folderView;
        result = background->QueryInterface (IID_IShellFolderViewDual, folderView.putVoid());

        if (FAILED (result))
            return failedAt ("no folder view", result);

        ComRef<IDispatch> application;
        result = folderView->get_Application (application.put());

        if (FAILED (result))
            return failedAt ("no shell application", result);

        result = application->QueryInterface (IID_IShellDispatch2, shell.putVoid());
        return SUCCEEDED (result) ? juce::Result::ok() : failedAt ("no shell dispatch", result);
    }

    /** Has Explorer start `file` (with `arguments`, when given) as the signed-in user. */
    juce::Result startFromDesktop (const juce::String& file, const juce::String& arguments)
    {
        if (runsAsSystem())
            return juce::Result::fail ("running as SYSTEM, with no desktop of its own");

        const ComApartment apartment;
        ComRef<IShellDispatch2> shell;

        if (const auto found = findShellDispatch (shell); found.failed())
            return found;

        const auto name = SysAllocString (file.toWideCharPointer());

        if (name == nullptr)
            return juce::Result::fail ("out of memory");

        const Variant givenArguments (arguments);
        const Variant noArguments, defaultFolder, defaultVerb, shown (SW_SHOWNORMAL);
        const auto result = shell->ShellExecute (name, arguments.isEmpty() ? noArguments.value : givenArguments.value,
                                                 defaultFolder.value, defaultVerb.value, shown.value);
        SysFreeString (name);

        return SUCCEEDED (result) ? juce::Result::ok() : failedAt ("ShellExecute", result);
    }
} // namespace

namespace UserShell
{
    juce::Result openAddress (const juce::String& address)
    {
        return startFromDesktop (address, {});
    }

    juce::Result revealFile (const juce::File& file)
    {
        return startFromDesktop ("explorer.exe", "/select,\"" + file.getFullPathName() + "\"");
    }
} // namespace UserShell
