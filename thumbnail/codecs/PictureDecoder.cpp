#include "codecs/PictureDecoder.h"

#include "base/Trace.h"
#include "io/ByteSource.h"

#include <cstdio>
#include <string>

namespace skimlet {

namespace {

std::string AddressText(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

} // namespace

CPictureDecoder::~CPictureDecoder() {
    ReleaseTraceFile();
}

void CPictureDecoder::DecodeFile(const std::string& path, CRasterBitmap& bitmap, int requestedBpp,
                                 CProgressObserver* observer) {
    orientation_ = Orientation::Normal;
    TraceLine(1, "--- Decoding file " + path + ". ---\n");
    CFileSource source(observer);
    if (const int code = source.Open(path))
        ThrowDecodeError(code, "Opening " + path + " failed");
    DecodeSource(source, bitmap, requestedBpp);
    source.Close();
}

void CPictureDecoder::DecodeMemory(const std::uint8_t* data, std::int64_t size,
                                   CRasterBitmap& bitmap, int requestedBpp) {
    orientation_ = Orientation::Normal;
    const std::string address = AddressText(data);
    TraceLine(1, "--- Decoding from memory at " + address + ". ---\n");
    CMemoryBlockSource source;
    if (const int code = source.Open(data, size))
        ThrowDecodeError(code, "Reading from memory at " + address + " failed");
    DecodeSource(source, bitmap, requestedBpp);
    source.Close();
}

void CPictureDecoder::DecodeResource(const ResourceModule& module, int resourceId,
                                     CRasterBitmap& bitmap, int requestedBpp,
                                     const char* resourceType) {
    orientation_ = Orientation::Normal;
    const std::string id = std::to_string(resourceId);
    TraceLine(1, "--- Decoding resource ID " + id + ". ---\n");
    CModuleResourceSource source;
    if (const int code = source.Open(module, resourceId, resourceType))
        ThrowDecodeError(code, "Opening resource " + id + " failed");
    DecodeSource(source, bitmap, requestedBpp);
    source.Close();
}

void CPictureDecoder::DecodeSource(CByteSource& source, CRasterBitmap& bitmap, int requestedBpp) {
    orientation_ = Orientation::Normal;
    firstWarning_.clear();
    warningCount_ = 0;
    // The holder frees whatever palette block the reader leaves in it, also
    // when an exception passes.
    PaletteHolder paletteHolder;
    ReadImage(bitmap, paletteHolder, requestedBpp, source);
}

void CPictureDecoder::ChooseTargetBpp(int fileBpp, int& requestedBpp) {
    if (requestedBpp == 0)
        requestedBpp = fileBpp <= 8 ? 8 : 32;
}

void CPictureDecoder::ReadImage(CRasterBitmap&, PaletteHolder&, int&, CByteSource&) {}

} // namespace skimlet
