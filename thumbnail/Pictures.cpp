#include "skimlet/Pictures.h"

#include "PictureMaker.h"
#include "ThumbnailRules.h"
#include "base/TextException.h"
#include "base/Trace.h"
#include "codecs/JpegWriter.h"
#include "io/ByteSink.h"
#include "io/ByteSource.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#include <fcntl.h>
#include <unistd.h>

namespace skimlet {

namespace {

// A problem with the job itself, reported as it stands.
struct JobError {
    std::string text;
};

std::string WithoutTrailingBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string Quoted(std::size_t index, const PictureRequest& request) {
    return "picture " + std::to_string(index + 1) + " (\"" + request.name + "\")";
}

// The size of each requested picture of a photo shown width x height.
PictureTarget TargetFor(std::size_t index, const PictureRequest& r, int width, int height) {
    const bool byThumbnailRule = r.longSide == 0;
    if (!byThumbnailRule && (r.longSide < 0 || r.maxWidth != 0 || r.maxHeight != 0))
        throw JobError{Quoted(index, r) + " needs either maxWidth/maxHeight or longSide"};
    if (r.scale != 1 && (r.scale != 2 || !byThumbnailRule))
        throw JobError{Quoted(index, r) + ": scale 2 is for thumbnails only, else 1"};
    if (r.quality < 0 || r.quality > 100)
        throw JobError{Quoted(index, r) + ": quality " + std::to_string(r.quality) +
                       " is not 0 to 100"};
    if (!byThumbnailRule) {
        const int longer = std::max(width, height);
        if (longer <= r.longSide)
            return {width, height, false};
        const auto scaled = [&](int side) {
            return static_cast<int>(
                std::max<std::int64_t>(1, (std::int64_t{side} * r.longSide + longer / 2) / longer));
        };
        return {scaled(width), scaled(height), false};
    }
    if (r.maxWidth == r.maxHeight)
        throw JobError{Quoted(index, r) + ": equal maxima make no picture"};
    if (std::max(r.maxWidth, r.maxHeight) < 1)
        throw JobError{"Invalid thumbnail size: MaxWidth " + std::to_string(r.maxWidth) +
                       ", MaxHeight " + std::to_string(r.maxHeight) + "."};
    const ThumbnailSize size = ComputeThumbnailSize(width, height, r.maxWidth, r.maxHeight);
    return {size.width * r.scale, size.height * r.scale, r.scale == 1};
}

// The encoder's settings as `request` asks.
void Configure(const PictureRequest& request, CJpegWriter& writer) {
    // Optimised Huffman tables would take as long again as the rest of the
    // encoding for about 5 % fewer bytes; a display copy is well within its
    // budget without them.
    if (request.quality != 0) {
        writer.UseQuality(request.quality);
        writer.UseIntegerDct(true);
    }
}

void OpenSink(CMemorySink& sink, std::int64_t capacity) {
    if (sink.Open(capacity) != SkimletCode::kOk)
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory encoding a picture.");
}

// The encoding of `picture` as `request` asks.
void Encode(const PictureRequest& request, CRasterBitmap& picture, CMemorySink& sink) {
    OpenSink(sink, CPictureEncoder::SinkCapacityFor(picture));
    CJpegWriter writer;
    Configure(request, writer);
    writer.EncodeToSink(picture, sink);
}

// The encoding of a picture as `request` asks, made as its lines come, so
// that the picture is never held whole.
class LineEncoding : public CLineSink {
public:
    LineEncoding(const PictureRequest& request, int width, int height) {
        OpenSink(sink_, CPictureEncoder::SinkCapacityFor(width, height));
        Configure(request, writer_);
        writer_.Begin(width, height, sink_);
    }
    void TakeLines(const std::uint8_t* const* lines, int count) override {
        writer_.WriteLines(lines, count);
    }
    CMemorySink& Finish() {
        writer_.End();
        return sink_;
    }

private:
    CMemorySink sink_; // outlives the writer writing into it
    CJpegWriter writer_;
};

// Temporaries made so far, removed again unless kept.
class Temporaries {
public:
    explicit Temporaries(int folder) : folder_(folder) {}
    ~Temporaries() {
        if (!kept_)
            for (const std::string& name : names_)
                ::unlinkat(folder_, name.c_str(), 0);
    }
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;

    // Writes `bytes` into a new temporary for the output `name`; returns its name.
    std::string Write(const std::string& name, const std::uint8_t* bytes, std::size_t size,
                      unsigned mode) {
        static thread_local std::mt19937_64 random{std::random_device{}()};
        const std::string prefix = "." + name.substr(0, 200) + ".";
        // Room for its name first: a file once made is always removed again.
        names_.reserve(names_.size() + 1);
        int fd = -1;
        std::string temporary;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            char suffix[24];
            std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                          static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
            temporary = prefix + suffix;
            fd = ::openat(folder_, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode & 0777));
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0)
            Fail(name, errno);
        names_.push_back(temporary);
        int error = 0;
        while (size > 0 && error == 0) {
            const ssize_t written = ::write(fd, bytes, size);
            if (written < 0 && errno != EINTR)
                error = errno;
            else if (written == 0)
                error = EIO; // no progress, and none to come
            else if (written > 0) {
                bytes += written;
                size -= static_cast<std::size_t>(written);
            }
        }
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0)
            Fail(name, error);
        return temporary;
    }
    void Keep() { kept_ = true; }

