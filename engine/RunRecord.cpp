#include "RunRecord.h"

#include <sys/stat.h>

#include <charconv>
#include <vector>

namespace vantrel {

namespace {

// A new layout gets a new number, and a record of another number is then only read
// for its own thumbnails. The first layout was a bare list of names, each ended by NUL.
constexpr std::string_view kHeader = "Tessary record 2\n";

// Names may hold any byte but '/' and NUL: control bytes and '%' are escaped so that
// a field never holds a tab or a line break.
std::string Escape(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t end = line.find(separator);
        fields.push_back(line.substr(0, end));
        if (end == std::string_view::npos)
            return fields;
        line.remove_prefix(end + 1);
    }
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool ParseStamp(const std::vector<std::string_view>& fields, std::size_t at, FileStamp& stamp) {
    return ParseNumber(fields[at], stamp.size) && ParseNumber(fields[at + 1], stamp.modifiedNs) &&
           ParseNumber(fields[at + 2], stamp.device) && ParseNumber(fields[at + 3], stamp.inode);
}

void AppendStamp(std::string& out, const FileStamp& stamp) {
    out += '\t' + std::to_string(stamp.size) + '\t' + std::to_string(stamp.modifiedNs) + '\t' +
           std::to_string(stamp.device) + '\t' + std::to_string(stamp.inode);
}

// "thumbnail" or "copy", photo, settings, output name, the two stamps, warning.
constexpr std::size_t kOutputFields = 1 + 3 + 4 + 4 + 1;

bool ParseOutput(const std::vector<std::string_view>& fields, std::string& photo,
                 OutputMade& made) {
    if (fields.size() != kOutputFields)
        return false;
    std::optional<std::string> texts[4];
    const std::size_t at[4] = {1, 2, 3, kOutputFields - 1};
    for (int i = 0; i < 4; ++i) {
        if (!(texts[i] = Unescape(fields[at[i]])))
            return false;
    }
    if (!ParseStamp(fields, 4, made.photo) || !ParseStamp(fields, 8, made.made))
        return false;
    photo = std::move(*texts[0]);
    made.settings = std::move(*texts[1]);
    made.name = std::move(*texts[2]);
    made.warning = std::move(*texts[3]);
    return true;
}

void AppendOutputs(std::string& out, const char* kind,
                   const std::map<std::string, OutputMade>& outputs) {
    for (const auto& [photo, made] : outputs) {
        out += std::string(kind) + '\t' + Escape(photo) + '\t' + Escape(made.settings) + '\t' +
               Escape(made.name);
        AppendStamp(out, made.photo);
        AppendStamp(out, made.made);
        out += '\t' + Escape(made.warning) + '\n';
    }
}

} // namespace

namespace {

std::optional<FileStamp> Stamp(const std::string& path, bool followLink) {
    struct stat status {};
    if ((followLink ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0 ||
        !S_ISREG(status.st_mode))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modifiedNs =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.inode = static_cast<std::uint64_t>(status.st_ino);
    return stamp;
}

} // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
    return Stamp(path, false);
}

std::optional<FileStamp> StampOfTarget(const std::string& path) {
    return Stamp(path, true);
}

RunRecord RunRecord::Parse(std::string_view text) {
    RunRecord record;
    if (!text.starts_with(kHeader)) {
        // The first layout: the own thumbnails' names alone, which still are no photos.
        for (std::string_view name : Split(text, '\0')) {
            if (!name.empty())
                record.ownThumbnails.emplace(name);
        }
        return record;
    }
    text.remove_prefix(kHeader.size());
    // Own thumbnails are kept from a damaged record, outputs are not: a thumbnail taken
    // for a photo would be lost work, an output wrongly kept would be a wrong gallery.
    bool damaged = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::vector<std::string_view> fields =
            Split(text.substr(0, end), '\t'); // a cut last line fails below
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string photo;
        OutputMade made;
        if (fields.size() == 2 && fields[0] == "own") {
            if (std::optional<std::string> name = Unescape(fields[1]); name && !name->empty())
                record.ownThumbnails.insert(std::move(*name));
        } else if ((fields[0] == "thumbnail" || fields[0] == "copy") && end != text.npos &&
                   ParseOutput(fields, photo, made)) {
            (fields[0] == "copy" ? record.copies_ : record.thumbnails_)[photo] = std::move(made);
        } else {
            damaged = true;
        }
    }
    if (damaged) {
        record.thumbnails_.clear();
        record.copies_.clear();
    }
    return record;
}

std::string RunRecord::Serialize() const {
    std::string out(kHeader);
    for (const std::string& name : ownThumbnails)
        out += "own\t" + Escape(name) + '\n';
    AppendOutputs(out, "thumbnail", thumbnails_);
    AppendOutputs(out, "copy", copies_);
    return out;
}

const OutputMade* RunRecord::Thumbnail(const std::string& photo) const {
    const auto found = thumbnails_.find(photo);
    return found == thumbnails_.end() ? nullptr : &found->second;
}

const OutputMade* RunRecord::Copy(const std::string& photo) const {
    const auto found = copies_.find(photo);
    return found == copies_.end() ? nullptr : &found->second;
}

void RunRecord::SetThumbnail(const std::string& photo, OutputMade made) {
    thumbnails_[photo] = std::move(made);
}

void RunRecord::SetCopy(const std::string& photo, OutputMade made) {
    copies_[photo] = std::move(made);
}

} // namespace vantrel
