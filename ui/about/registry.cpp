#include "registry.h"

#include <array>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace registry {

namespace {

#ifdef _WIN32
class WindowsRegistry final : public Registry {
  public:
    long OpenKey(std::uint32_t root, const std::string& name, std::uint32_t access,
                 Key* key) override {
        HKEY opened = nullptr;
        const long result = RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root)),
                                          name.c_str(), 0, access, &opened);
        *key = reinterpret_cast<Key>(opened);
        return result;
    }
    long QueryValue(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
        DWORD t = 0, s = *size;
        const long result =
            RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &t, data, &s);
        *type = t;
        *size = s;
        return result;
    }
    long CloseKey(Key key) override { return RegCloseKey(reinterpret_cast<HKEY>(key)); }
};
#else
class NoRegistry final : public Registry {
  public:
    long OpenKey(std::uint32_t, const std::string&, std::uint32_t, Key* key) override {
        *key = 0;
        return kFileNotFound;
    }
    long QueryValue(Key, const std::string&, std::uint32_t*, std::uint8_t*,
                    std::uint32_t*) override {
        return kFileNotFound;
    }
    long CloseKey(Key) override { return kSuccess; }
};
#endif

} // namespace

Registry& SystemRegistry() {
#ifdef _WIN32
    static WindowsRegistry registry;
#else
    static NoRegistry registry;
#endif
    return registry;
}

bool GetKeyValue(Registry& registry, std::uint32_t keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal) {
    Key key = 0;
    bool opened = false;
    auto fail = [&] {
        keyVal.clear();
        if (opened) registry.CloseKey(key);
        return false;
    };
    if (registry.OpenKey(keyRoot, keyName.toLocal8Bit().toStdString(), kAccess, &key) != kSuccess)
        return fail();
    opened = true;

    std::array<std::uint8_t, 1024> buffer{};
    std::uint32_t size = buffer.size();
    std::uint32_t type = 0;
    if (registry.QueryValue(key, subKeyRef.toLocal8Bit().toStdString(), &type, buffer.data(),
                            &size) != kSuccess ||
        size > buffer.size())
        return fail();

    std::vector<std::uint8_t> bytes(buffer.begin(), buffer.begin() + size);
    if (!bytes.empty() && bytes.back() == 0)
        bytes.pop_back(); // only the single last zero is ever dropped

    if (type == kTypeText) {
        keyVal = QString::fromLocal8Bit(reinterpret_cast<const char*>(bytes.data()),
                                        qsizetype(bytes.size()));
    } else if (type == kTypeNumber) {
        // The bytes, last to first, as one number, written in decimal.
        if (bytes.size() > 4) return fail();
        std::uint32_t number = 0;
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it)
            number = (number << 8) | *it;
        keyVal = QString::number(static_cast<std::int32_t>(number));
    }
    registry.CloseKey(key);
    return true;
}

} // namespace registry
