#include "registry_record.h"

#include <cstdio>
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

bool ReadLine(std::string const& record, size_t& at, std::string& line)
{
    size_t const end = record.find('\n', at);
    if (end == std::string::npos)
        return false;
    line = record.substr(at, end - at);
    at = end + 1;
    return true;
}

void ReadRecord()
{
    std::string record;
    if (!ReadBytes(RecordPath, record))
        return;
    for (size_t at = 0; at < record.size();) {
        std::string root, key, name, sizes;
        bool const complete = ReadLine(record, at, root) && ReadLine(record, at, key) && ReadLine(record, at, name)
                              && ReadLine(record, at, sizes);
        int present = 0;
        unsigned long type = 0;
        size_t size = 0;
        bool const parsed = complete && std::sscanf(sizes.c_str(), "%d %lu %zu", &present, &type, &size) == 3
                            && record.size() - at >= size;
        SetupCheck(parsed, "reading the registry record", RecordPath);
        Recorded.push_back({root == "M" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Utf16(key), Utf16(name),
                            present != 0, static_cast<DWORD>(type), record.substr(at, size)});
        at += size;
    }
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
    bool known = false;
    for (RecordedValue const& value : Recorded)
        known = known || Same(value, root, key, name);
    if (!known) {
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
