// A registry held in memory for the tests: key path to value name to type
// and bytes. Counts the keys left open.
#pragma once

#include "registry.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace testing_util {

class MemoryRegistry final : public registry::Registry {
  public:
    std::map<std::string,
             std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>>>
        keys;
    int openKeys = 0;
    std::uint32_t lastAccess = 0;

    long OpenKey(std::uint32_t root, const std::string& name, std::uint32_t access,
                 registry::Key* key) override {
        lastAccess = access;
        const auto it = keys.find(name);
        if (root != registry::kLocalMachine || it == keys.end()) return registry::kFileNotFound;
        *key = reinterpret_cast<registry::Key>(&it->second);
        ++openKeys;
        return registry::kSuccess;
    }
    long QueryValue(registry::Key key, const std::string& name, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* size) override {
        auto& values = *reinterpret_cast<decltype(keys)::mapped_type*>(key);
        const auto it = values.find(name);
        if (it == values.end()) return registry::kFileNotFound;
        *type = it->second.first;
        const auto& bytes = it->second.second;
        if (bytes.size() > *size) {
            *size = std::uint32_t(bytes.size());
            return registry::kMoreData;
        }
        std::copy(bytes.begin(), bytes.end(), data);
        *size = std::uint32_t(bytes.size());
        return registry::kSuccess;
    }
    long CloseKey(registry::Key) override {
        --openKeys;
        return registry::kSuccess;
    }
};

} // namespace testing_util
