#pragma once

#include <cstddef>
#include <cstdint>

namespace skimlet {

// Blocks of bytes compiled into a library and found by (module, identifier,
// type name): the least a resource-reading decoder needs.
inline constexpr const char* kRawDataResourceType = "RCDATA";
inline constexpr const char* kStringResourceType = "STRING";

struct ResourceEntry {
    int id;
    const char* type;
    const std::uint8_t* data;
    std::size_t size;
};

struct ResourceModule {
    const ResourceEntry* entries;
    std::size_t count;
};

// The entry of `module` with identifier `id` (its low 16 bits) and type `type`
// (null for the raw-data type), or null.
const ResourceEntry* FindModuleResource(const ResourceModule& module, int id, const char* type);

// Skimlet's own resources; string 100 is the project name.
const ResourceModule& SkimletModule();

} // namespace skimlet
