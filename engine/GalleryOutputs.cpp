#include "GalleryOutputs.h"

#include "OutputNames.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel {

GalleryOutputs::GalleryOutputs(const vantrel::Folder& folder, RecordKey key)
    : folder_(folder), key_(key) {}

GalleryOutputs::~GalleryOutputs() {
    if (journal_ >= 0)
        ::close(journal_);
}

void GalleryOutputs::ReadRecord() {
    std::string text;
    std::error_code error;
    if (folder_.IsOpen() && folder_.ReadWhole(kOwnThumbnailsFile, text, error, kMaxRecordBytes))
        earlier_ = RunRecord::Parse(text, key_, folder_.Identity());
}

std::string GalleryOutputs::SourceDigest(const FileStamp& photo, const std::string& how,
                                         const std::string& name) const {
    return key_.Digest("source " + std::to_string(photo.size) + " " +
                       std::to_string(photo.modifiedNs) + " " + std::to_string(photo.changedNs) +
                       " " + std::to_string(photo.device) + " " + std::to_string(photo.inode) +
                       "\n" + how + "\n" + name);
}

std::string GalleryOutputs::MadeDigest(const FileStamp& output) const {
    return key_.Digest("made " + std::to_string(output.size) + " " +
                       std::to_string(output.modifiedNs) + " " + std::to_string(output.device) +
                       " " + std::to_string(output.inode));
}

bool GalleryOutputs::IsAsMade(const std::string& name) const {
    const std::optional<FileStamp> stamp = folder_.OutputStamp(name);
    return stamp && earlier_.MadeHere(name, MadeDigest(*stamp));
}

bool GalleryOutputs::IsUsersFile(const std::string& name) const {
    struct stat status {};
    if (!earlier_.Trusted() || !folder_.IsOpen() || !folder_.Status(name, status))
        return false;
    return !IsAsMade(name) && !earlier_.OwnNames().contains(name);
}

const RecordedOutput* GalleryOutputs::Unchanged(const std::string& kind, const std::string& photo,
                                                const std::string& source,
                                                const std::string& name) const {
    const RecordedOutput* earlier = earlier_.Find(kind, photo);
    if (!earlier || earlier->source != source || earlier->name != name)
        return nullptr;
    const std::optional<FileStamp> stamp = folder_.OutputStamp(name);
    return stamp && MadeDigest(*stamp) == earlier->made ? earlier : nullptr;
}

void GalleryOutputs::StartJournal() {
    std::error_code error;
    if (!WriteWholeFile(folder_, kOwnThumbnailsFile, earlier_.Serialize(key_, folder_.Identity()),
                        error))
        return;
    journal_ = ::openat(folder_.Descriptor(), kOwnThumbnailsFile,
                        O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
}

BeforePlacing GalleryOutputs::Journal(const std::string& name) {
    return [this, name](const FileStamp& stamp) {
        const std::string line = RunRecord::PlacedLine(name, MadeDigest(stamp));
        const std::lock_guard<std::mutex> lock(journalMutex_);
        if (journal_ >= 0 && ::write(journal_, line.data(), line.size()) < 0) {
            // Without the journal a killed run's files would be taken for the user's:
            // stop using it, the final record still says what was made.
            ::close(journal_);
            journal_ = -1;
        }
    };
}

std::error_code GalleryOutputs::Place(const std::string& temporaryName, const std::string& name) {
    return PlaceTemporary(folder_, temporaryName, name, Journal(name));
}

void GalleryOutputs::Record(RecordedOutput output) {
    if (output.made.empty()) {
        const std::optional<FileStamp> stamp = folder_.OutputStamp(output.name);
        if (!stamp)
            return;
        output.made = MadeDigest(*stamp);
    }
    recorded_.insert(output.name);
    made_.Add(std::move(output));
}

GalleryOutputs::Ending GalleryOutputs::Finish(const std::set<std::string>& planned,
                                              const std::set<std::string>& never) {
    Ending ending;
    for (const RecordedOutput& output : earlier_.Outputs()) {
        if (recorded_.contains(output.name) || never.contains(output.name))
            continue;
        const std::optional<FileStamp> stamp = folder_.OutputStamp(output.name);
        const bool asMade = stamp && MadeDigest(*stamp) == output.made;
        if (planned.contains(output.name)) {
            // Still this gallery's, though this run did not make it anew (it failed).
            if (asMade) {
                recorded_.insert(output.name);
                made_.Add(output);
            }
            continue;
        }
        std::error_code error;
        struct stat status {};
        if (asMade && folder_.Remove(output.name, error))
            ending.removed.push_back(output.name);
        else if (folder_.Status(output.name, status))
            ending.keptChanged.push_back(output.name);
    }
    if (journal_ >= 0) {
        ::close(journal_);
        journal_ = -1;
    }
    WriteWholeFile(folder_, kOwnThumbnailsFile, made_.Serialize(key_, folder_.Identity()),
                   ending.recordError);
    return ending;
}

} // namespace vantrel
