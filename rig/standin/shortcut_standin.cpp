// Stand-in for the shell's Internet Shortcut COM object (CLSID_InternetShortcut).
// Wine's own lacks IShellLinkW, so the rig registers this DLL for that class
// in its private prefix; it saves a standard [InternetShortcut] file. Loaded
// in-process, it shows a test each call it receives and lets the test fail it
// (StandinWatchCalls).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// Need the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include <string>

#include "rig/standin/standin_watch.h"

namespace {

LONG LiveObjects = 0;
LONG ServerLocks = 0;
StandinWatcher Watcher = nullptr;

// What the watcher, if any, makes of a call about to be made.
HRESULT Watched(std::wstring const& call, wchar_t const* text = nullptr, LONG number = 0)
{
    return Watcher ? Watcher(call.c_str(), text, number) : S_OK;
}

std::wstring InterfaceName(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUniformResourceLocatorW))
        return L"IUniformResourceLocatorW";
    if (IsEqualIID(iid, IID_IPersistFile))
        return L"IPersistFile";
    if (IsEqualIID(iid, IID_IShellLinkW))
        return L"IShellLinkW";
    if (IsEqualIID(iid, IID_IUnknown))
        return L"IUnknown";
    WCHAR text[40]{};
    StringFromGUID2(iid, text, ARRAYSIZE(text));
    return text;
}

HRESULT Store(std::wstring& to, wchar_t const* from)
{
    if (!from)
        return E_INVALIDARG;
    to = from;
    return S_OK;
}

struct Shortcut;

// One part per interface, so each AddRef and Release shows which one was used.
#define SHORTCUT_PART(NAME)                                                                            \
    Shortcut* whole = nullptr;                                                                         \
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;                                   \
    STDMETHODIMP_(ULONG) AddRef() override;                                                            \
    STDMETHODIMP_(ULONG) Release() override;                                                           \
    static wchar_t const* Name() { return NAME; }
#define NOT_IMPLEMENTED override { return E_NOTIMPL; }

struct LocatorPart : IUniformResourceLocatorW {
    SHORTCUT_PART(L"IUniformResourceLocatorW")
    STDMETHODIMP SetURL(LPCWSTR url, DWORD flags) override;
    STDMETHODIMP GetURL(LPWSTR*) NOT_IMPLEMENTED
    STDMETHODIMP InvokeCommand(PURLINVOKECOMMANDINFOW) NOT_IMPLEMENTED
};

struct LinkPart : IShellLinkW {
    SHORTCUT_PART(L"IShellLinkW")
    STDMETHODIMP SetDescription(LPCWSTR description) override;
    STDMETHODIMP SetIconLocation(LPCWSTR path, int index) override;
    STDMETHODIMP GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) NOT_IMPLEMENTED
    STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE*) NOT_IMPLEMENTED
    STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE) NOT_IMPLEMENTED
    STDMETHODIMP GetDescription(LPWSTR, int) NOT_IMPLEMENTED
    STDMETHODIMP GetWorkingDirectory(LPWSTR, int) NOT_IMPLEMENTED
    STDMETHODIMP SetWorkingDirectory(LPCWSTR) NOT_IMPLEMENTED
    STDMETHODIMP GetArguments(LPWSTR, int) NOT_IMPLEMENTED
    STDMETHODIMP SetArguments(LPCWSTR) NOT_IMPLEMENTED
    STDMETHODIMP GetHotkey(WORD*) NOT_IMPLEMENTED
    STDMETHODIMP SetHotkey(WORD) NOT_IMPLEMENTED
    STDMETHODIMP GetShowCmd(int*) NOT_IMPLEMENTED
    STDMETHODIMP SetShowCmd(int) NOT_IMPLEMENTED
    STDMETHODIMP GetIconLocation(LPWSTR, int, int*) NOT_IMPLEMENTED
    STDMETHODIMP SetRelativePath(LPCWSTR, DWORD) NOT_IMPLEMENTED
    STDMETHODIMP Resolve(HWND, DWORD) NOT_IMPLEMENTED
    STDMETHODIMP SetPath(LPCWSTR) NOT_IMPLEMENTED
};

struct FilePart : IPersistFile {
    SHORTCUT_PART(L"IPersistFile")
    STDMETHODIMP Save(LPCOLESTR path, BOOL remember) override;
    STDMETHODIMP GetClassID(CLSID*) NOT_IMPLEMENTED
    STDMETHODIMP IsDirty() NOT_IMPLEMENTED
    STDMETHODIMP Load(LPCOLESTR, DWORD) NOT_IMPLEMENTED
    STDMETHODIMP SaveCompleted(LPCOLESTR) NOT_IMPLEMENTED
    STDMETHODIMP GetCurFile(LPOLESTR*) NOT_IMPLEMENTED
};

struct Shortcut {
    LocatorPart locator;
    LinkPart link;
    FilePart file;
    LONG references = 1;
    bool hasUrl = false;
    int iconIndex = 0;
    std::wstring url;
    std::wstring iconPath;
    std::wstring description;

