#include "io/ByteSource.h"

#include "base/TextException.h"
#include "io/ModuleResources.h"

#include <limits>
#include <string>

namespace skimlet {

CModuleResourceSource::CModuleResourceSource() : CByteSource(nullptr) {}

CModuleResourceSource::~CModuleResourceSource() {
    CModuleResourceSource::Close();
}

int CModuleResourceSource::Open(const ResourceModule& module, int resourceId,
                                const char* resourceType) {
    Close();
    const ResourceEntry* entry = FindModuleResource(module, resourceId, resourceType);
    if (!entry || (!entry->data && entry->size > 0) ||
        entry->size > static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max()))
        return SkimletCode::kCannotOpen;
    CByteSource::Open("Resource: " + std::to_string(resourceId), entry->data,
                      static_cast<std::int64_t>(entry->size));
    return SkimletCode::kOk;
}

void CModuleResourceSource::Close() {
    CByteSource::Close();
}

} // namespace skimlet
