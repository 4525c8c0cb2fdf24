#include "InterimPictures.h"

#include "skimlet/JPEGImage.h"

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace skimlet {

namespace {
std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}
} // namespace

PhotoResult MakePictures(const PhotoJob& job) {
    PhotoResult result;
    if (job.pictures.empty())
        return result;
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const PictureRequest& request = job.pictures.front();
    if (JPEGImage::NoThumbnailFor(request.maxWidth, request.maxHeight)) {
        result.outcome = PhotoResult::Outcome::NotMadeByRule;
        return result;
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    const std::string temporary = "." + request.name.substr(0, 200) + "." + suffix;
    JPEGImage image;
    image.SetFastThumbnails(job.fast);
    ClearErrorInfo();
    HRESULT hr = image.SetFilePath("/proc/self/fd/" + std::to_string(job.photo));
    if (hr == S_OK) {
        image.SetOutputDirectory("/proc/self/fd/" + std::to_string(job.outputFolder) + "/");
        image.SetThumbnailName(temporary);
        hr = image.GenerateThumbnail(request.maxWidth, request.maxHeight);
    }
    std::optional<ErrorInfo> info = GetErrorInfo();
    if (hr != S_OK) {
        result.error = info ? Trimmed(info->description) : "no thumbnail made";
        ::unlinkat(job.outputFolder, temporary.c_str(), 0);
        return result;
    }
    if (info)
        result.warning = Trimmed(info->description);
    result.outcome = PhotoResult::Outcome::Made;
    result.photoWidth = image.Width();
    result.photoHeight = image.Height();
    result.pictures.push_back({request.name, temporary, image.MaxWidth(), image.MaxHeight()});
    return result;
}

} // namespace skimlet
