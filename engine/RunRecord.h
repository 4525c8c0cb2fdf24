#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vantrel {

// What tells a file's content apart without reading it: size, modification time to the
// nanosecond, and which file it is (device and inode).
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file, without following a link at its name; nothing for
// anything else or a file that cannot be examined.
std::optional<FileStamp> StampOf(const std::string& path);
// The stamp of the regular file a path names, through links: a photo may be a link, and
// the file it leads to is what its outputs are made from.
std::optional<FileStamp> StampOfTarget(const std::string& path);

// One output a run made from a photo: enough to tell, on the next run, that making it
// again would give the same bytes.
struct OutputMade {
    FileStamp photo;      // the photo as it was before the output was made
    std::string settings; // what the output was made with; empty for a copy
    std::string name;     // its file name in the output folder
    FileStamp made;       // the output as it was left
    std::string warning;  // the damage the decoder passed over, to be reported again
};

// What a gallery's runs made, kept as one small file in the output folder: the outputs
// of the last run (thumbnails and copies, by photo) and, for a gallery made inside its
// photo folder, the thumbnails written there, which are no photos. A record that is
// missing, unreadable or older holds no outputs: the run then makes everything.
class RunRecord {
public:
    static RunRecord Parse(std::string_view text);
    std::string Serialize() const;

    const OutputMade* Thumbnail(const std::string& photo) const;
    const OutputMade* Copy(const std::string& photo) const;
    void SetThumbnail(const std::string& photo, OutputMade made);
    void SetCopy(const std::string& photo, OutputMade made);

    std::set<std::string> ownThumbnails;

private:
    std::map<std::string, OutputMade> thumbnails_;
    std::map<std::string, OutputMade> copies_;
};

} // namespace vantrel
