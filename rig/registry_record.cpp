#include "registry_record.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "files.h"
#include "setup_check.h"

namespace {

struct RecordedValue {
    HKEY root;
    std::wstring key;
    std::wstring name;
    bool present;
    DWORD type;
    std::string data;
};

std::wstring RecordPath;
std::vector<RecordedValue> Recorded;

// The record: per value, the root (C or M), then key and name as UTF-8 lines,
// then "1 <type> <size>" or "0 0 0", a line break, and size bytes of data.
void WriteRecord()
{
    std::string record;
    for (RecordedValue const& value : Recorded)
        record += std::string(value.root == HKEY_LOCAL_MACHINE ? "M" : "C") + "\n" + Utf8(value.key) + "\n"
                  + Utf8(value.name) + "\n" + (value.present ? "1 " : "0 ") + std::to_string(value.type) + " "
                  + std::to_string(value.data.size()) + "\n" + value.data;
    if (record.empty())
        RemoveTree(RecordPath);
    else
        WriteBytes(RecordPath, record);
}

void ReadRecord()
{
    std::string record;
    if (!ReadBytes(RecordPath, record))
        return;
    std::istringstream in(record);
    std::string root, key, name, data;
    int present = 0;
    DWORD type = 0;
    size_t size = 0;
    while (std::getline(in, root) && std::getline(in, key) && std::getline(in, name) && in >> present >> type >> size
           && in.get() == '\n' && in.read(data.assign(size, '\0').data(), static_cast<std::streamsize>(size)))
        Recorded.push_back({root == "M" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Utf16(key), Utf16(name),
                            present != 0, type, data});
    // Only a whole record ends where the file does.
    SetupCheck(in.eof() && root.empty(), "reading the registry record", RecordPath);
}

void PutBack(RecordedValue const& value)
{
    if (value.present) {
        SetupCheckStatus(RegSetKeyValueW(value.root, value.key.c_str(), value.name.c_str(), value.type,
                                         value.data.data(), static_cast<DWORD>(value.data.size())),
                         "RegSetKeyValueW", value.key + L"\\" + value.name);
        return;
    }
    LSTATUS const status = RegDeleteKeyValueW(value.root, value.key.c_str(), value.name.c_str());
    if (status != ERROR_FILE_NOT_FOUND)
        SetupCheckStatus(status, "RegDeleteKeyValueW", value.key + L"\\" + value.name);
}

bool Same(RecordedValue const& value, HKEY root, std::wstring const& key, std::wstring const& name)
{
    return value.root == root && lstrcmpiW(value.key.c_str(), key.c_str()) == 0
           && lstrcmpiW(value.name.c_str(), name.c_str()) == 0;
}

} // namespace

void UseRegistryRecord(std::wstring const& recordPath)
{
    RecordPath = recordPath;
    Recorded.clear();
    ReadRecord();
    PutBackRecordedValues();
}

void SetRecordedValue(HKEY root, std::wstring const& key, std::wstring const& name, DWORD type,
                      std::wstring const& data)
{
    SetupCheck(!RecordPath.empty(), "SetRecordedValue before UseRegistryRecord", name);
    if (std::none_of(Recorded.begin(), Recorded.end(),
                     [&](RecordedValue const& value) { return Same(value, root, key, name); })) {
        RecordedValue old{root, key, name, false, REG_NONE, {}};
        DWORD size = 0;
        LSTATUS status = RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &old.type,
                                      nullptr, &size);
        if (status == ERROR_SUCCESS) {
            old.data.resize(size);
            status = RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &old.type,
                                  old.data.data(), &size);
            old.data.resize(size);
            SetupCheckStatus(status, "RegGetValueW", key + L"\\" + name);
            old.present = true;
        } else if (status != ERROR_FILE_NOT_FOUND) {
            SetupCheckStatus(status, "RegGetValueW", key + L"\\" + name);
        }
        Recorded.push_back(old);
        // Written down before the change, so no crash can lose the old value.
        WriteRecord();
    }
    SetupCheckStatus(RegSetKeyValueW(root, key.c_str(), name.c_str(), type, data.c_str(),
                                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                     "RegSetKeyValueW", key + L"\\" + name);
}

void PutBackRecordedValue(HKEY root, std::wstring const& key, std::wstring const& name)
{
    for (RecordedValue const& value : Recorded)
        if (Same(value, root, key, name))
            PutBack(value);
}

void PutBackRecordedValues()
{
    for (auto value = Recorded.rbegin(); value != Recorded.rend(); ++value)
        PutBack(*value);
    Recorded.clear();
    if (!RecordPath.empty())
        WriteRecord();
}
