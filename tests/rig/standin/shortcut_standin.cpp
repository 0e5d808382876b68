// Stand-in for the shell's Internet Shortcut COM object (CLSID_InternetShortcut).
// Wine's built-in one lacks IShellLinkW, so the test rig registers this DLL
// for that CLSID in a private prefix. It logs every call it receives and can
// be told to fail chosen calls.
//
// Environment:
//   STANDIN_LOG  = Windows path; one UTF-8 line per call is appended ("\n" ends).
//   STANDIN_FAIL = "<call>=<hex hr>[;...]", <call> is a method name, or
//                  QueryInterface:<iid-name> / CreateInstance:<iid-name>.
//
// Built by the tests' CMake target shortcut_standin; by hand:
//   x86_64-w64-mingw32-g++-posix -O2 -fno-exceptions -shared -static
//     -o shortcut_standin.dll shortcut_standin.cpp shortcut_standin.def -lole32 -luuid

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <intshcut.h>
#include <isguids.h>
#include <new>
#include <wchar.h>
#include <stdlib.h>

namespace {

const size_t kMaxText = 2048;  // fixed buffers; longer input is rejected

LONG g_objects = 0;  // live shortcut objects
LONG g_locks = 0;    // IClassFactory::LockServer count

// ---- log --------------------------------------------------------------------

// Growable wide buffer for one log line; converted to UTF-8 when written.
struct Line {
    WCHAR *p = nullptr;
    size_t n = 0, cap = 0;
    ~Line() { if (p) HeapFree(GetProcessHeap(), 0, p); }

    Line &put(const WCHAR *s, size_t len) {
        if (n + len + 1 > cap) {
            size_t want = (n + len + 1) * 2;
            void *q = p ? HeapReAlloc(GetProcessHeap(), 0, p, want * sizeof(WCHAR))
                        : HeapAlloc(GetProcessHeap(), 0, want * sizeof(WCHAR));
            if (!q) return *this;  // drop text rather than crash the caller
            p = static_cast<WCHAR *>(q);
            cap = want;
        }
        memcpy(p + n, s, len * sizeof(WCHAR));
        n += len;
        p[n] = 0;
        return *this;
    }
    Line &put(const WCHAR *s) { return put(s, wcslen(s)); }
    Line &str(const WCHAR *s) {  // quoted argument, or (null)
        if (!s) return put(L" (null)");
        return put(L" \"").put(s).put(L"\"");
    }
    Line &num(long v) {
        WCHAR b[24];
        _snwprintf(b, 24, L" %ld", v);
        b[23] = 0;
        return put(b);
    }
    Line &hr(HRESULT h) {
        WCHAR b[24];
        _snwprintf(b, 24, L" -> 0x%08lX", static_cast<unsigned long>(h));
        b[23] = 0;
        return put(b);
    }
};

// Caller frees with HeapFree; nullptr if the variable is unset.
WCHAR *get_env(const WCHAR *name) {
    DWORD need = GetEnvironmentVariableW(name, nullptr, 0);
    if (!need) return nullptr;
    WCHAR *v = static_cast<WCHAR *>(HeapAlloc(GetProcessHeap(), 0, need * sizeof(WCHAR)));
    if (v && GetEnvironmentVariableW(name, v, need) >= need) {
        HeapFree(GetProcessHeap(), 0, v);
        return nullptr;
    }
    return v;
}

void write_line(Line &line) {
    WCHAR *path = get_env(L"STANDIN_LOG");
    if (!path) return;
    line.put(L"\n");
    int len = WideCharToMultiByte(CP_UTF8, 0, line.p, static_cast<int>(line.n), nullptr, 0, nullptr, nullptr);
    char *utf8 = len > 0 ? static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, len)) : nullptr;
    if (utf8) {
        WideCharToMultiByte(CP_UTF8, 0, line.p, static_cast<int>(line.n), utf8, len, nullptr, nullptr);
        // Append-only access makes every write land at EOF; FILE_READ_DATA is
        // there because LockFileEx wants read or write data access.
        HANDLE h = CreateFileW(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            // Other processes append to the same log: serialise whole lines.
            OVERLAPPED ov = {};
            BOOL locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov);
            DWORD done;
            WriteFile(h, utf8, static_cast<DWORD>(len), &done, nullptr);
            if (locked) UnlockFileEx(h, 0, 1, 0, &ov);
            CloseHandle(h);
        }
        HeapFree(GetProcessHeap(), 0, utf8);
    }
    HeapFree(GetProcessHeap(), 0, path);
}

