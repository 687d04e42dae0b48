// A small UI Automation client: lists the elements of a top-level window as a screen reader sees
// them, one line each: depth, control type id and name.
//
//   uia_list.exe WINDOW_TITLE [SECONDS]
//
// Waits up to SECONDS (default 20) for the window. Exits 0 after listing, 1 when the window or
// UI Automation could not be reached (with the failing call and its HRESULT on stderr).
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// MinGW's headers declare no UI Automation client interfaces: the few slots used here are declared
// in their places in the vtables, the others stand in as unused.
#define UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE unused##n() = 0;

struct IUIAutomationElement : IUnknown
{
    UNUSED_SLOT (0) // SetFocus
    UNUSED_SLOT (1) // GetRuntimeId
    UNUSED_SLOT (2) // FindFirst
    UNUSED_SLOT (3) // FindAll
    UNUSED_SLOT (4) // FindFirstBuildCache
    UNUSED_SLOT (5) // FindAllBuildCache
    UNUSED_SLOT (6) // BuildUpdatedCache
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue (int propertyId, VARIANT* value) = 0;
};

struct IUIAutomationTreeWalker : IUnknown
{
    UNUSED_SLOT (0) // GetParentElement
    virtual HRESULT STDMETHODCALLTYPE GetFirstChildElement (IUIAutomationElement* element, IUIAutomationElement** first) = 0;
    UNUSED_SLOT (1) // GetLastChildElement
    virtual HRESULT STDMETHODCALLTYPE GetNextSiblingElement (IUIAutomationElement* element, IUIAutomationElement** next) = 0;
};

struct IUIAutomation : IUnknown
{
    UNUSED_SLOT (0) // CompareElements
    UNUSED_SLOT (1) // CompareRuntimeIds
    UNUSED_SLOT (2) // GetRootElement
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle (HWND window, IUIAutomationElement** element) = 0;
    UNUSED_SLOT (3) // ElementFromPoint
    UNUSED_SLOT (4) // GetFocusedElement
    UNUSED_SLOT (5) // GetRootElementBuildCache
    UNUSED_SLOT (6) // ElementFromHandleBuildCache
    UNUSED_SLOT (7) // ElementFromPointBuildCache
    UNUSED_SLOT (8) // GetFocusedElementBuildCache
    UNUSED_SLOT (9) // CreateTreeWalker
    UNUSED_SLOT (10) // get_ControlViewWalker
    UNUSED_SLOT (11) // get_ContentViewWalker
    virtual HRESULT STDMETHODCALLTYPE get_RawViewWalker (IUIAutomationTreeWalker** walker) = 0;
};

namespace
{
    const CLSID clsidCUIAutomation = { 0xff48dba4, 0x60ef, 0x4201, { 0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e } };
    const IID iidIUIAutomation = { 0x30cbe57d, 0xd9d0, 0x452a, { 0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee } };
    constexpr int controlTypeProperty = 30003;
    constexpr int nameProperty = 30005;

    int failed (const char* what, HRESULT result)
    {
        std::fprintf (stderr, "%s failed: HRESULT 0x%08lx\n", what, (unsigned long) result);
        return 1;
    }

    std::string toUtf8 (BSTR text)
    {
        if (text == nullptr)
            return {};

        const auto length = WideCharToMultiByte (CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8 ((size_t) (length > 0 ? length - 1 : 0), '\0');
        WideCharToMultiByte (CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
        return utf8;
    }

    void list (IUIAutomationTreeWalker* walker, IUIAutomationElement* element, int depth)
    {
        VARIANT name, type;
        VariantInit (&name);
        VariantInit (&type);
        element->GetCurrentPropertyValue (nameProperty, &name);
        element->GetCurrentPropertyValue (controlTypeProperty, &type);
        std::printf ("%d\t%d\t%s\n", depth, type.vt == VT_I4 ? (int) type.lVal : -1,
                     name.vt == VT_BSTR ? toUtf8 (name.bstrVal).c_str() : "");
        VariantClear (&name);
        VariantClear (&type);

        IUIAutomationElement* child = nullptr;
        walker->GetFirstChildElement (element, &child);

        while (child != nullptr && depth < 8)
        {
            list (walker, child, depth + 1);
            IUIAutomationElement* next = nullptr;
            walker->GetNextSiblingElement (child, &next);
            child->Release();
            child = next;
        }

        if (child != nullptr)
            child->Release();
    }
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: uia_list WINDOW_TITLE [SECONDS]\n");
        return 2;
    }

    const auto seconds = argc > 2 ? std::atoi (argv[2]) : 20;
    HWND window = nullptr;

    for (int i = 0; i < seconds * 10 && window == nullptr; ++i)
    {
        window = FindWindowA (nullptr, argv[1]);

        if (window == nullptr)
            Sleep (100);
    }

    if (window == nullptr)
        return failed ("FindWindow", E_FAIL);

    if (const auto result = CoInitializeEx (nullptr, COINIT_MULTITHREADED); FAILED (result))
        return failed ("CoInitializeEx", result);

    IUIAutomation* automation = nullptr;

    if (const auto result = CoCreateInstance (clsidCUIAutomation, nullptr, CLSCTX_INPROC_SERVER, iidIUIAutomation,
                                              reinterpret_cast<void**> (&automation));
        FAILED (result))
        return failed ("CoCreateInstance (CUIAutomation)", result);

    IUIAutomationElement* root = nullptr;

    if (const auto result = automation->ElementFromHandle (window, &root); FAILED (result) || root == nullptr)
        return failed ("ElementFromHandle", result);

    IUIAutomationTreeWalker* walker = nullptr;

    if (const auto result = automation->get_RawViewWalker (&walker); FAILED (result) || walker == nullptr)
        return failed ("get_RawViewWalker", result);

    list (walker, root, 0);

    walker->Release();
    root->Release();
    automation->Release();
    CoUninitialize();
    return 0;
}
