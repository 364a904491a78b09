// Product names as the device dialog shows them: at most 31 characters, so
// that they fit the capability record's 32-character name with its NUL.
#pragma once

#include <string>

namespace varmolen {

constexpr std::size_t kProductNameLength = 31;

inline std::string cutProductName(const std::string& name)
{
    return name.size() > kProductNameLength ? name.substr(0, kProductNameLength) : name;
}

}  // namespace varmolen
