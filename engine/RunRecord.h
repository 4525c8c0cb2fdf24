#pragma once

#include "FileIo.h"
#include "RecordKey.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// One file a run made in the output folder. Nothing of the user's files is kept in the
// clear: what an output was made from and what it was left as are keyed digests, which
// say only whether the files are still the very same.
struct RecordedOutput {
    // "thumbnail", "twin", "display-1280", "copy", "page", "index-2", "style": one of a
    // kind per photo
    std::string kind;
    std::string name;    // its file name in the output folder
    std::string photo;   // the photo it was made from; "" for the gallery's own files
    std::string source;  // digest of what it was made from; "" when it is told by its bytes
    std::string made;    // digest of its stamp as it was left
    std::string warning; // the damage the decoder passed over, to be reported again
    // What a later run needs to know of it without reading it, all of which the published
    // file shows anyway: a picture's size, whether a copy carries a location, its caption.
    std::map<std::string, std::string> facts;
};

// What a gallery's runs made, kept as one small file in the output folder,
// `.tessary-thumbnails`, written whole at the start and the end of a run. In between, a
// run appends a line for each output just before it takes its place, so that after a run
// that was killed the files it placed are still known as its own.
class RunRecord {
public:
    // A record that another key made, of another folder, of an older layout or damaged
    // holds no outputs (the run then makes everything), only the names of the gallery's
    // own files that are no photos.
    static RunRecord Parse(std::string_view text, const RecordKey& key, const FileIdentity& folder);
    std::string Serialize(const RecordKey& key, const FileIdentity& folder) const;

    // Whether the record was made by this user's key for this very folder.
    bool Trusted() const { return trusted_; }

    const RecordedOutput* Find(const std::string& kind, const std::string& photo) const;
    // The output recorded under `name`, if any.
    const RecordedOutput* Named(const std::string& name) const;
    const std::vector<RecordedOutput>& Outputs() const { return outputs_; }
    void Add(RecordedOutput output);

    // Whether a file at `name` with stamp digest `made` is one a run of this gallery left.
    bool MadeHere(const std::string& name, const std::string& made) const;
    // Names known to be the gallery's own without a digest (an older record's thumbnails).
    const std::set<std::string>& OwnNames() const { return ownNames_; }
    void KeepOwnName(const std::string& name) { ownNames_.insert(name); }

    // A line for the journal: `name` is about to hold a file of stamp digest `made`.
    static std::string PlacedLine(const std::string& name, const std::string& made);

private:
    bool trusted_ = false;
    std::vector<RecordedOutput> outputs_;
    std::map<std::pair<std::string, std::string>, std::size_t> byKindAndPhoto_;
    std::map<std::string, std::size_t> byName_;
    std::multimap<std::string, std::string> placed_;     // name -> digest, from the journal
    std::multimap<std::string, std::string> madeByName_; // outputs' and placed digests
    std::set<std::string> ownNames_;
};

} // namespace vantrel
