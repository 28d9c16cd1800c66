#include "app/Registry.h"

#include "app/Main.h"
#include "platform/Registry.h"

const char* const kProductRegistryPath = "HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool";

namespace {
const char* const kProductKey = "\\Software\\Drosen\\KVT Config Tool";
}

void LoadRegistrySettings(TformMain* form)
{
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    try {
        // Without the key there is nothing to load: the first read fails and
        // ends the load silently.
        if (!reg.OpenKeyReadOnly(kProductKey))
            throw ERegistryException("no settings stored yet");
        form->portVigilator->LoadSettings(stRegistry, kProductRegistryPath);
    } catch (const ERegistryException&) {
    }
}

void SaveRegistrySettings(TformMain* form)
{
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.OpenKey(kProductKey, true);
    reg.WriteInteger("Language", int32_t(form->languageIndex));
    form->portVigilator->StoreSettings(stRegistry, kProductRegistryPath);
    reg.CloseKey();
}
