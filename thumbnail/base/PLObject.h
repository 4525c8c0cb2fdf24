#pragma once

namespace skimlet {

// Root of every image-library class: objects are owned through base pointers
// and deleted through the virtual destructor.
class CPLObject {
public:
    virtual ~CPLObject() = default;

protected:
    CPLObject() = default;
    CPLObject(const CPLObject&) = default;
    CPLObject& operator=(const CPLObject&) = default;
};

} // namespace skimlet