void log_hr(const WCHAR *method, HRESULT hr) {
    Line l;
    l.put(method).hr(hr);
    write_line(l);
}

// ---- failure injection ------------------------------------------------------

// True if STANDIN_FAIL names <call> (or <call>:<qual>); *hr gets its value.
bool injected(const WCHAR *call, const WCHAR *qual, HRESULT *hr) {
    WCHAR *all = get_env(L"STANDIN_FAIL");
    if (!all) return false;
    bool hit = false;
    size_t clen = wcslen(call);
    for (WCHAR *e = all; e && *e && !hit;) {
        WCHAR *next = wcschr(e, L';');
        if (next) *next++ = 0;
        WCHAR *eq = wcschr(e, L'=');
        if (eq) {
            *eq = 0;
            bool match = !wcscmp(e, call) ||
                         (qual && !wcsncmp(e, call, clen) && e[clen] == L':' && !wcscmp(e + clen + 1, qual));
            if (match) {
                *hr = static_cast<HRESULT>(wcstoul(eq + 1, nullptr, 16));
                hit = true;
            }
        }
        e = next;
    }
    HeapFree(GetProcessHeap(), 0, all);
    return hit;
}

// ---- helpers ----------------------------------------------------------------

struct IidName {
    WCHAR buf[40];
    explicit IidName(REFIID riid) {
        const WCHAR *known = IsEqualIID(riid, IID_IUniformResourceLocatorW) ? L"IUniformResourceLocatorW"
                           : IsEqualIID(riid, IID_IPersistFile)            ? L"IPersistFile"
                           : IsEqualIID(riid, IID_IShellLinkW)             ? L"IShellLinkW"
                           : IsEqualIID(riid, IID_IUnknown)                ? L"IUnknown"
                                                                           : nullptr;
        if (known) lstrcpynW(buf, known, 40);
        else if (!StringFromGUID2(riid, buf, 40)) buf[0] = 0;
    }
};

HRESULT store(WCHAR *dst, const WCHAR *src) {
    if (!src) return E_INVALIDARG;
    size_t len = wcslen(src);
    if (len >= kMaxText) return E_INVALIDARG;
    memcpy(dst, src, (len + 1) * sizeof(WCHAR));
    return S_OK;
}

HRESULT task_copy(const WCHAR *s, LPWSTR *out) {
    size_t bytes = (wcslen(s) + 1) * sizeof(WCHAR);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*out) return E_OUTOFMEMORY;
    memcpy(*out, s, bytes);
    return S_OK;
}

// Methods with nothing to do: still logged and still injectable.
HRESULT stub(const WCHAR *method) {
    HRESULT hr;
    if (!injected(method, nullptr, &hr)) hr = E_NOTIMPL;
    log_hr(method, hr);
    return hr;
}

// ---- the object -------------------------------------------------------------

struct Shortcut;

// One sub-object per interface, so AddRef/Release say which one was used.
#define UNKNOWN_PART(NAME)                                                              \
    Shortcut *o;                                                                        \
    STDMETHODIMP QueryInterface(REFIID r, void **pv) override { return query(o, r, pv); } \
    STDMETHODIMP_(ULONG) AddRef() override { return add_ref(o, NAME); }                \
    STDMETHODIMP_(ULONG) Release() override { return release(o, NAME); }

HRESULT query(Shortcut *o, REFIID riid, void **ppv);
ULONG add_ref(Shortcut *o, const WCHAR *iface);
ULONG release(Shortcut *o, const WCHAR *iface);

