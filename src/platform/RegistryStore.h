#pragma once
// Registry values of Linux: ini files whose sections are key paths ("Software\Vastrel6") and whose
// keys are value names. The current user's values live in $XDG_CONFIG_HOME/Vastrel6.reg, the
// machine's in /etc/xdg/Vastrel6.reg. Section and value names are compared without regard to ASCII case.
// Files are UTF-8 and are rewritten through a temporary file.

#include <cstdint>
#include <string>
#include <vector>

// The roots of the values: the current user's (HKEY_CURRENT_USER) and the machine's
// (HKEY_LOCAL_MACHINE).
enum class TRegRoot
{
    User,
    Machine,
};

// The file of a root; tests may redirect the machine file (empty restores the default).
std::string RegistryFileName(TRegRoot root);
void SetMachineRegistryFile(const std::string& fileName);

// True and the value when Key holds Name.
bool RegReadString(TRegRoot root, const std::string& key, const std::string& name, std::string& value);
// True when the key (section) exists.
bool RegKeyExists(TRegRoot root, const std::string& key);
// 0 or a Windows-style code.
uint32_t RegWriteString(TRegRoot root, const std::string& key, const std::string& name,
                        const std::string& value);
uint32_t RegDeleteValue(TRegRoot root, const std::string& key, const std::string& name);