private:
    [[noreturn]] static void Fail(const std::string& name, int error) {
        throw JobError{"Writing " + name + " failed: " + std::strerror(error)};
    }

    int folder_;
    std::vector<std::string> names_;
    bool kept_ = false;
};

void Make(const PhotoJob& job, PhotoResult& result) {
    if (job.pictures.empty())
        throw JobError{"no picture requested"};
    for (std::size_t i = 0; i < job.pictures.size(); ++i)
        if (!IsPlainName(job.pictures[i].name))
            throw JobError{Quoted(i, job.pictures[i]) + ": not a plain file name"};
    if (job.outputFolder < 0)
        throw JobError{"no output folder"};

    TraceLine(1, "--- Decoding file " + job.photoPath + ". ---\n");
    CFileSource source;
    if (const int code = source.OpenDescriptor(job.photo, job.photoPath))
        ThrowDecodeError(code, "Opening " + job.photoPath + " failed");
    CPictureMaker maker;
    maker.Open(source);
    result.photoWidth = maker.ShownWidth();
    result.photoHeight = maker.ShownHeight();
    const PictureRequest& thumbnail = job.pictures.front();
    if (thumbnail.longSide == 0 && thumbnail.maxWidth == thumbnail.maxHeight) {
        result.outcome = PhotoResult::Outcome::NotMadeByRule;
        return;
    }
    // A picture asked for twice (the display copies of a small photo) is made
    // and encoded once: sameAs[i] is the first request it repeats.
    std::vector<PictureTarget> targets;
    std::vector<std::size_t> sameAs(job.pictures.size());
    std::vector<std::size_t> made(job.pictures.size()); // index into targets
    for (std::size_t i = 0; i < job.pictures.size(); ++i) {
        const PictureTarget t =
            TargetFor(i, job.pictures[i], result.photoWidth, result.photoHeight);
        sameAs[i] = i;
        for (std::size_t j = 0; j < i && sameAs[i] == i; ++j) {
            const PictureTarget& u = targets[made[j]];
            if (sameAs[j] == j && !t.asThumbnail && !u.asThumbnail && t.width == u.width &&
                t.height == u.height && job.pictures[i].quality == job.pictures[j].quality)
                sameAs[i] = j;
        }
        made[i] = sameAs[i] == i ? targets.size() : made[sameAs[i]];
        if (sameAs[i] == i)
            targets.push_back(t);
    }

    // The pictures of an upright photo other than the thumbnail are encoded as
    // they are made.
    std::vector<std::unique_ptr<LineEncoding>> encodings(targets.size());
    for (std::size_t i = 0; i < job.pictures.size(); ++i) {
        PictureTarget& t = targets[made[i]];
        if (sameAs[i] == i && maker.Upright() && !t.asThumbnail) {
            encodings[made[i]] = std::make_unique<LineEncoding>(job.pictures[i], t.width, t.height);
            t.lines = encodings[made[i]].get();
        }
    }
    std::vector<std::unique_ptr<CPlainBitmap>> pictures = maker.Make(targets, job.fast);
    if (const std::string warning = maker.FirstWarning(); !warning.empty())
        result.warning = "Decoder warning: " + WithoutTrailingBreaks(warning);

    Temporaries temporaries(job.outputFolder);
    std::vector<PictureMade> written(job.pictures.size());
    for (std::size_t i = 0; i < job.pictures.size(); ++i) {
        if (sameAs[i] != i)
            continue;
        const PictureTarget& t = targets[made[i]];
        CMemorySink whole;
        CMemorySink* sink = &whole;
        if (encodings[made[i]])
            sink = &encodings[made[i]]->Finish();
        else
            Encode(job.pictures[i], *pictures[made[i]], whole);
        pictures[made[i]].reset();
        for (std::size_t k = i; k < job.pictures.size(); ++k)
            if (sameAs[k] == i)
                written[k] = {job.pictures[k].name,
                              temporaries.Write(job.pictures[k].name, sink->Buffer(),
                                                static_cast<std::size_t>(sink->Written()),
                                                job.mode),
                              t.width, t.height};
        encodings[made[i]].reset();
    }
    temporaries.Keep();
    result.pictures = std::move(written);
    result.outcome = PhotoResult::Outcome::Made;
}

} // namespace

PhotoResult MakePictures(const PhotoJob& job) {
    PhotoResult result;
    try {
        Make(job, result);
        return result;
    } catch (const JobError& e) {
        result.error = e.text;
    } catch (const CTextException& e) {
        result.error = WithoutTrailingBreaks(e.Text());
    } catch (const std::bad_alloc&) {
        result.error = "Out of memory.";
    } catch (const std::exception& e) {
        result.error = e.what();
    } catch (...) {
        result.error = "Unknown failure.";
    }
    result.outcome = PhotoResult::Outcome::Failed;
    result.pictures.clear();
    return result;
}

} // namespace skimlet
