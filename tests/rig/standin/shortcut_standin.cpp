// Stand-in for the shell's Internet Shortcut COM object (CLSID_InternetShortcut).
// Wine's built-in one lacks IShellLinkW, so the test rig registers this DLL
// for that CLSID in a private prefix. It logs the calls it receives and can
// be told to fail chosen ones.
//
// Environment:
//   STANDIN_LOG  = Windows path; one UTF-8 line per call is appended ("\n" ends).
//   STANDIN_FAIL = "<call>=<hex hr>[;...]", <call> is a method name, or
//                  QueryInterface:<iid-name> / CreateInstance:<iid-name>.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <intshcut.h>
#include <isguids.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

namespace {

LONG g_objects = 0;  // live shortcut objects
LONG g_locks = 0;    // IClassFactory::LockServer count

std::wstring env(const WCHAR *name) {
    std::wstring v(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (!v.empty()) v.resize(GetEnvironmentVariableW(name, &v[0], static_cast<DWORD>(v.size())));
    return v;
}

void log(std::wstring line) {
    std::wstring path = env(L"STANDIN_LOG");
    if (path.empty()) return;
    line += L'\n';
    int wide = static_cast<int>(line.size());
    int len = WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), wide, &utf8[0], len, nullptr, nullptr);
    // Append-only access makes every write land at EOF; FILE_READ_DATA is
    // there because LockFileEx wants read or write data access.
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    // Other processes append to the same log: serialise whole lines.
    OVERLAPPED ov = {};
    BOOL locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov);
    DWORD written;
    WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    if (locked) UnlockFileEx(h, 0, 1, 0, &ov);
    CloseHandle(h);
}

// Logs "<line> -> 0x<hr>" and hands hr back.
HRESULT done(const std::wstring &line, HRESULT hr) {
    WCHAR b[16];
    _snwprintf(b, 16, L" -> 0x%08lX", static_cast<unsigned long>(hr));
    b[15] = 0;
    log(line + b);
    return hr;
}

std::wstring q(const WCHAR *s) { return s ? L" \"" + std::wstring(s) + L"\"" : std::wstring(L" (null)"); }
std::wstring num(long v) { return L" " + std::to_wstring(v); }

// True if STANDIN_FAIL names <call> (or <call>:<qual>); hr gets its value.
bool injected(const std::wstring &call, HRESULT &hr, const WCHAR *qual = nullptr) {
    std::wstring all = env(L"STANDIN_FAIL");
    for (size_t at = 0, end; at < all.size(); at = end + 1) {
        end = all.find(L';', at);
        if (end == std::wstring::npos) end = all.size();
        std::wstring item = all.substr(at, end - at);
        size_t eq = item.find(L'=');
        if (eq == std::wstring::npos) continue;
        std::wstring key = item.substr(0, eq);
        if (key == call || (qual && key == call + L":" + qual)) {
            hr = static_cast<HRESULT>(wcstoul(item.c_str() + eq + 1, nullptr, 16));
            return true;
        }
    }
    return false;
}

std::wstring iid_name(REFIID riid) {
    if (IsEqualIID(riid, IID_IUniformResourceLocatorW)) return L"IUniformResourceLocatorW";
    if (IsEqualIID(riid, IID_IPersistFile)) return L"IPersistFile";
    if (IsEqualIID(riid, IID_IShellLinkW)) return L"IShellLinkW";
    if (IsEqualIID(riid, IID_IUnknown)) return L"IUnknown";
    WCHAR b[40] = {};
    StringFromGUID2(riid, b, 40);
    return b;
}

// One sub-object per interface, so AddRef/Release say which one was used.
#define PART(NAME)                                                                              \
    Shortcut *o = nullptr;                                                                      \
    STDMETHODIMP QueryInterface(REFIID r, void **pv) override { return o->query(r, pv); }       \
    STDMETHODIMP_(ULONG) AddRef() override { return o->count(1, L"AddRef " NAME); }            \
    STDMETHODIMP_(ULONG) Release() override { return o->count(-1, L"Release " NAME); }
#define NOTIMPL override { return E_NOTIMPL; }

struct Shortcut {
    struct : IUniformResourceLocatorW {
        PART(L"IUniformResourceLocatorW")
        STDMETHODIMP SetURL(LPCWSTR text, DWORD flags) override {
            HRESULT hr;
            if (!injected(L"SetURL", hr) && SUCCEEDED(hr = o->store(o->url, text))) o->has_url = true;
            return done(L"SetURL" + q(text) + num(static_cast<long>(flags)), hr);
        }
        STDMETHODIMP GetURL(LPWSTR *) NOTIMPL
        STDMETHODIMP InvokeCommand(PURLINVOKECOMMANDINFOW) NOTIMPL
    } url_part;

