#include "url_shortcut.h"

#include <objbase.h>
#include <shlobj.h>
// Needs the COM declarations above.
#include <intshcut.h>
#include <isguids.h>

#include "names.h"

namespace {

WCHAR const ShortcutUrl[] = L"http://www.quorvel.com/";

} // namespace

HRESULT SaveUrlShortcut(PCWSTR shortcutPath, PCWSTR iconPath)
{
    // A second initialisation is harmless; COM stays up until the process ends.
    CoInitialize(nullptr);

    IUniformResourceLocatorW* locator = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IUniformResourceLocatorW, reinterpret_cast<void**>(&locator));
    if (FAILED(hr))
        return hr;

    // Both interfaces are asked for; a missing link outranks a missing persister.
    IPersistFile* persister = nullptr;
    IShellLinkW* link = nullptr;
    HRESULT const persisterHr = locator->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persister));
    hr = locator->QueryInterface(IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr))
        hr = persisterHr;

    // Flags 0: the URL is taken as written, with no protocol guessed.
    if (SUCCEEDED(hr))
        hr = locator->SetURL(ShortcutUrl, 0);
    if (SUCCEEDED(hr))
        hr = link->SetIconLocation(iconPath, 0);
    if (SUCCEEDED(hr))
        hr = link->SetDescription(ServiceName);
    // Replaces any file already at the path.
    if (SUCCEEDED(hr))
        hr = persister->Save(shortcutPath, TRUE);

    if (persister)
        persister->Release();
    if (link)
        link->Release();
    locator->Release();
    return hr;
}