    Shortcut() { locator.whole = link.whole = file.whole = this; }

    void* Find(REFIID iid)
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IUniformResourceLocatorW))
            return static_cast<IUniformResourceLocatorW*>(&locator);
        if (IsEqualIID(iid, IID_IShellLinkW))
            return static_cast<IShellLinkW*>(&link);
        if (IsEqualIID(iid, IID_IPersistFile) || IsEqualIID(iid, IID_IPersist))
            return static_cast<IPersistFile*>(&file);
        return nullptr;
    }

    HRESULT Query(REFIID iid, void** object)
    {
        if (!object)
            return E_POINTER;
        HRESULT const hr = Watched(L"QueryInterface " + InterfaceName(iid));
        *object = SUCCEEDED(hr) ? Find(iid) : nullptr;
        if (!*object)
            return FAILED(hr) ? hr : E_NOINTERFACE;
        InterlockedIncrement(&references);  // unwatched: only the caller's own AddRefs are shown
        return S_OK;
    }

    ULONG Count(LONG delta, wchar_t const* call, wchar_t const* part)
    {
        LONG const left = InterlockedExchangeAdd(&references, delta) + delta;
        Watched(std::wstring(call) + L" " + part, nullptr, left);
        if (left == 0) {
            delete this;
            InterlockedDecrement(&LiveObjects);
        }
        return static_cast<ULONG>(left);
    }

    HRESULT Write(wchar_t const* path) const
    {
        // UTF-16 with a byte-order mark: both Windows' and Wine's profile
        // readers take it, and non-ASCII icon paths survive.
        std::wstring const text = L"\xFEFF[InternetShortcut]\r\nURL=" + url + L"\r\nIconFile=" + iconPath
                                  + L"\r\nIconIndex=" + std::to_wstring(iconIndex) + L"\r\n";
        // No sharing: a concurrent writer sees a sharing violation.
        HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return HRESULT_FROM_WIN32(GetLastError());
        DWORD const bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD written = 0;
        HRESULT hr = S_OK;
        if (!WriteFile(out, text.data(), bytes, &written, nullptr))
            hr = HRESULT_FROM_WIN32(GetLastError());
        else if (written != bytes)
            hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        CloseHandle(out);
        return hr;
    }
};

#define SHORTCUT_PART_UNKNOWN(PART)                                                                    \
    STDMETHODIMP PART::QueryInterface(REFIID iid, void** object) { return whole->Query(iid, object); } \
    STDMETHODIMP_(ULONG) PART::AddRef() { return whole->Count(1, L"AddRef", Name()); }                 \
    STDMETHODIMP_(ULONG) PART::Release() { return whole->Count(-1, L"Release", Name()); }
SHORTCUT_PART_UNKNOWN(LocatorPart)
SHORTCUT_PART_UNKNOWN(LinkPart)
SHORTCUT_PART_UNKNOWN(FilePart)

STDMETHODIMP LocatorPart::SetURL(LPCWSTR url, DWORD flags)
{
    HRESULT hr = Watched(L"SetURL", url, static_cast<LONG>(flags));
    if (SUCCEEDED(hr) && SUCCEEDED(hr = Store(whole->url, url)))
        whole->hasUrl = true;
    return hr;
}

STDMETHODIMP LinkPart::SetDescription(LPCWSTR description)
{
    HRESULT const hr = Watched(L"SetDescription", description);
    return SUCCEEDED(hr) ? Store(whole->description, description) : hr;
}

STDMETHODIMP LinkPart::SetIconLocation(LPCWSTR path, int index)
{
    HRESULT hr = Watched(L"SetIconLocation", path, index);
    if (SUCCEEDED(hr) && SUCCEEDED(hr = Store(whole->iconPath, path)))
        whole->iconIndex = index;
    return hr;
}

STDMETHODIMP FilePart::Save(LPCOLESTR path, BOOL remember)
{
    HRESULT const hr = Watched(L"Save", path, remember);
    return FAILED(hr) ? hr : !whole->hasUrl ? E_UNEXPECTED : !path ? E_INVALIDARG : whole->Write(path);
}

// A static object: the server's lifetime is counted through LockServer alone.
struct Factory : IClassFactory {
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        bool const ours = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory);
        *object = ours ? static_cast<IClassFactory*>(this) : nullptr;
        return ours ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Shortcut* shortcut = new Shortcut;
        if (!(*object = shortcut->Find(iid))) {
            delete shortcut;
            return E_NOINTERFACE;
        }
        InterlockedIncrement(&LiveObjects);
        return S_OK;
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&ServerLocks);
        else
            InterlockedDecrement(&ServerLocks);
        return S_OK;
    }
};

Factory TheFactory;

} // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_InternetShortcut))
        return CLASS_E_CLASSNOTAVAILABLE;
    return TheFactory.QueryInterface(iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return LiveObjects == 0 && ServerLocks == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI StandinWatchCalls(StandinWatcher watcher)
{
    Watcher = watcher;
}
