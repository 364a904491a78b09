#include "state/InstrumentState.h"

#include <cstring>

namespace varmolen {

void setPath(std::array<char, kPathLength>& field, const char* text)
{
    field.fill('\0');
    if (text == nullptr)
        return;
    std::size_t n = std::strlen(text);
    if (n > kPathLength - 1)
        n = kPathLength - 1;
    std::memcpy(field.data(), text, n);
}

}  // namespace varmolen
