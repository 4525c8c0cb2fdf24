#include "codecs/JpegSink.h"

#include "codecs/JpegError.h"
#include "io/ByteSink.h"

#include <jerror.h>

namespace skimlet {

namespace {

constexpr std::size_t kTransferSize = 8192;

struct SinkDestination {
    jpeg_destination_mgr manager; // first, so that libjpeg's pointer is ours
    CByteSink* sink;
    JOCTET* buffer;
};

SinkDestination& DestinationOf(j_compress_ptr compressor) {
    return *reinterpret_cast<SinkDestination*>(compressor->dest);
}

void WriteAll(j_compress_ptr compressor, std::size_t count) {
    SinkDestination& destination = DestinationOf(compressor);
    const auto n = static_cast<std::int64_t>(count);
    std::int64_t written = 0;
    // The sink's exception must not unwind through libjpeg: it is carried
    // across and rethrown by the writer.
    CJpegErrorManager::Protect(reinterpret_cast<j_common_ptr>(compressor), [&] {
        written = destination.sink->WriteBytes(n, destination.buffer);
    });
    if (written != n)
        ERREXIT(compressor, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr compressor) {
    SinkDestination& destination = DestinationOf(compressor);
    destination.buffer = static_cast<JOCTET*>((*compressor->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, kTransferSize));
    destination.manager.next_output_byte = destination.buffer;
    destination.manager.free_in_buffer = kTransferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr compressor) {
    WriteAll(compressor, kTransferSize);
    SinkDestination& destination = DestinationOf(compressor);
    destination.manager.next_output_byte = destination.buffer;
    destination.manager.free_in_buffer = kTransferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr compressor) {
    const std::size_t pending = kTransferSize - DestinationOf(compressor).manager.free_in_buffer;
    if (pending != 0)
        WriteAll(compressor, pending);
}

} // namespace

void AttachJpegSink(j_compress_ptr compressor, CByteSink& sink) {
    // A destination manager of another kind (never installed by this library, but
    // possible on a shared compressor) is replaced rather than reinterpreted.
    if (!compressor->dest || compressor->dest->init_destination != InitDestination) {
        auto* destination = static_cast<SinkDestination*>((*compressor->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(compressor), JPOOL_PERMANENT, sizeof(SinkDestination)));
        destination->manager.init_destination = InitDestination;
        destination->manager.empty_output_buffer = EmptyOutputBuffer;
        destination->manager.term_destination = TermDestination;
        destination->buffer = nullptr;
        compressor->dest = &destination->manager;
    }
    DestinationOf(compressor).sink = &sink;
}

} // namespace skimlet
