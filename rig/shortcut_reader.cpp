#include "shortcut_reader.h"

#include <objbase.h>
#include <shlobj.h>
// Need the COM declarations above.
#include <intshcut.h>
#include <isguids.h>
#include <shlguid.h>

#include <cstdio>

#include "files.h"
#include "held.h"
#include "host.h"
#include "user_texts.h"

namespace {

struct ShortcutContents {
    std::wstring url;
    std::wstring iconFile;
    int iconIndex = -1;
};

// True when the call succeeded; otherwise what failed, and how, goes to failure.
bool Noted(std::string& failure, char const* what, HRESULT hr)
{
    char status[16]{};
    std::snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(hr));
    failure = std::string(what) + " gave " + status;
    return hr == S_OK;
}

bool ReadShortcut(std::wstring const& path, ShortcutContents& contents, std::string& failure)
{
    // Harmless when the thread is in an apartment already.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Held<IUniformResourceLocatorW> locator;
    Held<IPersistFile> file;
    PWSTR url = nullptr;
    if (!Noted(failure, "CoCreateInstance IUniformResourceLocatorW",
               CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                                locator.Out()))
        || !Noted(failure, "QueryInterface IPersistFile", locator->QueryInterface(IID_IPersistFile, file.Out()))
        || !Noted(failure, "Load", file->Load(path.c_str(), STGM_READ))
        || !Noted(failure, "GetURL", locator->GetURL(&url)))
        return false;
    contents.url = url ? url : L"";
    CoTaskMemFree(url);

    Held<IPropertySetStorage> sets;
    Held<IPropertyStorage> properties;
    if (!Noted(failure, "QueryInterface IPropertySetStorage", locator->QueryInterface(IID_IPropertySetStorage, sets.Out()))
        || !Noted(failure, "Open FMTID_Intshcut", sets->Open(FMTID_Intshcut, STGM_READ | STGM_SHARE_EXCLUSIVE, &properties.p)))
        return false;
    PROPSPEC specs[2]{};
    specs[0].ulKind = PRSPEC_PROPID;
    specs[0].propid = PID_IS_ICONFILE;
    specs[1].ulKind = PRSPEC_PROPID;
    specs[1].propid = PID_IS_ICONINDEX;
    PROPVARIANT values[2]{};
    bool const read = Noted(failure, "ReadMultiple PID_IS_ICONFILE PID_IS_ICONINDEX",
                            properties->ReadMultiple(2, specs, values));
    if (read && values[0].vt == VT_LPWSTR && values[0].pwszVal)
        contents.iconFile = values[0].pwszVal;
    // Wine's reader fills only the low half of its VT_I4.
    if (read && values[1].vt == VT_I4)
        contents.iconIndex = RunningUnderWine() ? values[1].iVal : values[1].lVal;
    FreePropVariantArray(2, values);
    return read;
}

} // namespace

std::string ReadBackDifferences(std::wstring const& path, std::wstring const& iconPath)
{
    ShortcutContents contents;
    std::string failure;
    if (!ReadShortcut(path, contents, failure))
        return "could not be read back: " + failure + "\n";
    std::string differences;
    if (contents.url != ExpectedUrl)
        differences += "URL " + Utf8(contents.url) + "\n";
    if (WithLongNames(contents.iconFile) != WithLongNames(iconPath))
        differences += "icon file " + Utf8(contents.iconFile) + "\n";
    if (contents.iconIndex != 0)
        differences += "icon index " + std::to_string(contents.iconIndex) + "\n";
    return differences;
}