struct UrlPart : IUniformResourceLocatorW {
    UNKNOWN_PART(L"IUniformResourceLocatorW")
    STDMETHODIMP SetURL(LPCWSTR url, DWORD flags) override;
    STDMETHODIMP GetURL(LPWSTR *out) override;
    STDMETHODIMP InvokeCommand(PURLINVOKECOMMANDINFOW) override { return stub(L"InvokeCommand"); }
};

struct LinkPart : IShellLinkW {
    UNKNOWN_PART(L"IShellLinkW")
    STDMETHODIMP GetPath(LPWSTR, int, WIN32_FIND_DATAW *, DWORD) override { return stub(L"GetPath"); }
    STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE *) override { return stub(L"GetIDList"); }
    STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE) override { return stub(L"SetIDList"); }
    STDMETHODIMP GetDescription(LPWSTR buf, int cch) override;
    STDMETHODIMP SetDescription(LPCWSTR text) override;
    STDMETHODIMP GetWorkingDirectory(LPWSTR, int) override { return stub(L"GetWorkingDirectory"); }
    STDMETHODIMP SetWorkingDirectory(LPCWSTR) override { return stub(L"SetWorkingDirectory"); }
    STDMETHODIMP GetArguments(LPWSTR, int) override { return stub(L"GetArguments"); }
    STDMETHODIMP SetArguments(LPCWSTR) override { return stub(L"SetArguments"); }
    STDMETHODIMP GetHotkey(WORD *) override { return stub(L"GetHotkey"); }
    STDMETHODIMP SetHotkey(WORD) override { return stub(L"SetHotkey"); }
    STDMETHODIMP GetShowCmd(int *) override { return stub(L"GetShowCmd"); }
    STDMETHODIMP SetShowCmd(int) override { return stub(L"SetShowCmd"); }
    STDMETHODIMP GetIconLocation(LPWSTR buf, int cch, int *index) override;
    STDMETHODIMP SetIconLocation(LPCWSTR path, int index) override;
    STDMETHODIMP SetRelativePath(LPCWSTR, DWORD) override { return stub(L"SetRelativePath"); }
    STDMETHODIMP Resolve(HWND, DWORD) override { return stub(L"Resolve"); }
    STDMETHODIMP SetPath(LPCWSTR) override { return stub(L"SetPath"); }
};

struct FilePart : IPersistFile {
    UNKNOWN_PART(L"IPersistFile")
    STDMETHODIMP GetClassID(CLSID *clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPCOLESTR, DWORD) override { return stub(L"Load"); }
    STDMETHODIMP Save(LPCOLESTR path, BOOL remember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR) override;
    STDMETHODIMP GetCurFile(LPOLESTR *out) override;
};

struct Shortcut {
    UrlPart url;
    LinkPart link;
    FilePart file;
    LONG refs = 1;
    bool has_url = false, has_file = false;
    int icon_index = 0;
    WCHAR url_text[kMaxText] = {};
    WCHAR icon[kMaxText] = {};
    WCHAR desc[kMaxText] = {};
    WCHAR cur_file[kMaxText] = {};

    Shortcut() { url.o = link.o = file.o = this; }

    void *find(REFIID riid) {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IUniformResourceLocatorW))
            return static_cast<IUniformResourceLocatorW *>(&url);
        if (IsEqualIID(riid, IID_IShellLinkW)) return static_cast<IShellLinkW *>(&link);
        if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IPersist))
            return static_cast<IPersistFile *>(&file);
        return nullptr;
    }
};

HRESULT query(Shortcut *o, REFIID riid, void **ppv) {
    IidName name(riid);
    HRESULT hr;
    if (!ppv) {
        hr = E_POINTER;
    } else if (injected(L"QueryInterface", name.buf, &hr)) {
        *ppv = nullptr;
    } else {
        *ppv = o->find(riid);
        if (*ppv) {
            InterlockedIncrement(&o->refs);  // silent: only the caller's own AddRefs are logged
            hr = S_OK;
        } else {
            hr = E_NOINTERFACE;
        }
    }
    Line l;
    l.put(L"QueryInterface ").put(name.buf).hr(hr);
    write_line(l);
    return hr;
}

