#include "io/ModuleResources.h"

#include <iterator>

namespace skimlet {

namespace {

// Resource type names compare as on the original platform: without regard to
// ASCII case.
bool SameTypeName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto lowerA = static_cast<unsigned char>(*a | (*a >= 'A' && *a <= 'Z' ? 0x20 : 0));
        const auto lowerB = static_cast<unsigned char>(*b | (*b >= 'A' && *b <= 'Z' ? 0x20 : 0));
        if (lowerA != lowerB)
            return false;
    }
    return *a == *b;
}

constexpr char kProjectName[] = "Skimlet";

const ResourceEntry kSkimletEntries[] = {
    {100, kStringResourceType, reinterpret_cast<const std::uint8_t*>(kProjectName),
     sizeof kProjectName - 1},
};

} // namespace

const ResourceEntry* FindModuleResource(const ResourceModule& module, int id, const char* type) {
    const char* wanted = type ? type : kRawDataResourceType;
    for (std::size_t i = 0; i < module.count && module.entries; ++i) {
        const ResourceEntry& entry = module.entries[i];
        const char* entryType = entry.type ? entry.type : kRawDataResourceType;
        if ((entry.id & 0xFFFF) == (id & 0xFFFF) && SameTypeName(entryType, wanted))
            return &entry;
    }
    return nullptr;
}

const ResourceModule& SkimletModule() {
    static const ResourceModule module{kSkimletEntries, std::size(kSkimletEntries)};
    return module;
}

} // namespace skimlet
