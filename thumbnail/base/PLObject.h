#pragma once

namespace skimlet {

// Root of every image-library class: objects are owned through base pointers
// and deleted through the virtual destructor.
class CPLObject {
public:
    virtual ~CPLObject() = default;
    // Validity hook for debugging; the library's classes keep no invariant worth checking here.
    virtual void CheckState() const {}

protected:
    CPLObject() = default;
    CPLObject(const CPLObject&) = default;
    CPLObject& operator=(const CPLObject&) = default;
};

} // namespace skimlet