ULONG add_ref(Shortcut *o, const WCHAR *iface) {
    LONG n = InterlockedIncrement(&o->refs);
    Line l;
    l.put(L"AddRef ").put(iface).put(L" ->").num(n);
    write_line(l);
    return n;
}

ULONG release(Shortcut *o, const WCHAR *iface) {
    LONG n = InterlockedDecrement(&o->refs);
    Line l;
    l.put(L"Release ").put(iface).put(L" ->").num(n);
    write_line(l);
    if (n == 0) {
        o->~Shortcut();
        HeapFree(GetProcessHeap(), 0, o);
        InterlockedDecrement(&g_objects);
    }
    return n;
}

// ---- IUniformResourceLocatorW ----

STDMETHODIMP UrlPart::SetURL(LPCWSTR text, DWORD flags) {
    HRESULT hr;
    if (!injected(L"SetURL", nullptr, &hr)) {
        hr = store(o->url_text, text);
        if (SUCCEEDED(hr)) o->has_url = true;
    }
    Line l;
    l.put(L"SetURL").str(text).num(static_cast<long>(flags)).hr(hr);
    write_line(l);
    return hr;
}

STDMETHODIMP UrlPart::GetURL(LPWSTR *out) {
    HRESULT hr;
    if (!injected(L"GetURL", nullptr, &hr)) {
        if (!out) hr = E_POINTER;
        else if (!o->has_url) { *out = nullptr; hr = S_FALSE; }
        else hr = task_copy(o->url_text, out);
    }
    log_hr(L"GetURL", hr);
    return hr;
}

// ---- IShellLinkW ----

STDMETHODIMP LinkPart::GetDescription(LPWSTR buf, int cch) {
    HRESULT hr;
    if (!injected(L"GetDescription", nullptr, &hr)) {
        hr = (buf && cch > 0) ? S_OK : E_INVALIDARG;
        if (hr == S_OK) lstrcpynW(buf, o->desc, cch);
    }
    log_hr(L"GetDescription", hr);
    return hr;
}

STDMETHODIMP LinkPart::SetDescription(LPCWSTR text) {
    HRESULT hr;
    if (!injected(L"SetDescription", nullptr, &hr)) hr = store(o->desc, text);
    Line l;
    l.put(L"SetDescription").str(text).hr(hr);
    write_line(l);
    return hr;
}

STDMETHODIMP LinkPart::GetIconLocation(LPWSTR buf, int cch, int *index) {
    HRESULT hr;
    if (!injected(L"GetIconLocation", nullptr, &hr)) {
        hr = (buf && cch > 0 && index) ? S_OK : E_INVALIDARG;
        if (hr == S_OK) {
            lstrcpynW(buf, o->icon, cch);
            *index = o->icon_index;
        }
    }
    log_hr(L"GetIconLocation", hr);
    return hr;
}

STDMETHODIMP LinkPart::SetIconLocation(LPCWSTR path, int index) {
    HRESULT hr;
    if (!injected(L"SetIconLocation", nullptr, &hr)) {
        hr = store(o->icon, path);
        if (SUCCEEDED(hr)) o->icon_index = index;
    }
    Line l;
    l.put(L"SetIconLocation").str(path).num(index).hr(hr);
    write_line(l);
    return hr;
}

// ---- IPersistFile ----

STDMETHODIMP FilePart::GetClassID(CLSID *clsid) {
    HRESULT hr;
    if (!injected(L"GetClassID", nullptr, &hr)) {
        hr = clsid ? S_OK : E_POINTER;
        if (clsid) *clsid = CLSID_InternetShortcut;
    }
    log_hr(L"GetClassID", hr);
    return hr;
}

