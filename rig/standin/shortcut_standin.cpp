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

#include <cstring>
#include <string>
#include <utility>

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
    std::pair<IID const*, wchar_t const*> const known[] = {{&IID_IUniformResourceLocatorW, L"IUniformResourceLocatorW"},
        {&IID_IPersistFile, L"IPersistFile"}, {&IID_IShellLinkW, L"IShellLinkW"}, {&IID_IUnknown, L"IUnknown"}};
    for (auto const& [id, name] : known)
        if (IsEqualIID(iid, *id))
            return name;
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

// Shown to the watcher too, so that a call nobody expects is seen.
HRESULT NotImplemented(char const* method)
{
    Watched(std::wstring(method, method + std::strlen(method)));
    return E_NOTIMPL;
}
#define NOT_IMPLEMENTED override { return NotImplemented(__func__); }

struct Shortcut;

// Each interface answers for its own AddRef and Release, so that the watcher
// sees which one the caller lets go.
template <typename Interface, IID const& Iid, typename Whole = Shortcut>
struct Part : Interface {
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return static_cast<Whole*>(this)->Query(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<Whole*>(this)->Count(1, Iid); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<Whole*>(this)->Count(-1, Iid); }
};

// One object behind the three interfaces, as the shell's own is.
struct Shortcut final : Part<IUniformResourceLocatorW, IID_IUniformResourceLocatorW>, Part<IShellLinkW, IID_IShellLinkW>,
                        Part<IPersistFile, IID_IPersistFile> {
    LONG references = 1;
    int iconIndex = 0;
    std::wstring url;
    std::wstring iconPath;
    std::wstring description;

    void* Find(REFIID iid)
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IUniformResourceLocatorW))
            return static_cast<IUniformResourceLocatorW*>(this);
        if (IsEqualIID(iid, IID_IShellLinkW))
            return static_cast<IShellLinkW*>(this);
        if (IsEqualIID(iid, IID_IPersistFile) || IsEqualIID(iid, IID_IPersist))
            return static_cast<IPersistFile*>(this);
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

    ULONG Count(LONG delta, REFIID part)
    {
        LONG const left = InterlockedExchangeAdd(&references, delta) + delta;
        Watched((delta > 0 ? L"AddRef " : L"Release ") + InterfaceName(part), nullptr, left);
        if (left == 0) {
            delete this;
            InterlockedDecrement(&LiveObjects);
        }
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP SetURL(LPCWSTR newUrl, DWORD flags) override
    {
        HRESULT const hr = Watched(L"SetURL", newUrl, static_cast<LONG>(flags));
        return SUCCEEDED(hr) ? Store(url, newUrl) : hr;
    }
    STDMETHODIMP GetURL(LPWSTR*) NOT_IMPLEMENTED
    STDMETHODIMP InvokeCommand(PURLINVOKECOMMANDINFOW) NOT_IMPLEMENTED

    STDMETHODIMP SetDescription(LPCWSTR text) override
    {
        HRESULT const hr = Watched(L"SetDescription", text);
        return SUCCEEDED(hr) ? Store(description, text) : hr;
    }
    STDMETHODIMP SetIconLocation(LPCWSTR path, int index) override
    {
        HRESULT hr = Watched(L"SetIconLocation", path, index);
        if (SUCCEEDED(hr) && SUCCEEDED(hr = Store(iconPath, path)))
            iconIndex = index;
        return hr;
    }
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

    STDMETHODIMP Save(LPCOLESTR path, BOOL remember) override
    {
        HRESULT const hr = Watched(L"Save", path, remember);
        return FAILED(hr) ? hr : url.empty() ? E_UNEXPECTED : !path ? E_INVALIDARG : Write(path);
    }
    STDMETHODIMP GetClassID(CLSID*) NOT_IMPLEMENTED
    STDMETHODIMP IsDirty() NOT_IMPLEMENTED
    STDMETHODIMP Load(LPCOLESTR, DWORD) NOT_IMPLEMENTED
    STDMETHODIMP SaveCompleted(LPCOLESTR) NOT_IMPLEMENTED
    STDMETHODIMP GetCurFile(LPOLESTR*) NOT_IMPLEMENTED

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
        BOOL const wrote = WriteFile(out, text.data(), bytes, &written, nullptr);
        DWORD const error = !wrote ? GetLastError() : written != bytes ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
        CloseHandle(out);
        return HRESULT_FROM_WIN32(error);
    }
};

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
        InterlockedExchangeAdd(&ServerLocks, lock ? 1 : -1);
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
