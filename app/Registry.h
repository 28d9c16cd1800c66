#pragma once
// The settings of the last run, kept in the registry under the product key.
class TformMain;

// HKEY_CURRENT_USER followed directly by the product key path.
extern const char* const kProductRegistryPath;

void LoadRegistrySettings(TformMain* form);
void SaveRegistrySettings(TformMain* form);