STDMETHODIMP FilePart::IsDirty() {
    HRESULT hr;
    if (!injected(L"IsDirty", nullptr, &hr)) hr = S_FALSE;
    log_hr(L"IsDirty", hr);
    return hr;
}

STDMETHODIMP FilePart::SaveCompleted(LPCOLESTR) {
    HRESULT hr;
    if (!injected(L"SaveCompleted", nullptr, &hr)) hr = S_OK;
    log_hr(L"SaveCompleted", hr);
    return hr;
}

STDMETHODIMP FilePart::GetCurFile(LPOLESTR *out) {
    HRESULT hr;
    if (!injected(L"GetCurFile", nullptr, &hr)) {
        if (!out) hr = E_POINTER;
        else if (o->has_file) hr = task_copy(o->cur_file, out);
        else {  // documented convention: default prompt plus S_FALSE
            hr = task_copy(L"*.url", out);
            if (hr == S_OK) hr = S_FALSE;
        }
    }
    log_hr(L"GetCurFile", hr);
    return hr;
}

HRESULT write_shortcut(const Shortcut *o, const WCHAR *path) {
    Line text;
    WCHAR index[16];
    _snwprintf(index, 16, L"%d", o->icon_index);
    index[15] = 0;
    // UTF-16LE with BOM: both the Windows and Wine profile readers accept it,
    // and non-ASCII icon paths survive.
    text.put(L"\xFEFF[InternetShortcut]\r\nURL=").put(o->url_text)
        .put(L"\r\nIconFile=").put(o->icon)
        .put(L"\r\nIconIndex=").put(index).put(L"\r\n");
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    DWORD bytes = static_cast<DWORD>(text.n * sizeof(WCHAR)), done = 0;
    HRESULT hr = S_OK;
    if (!WriteFile(h, text.p, bytes, &done, nullptr)) hr = HRESULT_FROM_WIN32(GetLastError());
    else if (done != bytes) hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    CloseHandle(h);
    return hr;
}

STDMETHODIMP FilePart::Save(LPCOLESTR path, BOOL remember) {
    HRESULT hr;
    if (!injected(L"Save", nullptr, &hr)) {
        const WCHAR *target = path ? path : (o->has_file ? o->cur_file : nullptr);
        if (!o->has_url) hr = E_UNEXPECTED;
        else if (!target) hr = E_INVALIDARG;
        else if (wcslen(target) >= kMaxText) hr = E_INVALIDARG;
        else {
            // Windows refuses to replace a read-only file; Wine run as root
            // truncates it, so the refusal is made here.
            DWORD attributes = GetFileAttributesW(target);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                hr = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
            else
                hr = write_shortcut(o, target);
        }
        if (SUCCEEDED(hr) && path && remember) {
            store(o->cur_file, path);
            o->has_file = true;
        }
    }
    Line l;
    l.put(L"Save").str(path).num(remember).hr(hr);
    write_line(l);
    return hr;
}

// ---- class factory ----------------------------------------------------------

struct Factory : IClassFactory {
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Static object: lifetime tracked through LockServer only.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        IidName name(riid);
        HRESULT hr;
        if (!ppv) {
            hr = E_POINTER;
        } else if (injected(L"CreateInstance", name.buf, &hr)) {
            *ppv = nullptr;
        } else if (outer) {
            *ppv = nullptr;
            hr = CLASS_E_NOAGGREGATION;
        } else {
            void *mem = HeapAlloc(GetProcessHeap(), 0, sizeof(Shortcut));
            Shortcut *o = mem ? new (mem) Shortcut : nullptr;
            *ppv = o ? o->find(riid) : nullptr;
            hr = !o ? E_OUTOFMEMORY : *ppv ? S_OK : E_NOINTERFACE;
            if (hr == S_OK) InterlockedIncrement(&g_objects);
            else if (o) HeapFree(GetProcessHeap(), 0, o);
        }
        Line l;
        l.put(L"CreateInstance ").put(name.buf).hr(hr);
        write_line(l);
        return hr;
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
