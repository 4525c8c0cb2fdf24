#pragma once

#include "FileIo.h"
#include "RecordKey.h"
#include "RunRecord.h"

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace vantrel {

// The output folder of one run: what earlier runs left in it, what this run places there,
// and which of its files are the user's, which a run never replaces or removes.
class GalleryOutputs {
public:
    GalleryOutputs(const Folder& folder, RecordKey key);
    ~GalleryOutputs();
    GalleryOutputs(const GalleryOutputs&) = delete;
    GalleryOutputs& operator=(const GalleryOutputs&) = delete;

    // Reads what earlier runs recorded; a record that cannot be read within its cap counts
    // as absent.
    void ReadRecord();
    const RunRecord& Earlier() const { return earlier_; }
    const vantrel::Folder& OutputFolder() const { return folder_; }

    // Whether the file at `name` is the user's: the gallery's record is trusted and does
    // not know the file as it is now. A gallery without a trusted record (a first run)
    // has no such files; nothing at `name` is no file of anyone's.
    bool IsUsersFile(const std::string& name) const;
    // Whether the file at `name` is as an earlier run of this gallery left it.
    bool IsAsMade(const std::string& name) const;

    std::string SourceDigest(const FileStamp& photo, const std::string& how,
                             const std::string& name) const;
    std::string MadeDigest(const FileStamp& output) const;

    // The earlier output of `kind` for `photo` when it is still what this run would make:
    // made from the very same photo file in the same way under `name`, and still as left.
    const RecordedOutput* Unchanged(const std::string& kind, const std::string& photo,
                                    const std::string& source, const std::string& name) const;

    // Writes the record as it stands and opens it for the journal. Until Finish, every
    // output is announced there before it takes its place.
    void StartJournal();
    // Journals the file about to be placed at `name`; safe from any thread.
    BeforePlacing Journal(const std::string& name);
    // Places a temporary file of the folder at `name`, journaled; safe from any thread.
    std::error_code Place(const std::string& temporaryName, const std::string& name);

    // An output this run made or kept; `output.made` is filled from the file when empty.
    // Called on one thread.
    void Record(RecordedOutput output);

    // Removes what earlier runs made that this run neither made nor planned (the outputs
    // of photos no longer listed), when each is as it was left; `never` names files that
    // are not to be touched whatever the record says. Reports the changed ones it keeps.
    // Then writes the final record.
    struct Ending {
        std::vector<std::string> removed;
        std::vector<std::string> keptChanged;
        std::error_code recordError;
    };
    Ending Finish(const std::set<std::string>& planned, const std::set<std::string>& never);

private:
    const vantrel::Folder& folder_;
    RecordKey key_;
    RunRecord earlier_;
    RunRecord made_;
    std::set<std::string> recorded_; // names recorded by this run
    std::mutex journalMutex_;
    int journal_ = -1;
};

} // namespace vantrel
