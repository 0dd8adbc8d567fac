// The three registry operations the About dialog needs. The registry is a
// Windows facility: on Windows these are the real calls, elsewhere every
// lookup fails. Tests stand in with a registry held in memory.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace registry {

constexpr std::uint32_t kLocalMachine = 0x80000002u; // HKEY_LOCAL_MACHINE
constexpr std::uint32_t kAccess = 0x2003Fu;
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kMoreData = 234;
constexpr std::uint32_t kTypeText = 1;   // REG_SZ
constexpr std::uint32_t kTypeExpand = 2; // REG_EXPAND_SZ
constexpr std::uint32_t kTypeNumber = 4; // REG_DWORD

using Key = std::uintptr_t;

class Registry {
  public:
    virtual ~Registry() = default;
    // Names are in the system's 8-bit character set.
    virtual long OpenKey(std::uint32_t root, const std::string& name, std::uint32_t access,
                         Key* key) = 0;
    // Reads a value into `data` (room for `*size` bytes); on return `*size`
    // is the count of bytes stored. A value larger than the room gives
    // kMoreData.
    virtual long QueryValue(Key key, const std::string& name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) = 0;
    virtual long CloseKey(Key key) = 0;
};

// The system's registry: the real one on Windows, one whose lookups all fail
// elsewhere.
Registry& SystemRegistry();

// Reads value `subKeyRef` of key `keyName` below `keyRoot` into `keyVal`:
// text as it is stored (one trailing zero byte dropped), a 32-bit number as
// its decimal text, other types leave `keyVal` as it was. False, with
// `keyVal` emptied, when the key or value cannot be read or is larger than
// 1024 bytes.
bool GetKeyValue(Registry& registry, std::uint32_t keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal);

} // namespace registry
