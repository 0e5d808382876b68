// Registry values the rig changes, each written down before its first
// change in a record file, so that they can always be put back: by this
// program when it is done, or by the next one if this one never got to.
#pragma once

#include <windows.h>

#include <string>

// Where the record is kept; puts back whatever an earlier program recorded there.
void UseRegistryRecord(std::wstring const& recordPath);

// Sets a string value (REG_SZ or REG_EXPAND_SZ), recording the old one first.
void SetRecordedValue(HKEY root, std::wstring const& key, std::wstring const& name, DWORD type,
                      std::wstring const& data);

// Puts one recorded value back as it was; nothing when it was never changed.
void PutBackRecordedValue(HKEY root, std::wstring const& key, std::wstring const& name);

// Puts every recorded value back and empties the record.
void PutBackRecordedValues();