    struct : IShellLinkW {
        PART(L"IShellLinkW")
        STDMETHODIMP SetDescription(LPCWSTR text) override {
            HRESULT hr;
            if (!injected(L"SetDescription", hr)) hr = o->store(o->desc, text);
            return done(L"SetDescription" + q(text), hr);
        }
        STDMETHODIMP SetIconLocation(LPCWSTR path, int index) override {
            HRESULT hr;
            if (!injected(L"SetIconLocation", hr) && SUCCEEDED(hr = o->store(o->icon, path))) o->icon_index = index;
            return done(L"SetIconLocation" + q(path) + num(index), hr);
        }
        STDMETHODIMP GetPath(LPWSTR, int, WIN32_FIND_DATAW *, DWORD) NOTIMPL
        STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE *) NOTIMPL
        STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE) NOTIMPL
        STDMETHODIMP GetDescription(LPWSTR, int) NOTIMPL
        STDMETHODIMP GetWorkingDirectory(LPWSTR, int) NOTIMPL
        STDMETHODIMP SetWorkingDirectory(LPCWSTR) NOTIMPL
        STDMETHODIMP GetArguments(LPWSTR, int) NOTIMPL
        STDMETHODIMP SetArguments(LPCWSTR) NOTIMPL
        STDMETHODIMP GetHotkey(WORD *) NOTIMPL
        STDMETHODIMP SetHotkey(WORD) NOTIMPL
        STDMETHODIMP GetShowCmd(int *) NOTIMPL
        STDMETHODIMP SetShowCmd(int) NOTIMPL
        STDMETHODIMP GetIconLocation(LPWSTR, int, int *) NOTIMPL
        STDMETHODIMP SetRelativePath(LPCWSTR, DWORD) NOTIMPL
        STDMETHODIMP Resolve(HWND, DWORD) NOTIMPL
        STDMETHODIMP SetPath(LPCWSTR) NOTIMPL
    } link_part;

    struct : IPersistFile {
        PART(L"IPersistFile")
        STDMETHODIMP Save(LPCOLESTR path, BOOL remember) override {
            HRESULT hr;
            if (!injected(L"Save", hr)) hr = !o->has_url ? E_UNEXPECTED : !path ? E_INVALIDARG : o->write(path);
            return done(L"Save" + q(path) + num(remember), hr);
        }
        STDMETHODIMP GetClassID(CLSID *) NOTIMPL
        STDMETHODIMP IsDirty() NOTIMPL
        STDMETHODIMP Load(LPCOLESTR, DWORD) NOTIMPL
        STDMETHODIMP SaveCompleted(LPCOLESTR) NOTIMPL
        STDMETHODIMP GetCurFile(LPOLESTR *) NOTIMPL
    } file_part;

    LONG refs = 1;
    bool has_url = false;
    int icon_index = 0;
    std::wstring url, icon, desc;

    Shortcut() { url_part.o = link_part.o = file_part.o = this; }

    static HRESULT store(std::wstring &dst, const WCHAR *src) {
        if (!src) return E_INVALIDARG;
        dst = src;
        return S_OK;
    }

    void *find(REFIID riid) {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IUniformResourceLocatorW))
            return static_cast<IUniformResourceLocatorW *>(&url_part);
        if (IsEqualIID(riid, IID_IShellLinkW)) return static_cast<IShellLinkW *>(&link_part);
        if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IPersist))
            return static_cast<IPersistFile *>(&file_part);
        return nullptr;
    }

    HRESULT query(REFIID riid, void **ppv) {
        std::wstring name = iid_name(riid);
        HRESULT hr = E_NOINTERFACE;
        if (!ppv) hr = E_POINTER;
        else if (injected(L"QueryInterface", hr, name.c_str())) *ppv = nullptr;
        else if ((*ppv = find(riid)) != nullptr) {
            InterlockedIncrement(&refs);  // silent: only the caller's own AddRefs are logged
            hr = S_OK;
        }
        return done(L"QueryInterface " + name, hr);
    }

    ULONG count(LONG delta, const WCHAR *what) {
        LONG n = InterlockedExchangeAdd(&refs, delta) + delta;
        log(what + (L" -> " + std::to_wstring(n)));
        if (n == 0) {
            delete this;
            InterlockedDecrement(&g_objects);
        }
        return static_cast<ULONG>(n);
    }

    HRESULT write(const WCHAR *path) const {
        // Windows refuses to replace a read-only file; Wine run as root
        // truncates it, so the refusal is made here.
        DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
            && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        // UTF-16LE with BOM: both the Windows and Wine profile readers accept
        // it, and non-ASCII icon paths survive.
        std::wstring text = L"\xFEFF[InternetShortcut]\r\nURL=" + url + L"\r\nIconFile=" + icon
                            + L"\r\nIconIndex=" + std::to_wstring(icon_index) + L"\r\n";
        // No sharing: a concurrent writer sees a sharing violation.
        HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(WCHAR)), written = 0;
        HRESULT hr = S_OK;
        if (!WriteFile(h, text.data(), bytes, &written, nullptr)) hr = HRESULT_FROM_WIN32(GetLastError());
        else if (written != bytes) hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        CloseHandle(h);
        return hr;
    }
};

// Static object: lifetime is tracked through LockServer only.
struct Factory : IClassFactory {
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        bool ours = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory);
        *ppv = ours ? static_cast<IClassFactory *>(this) : nullptr;
        return ours ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        std::wstring name = iid_name(riid), line = L"CreateInstance " + name;
        HRESULT hr;
        if (!ppv) return done(line, E_POINTER);
        *ppv = nullptr;
        if (injected(L"CreateInstance", hr, name.c_str())) return done(line, hr);
        if (outer) return done(line, CLASS_E_NOAGGREGATION);
        Shortcut *o = new Shortcut;
        if (!(*ppv = o->find(riid))) {
            delete o;
            return done(line, E_NOINTERFACE);
        }
        InterlockedIncrement(&g_objects);
        return done(line, S_OK);
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_InternetShortcut)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}
