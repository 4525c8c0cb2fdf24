#include "RunRecord.h"

#include <charconv>

namespace vantrel {

namespace {

// A new layout gets a new number. Layout 2 held stamps in the clear and layout 1 was a
// bare list of names ended by NUL: both are read only for their own names.
constexpr std::string_view kHeader = "Tessary record 3\n";
constexpr std::string_view kOlderHeader = "Tessary record 2\n";
constexpr std::string_view kKeyCheck = "Tessary record key";

// Names may hold any byte but '/' and NUL: control bytes, blanks, '=' and '%' are escaped
// so that a field never holds a tab or a line break and facts split on blanks.
std::string Escape(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '%' || c == '=') {
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

std::string FolderDigest(const RecordKey& key, const FileIdentity& folder) {
    return key.Digest("folder " + std::to_string(folder.device) + " " +
                      std::to_string(folder.inode));
}

bool ParseFacts(std::string_view text, std::map<std::string, std::string>& facts) {
    if (text.empty())
        return true;
    for (std::string_view pair : Split(text, ' ')) {
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            return false;
        std::optional<std::string> name = Unescape(pair.substr(0, equals));
        std::optional<std::string> value = Unescape(pair.substr(equals + 1));
        if (!name || !value)
            return false;
        facts[*name] = *value;
    }
    return true;
}

std::string FactsText(const std::map<std::string, std::string>& facts) {
    std::string text;
    for (const auto& [name, value] : facts)
        text += (text.empty() ? "" : " ") + Escape(name) + "=" + Escape(value);
    return text;
}

// "output", kind, name, photo, source, made, warning, facts.
constexpr std::size_t kOutputFields = 8;

std::optional<RecordedOutput> ParseOutput(const std::vector<std::string_view>& fields) {
    if (fields.size() != kOutputFields)
        return std::nullopt;
    RecordedOutput output;
    std::string* const texts[] = {&output.kind,   &output.name, &output.photo,
                                  &output.source, &output.made, &output.warning};
    for (std::size_t i = 0; i < 6; ++i) {
        std::optional<std::string> text = Unescape(fields[i + 1]);
        if (!text)
            return std::nullopt;
        *texts[i] = std::move(*text);
    }
    if (output.name.empty() || output.made.empty() || !ParseFacts(fields[7], output.facts))
        return std::nullopt;
    return output;
}

void ReadOwnNamesOfOlderLayout(std::string_view text, RunRecord& record) {
    if (text.starts_with(kOlderHeader)) {
        for (std::string_view line : Split(text.substr(kOlderHeader.size()), '\n')) {
            const std::vector<std::string_view> fields = Split(line, '\t');
            if (fields.size() == 2 && fields[0] == "own") {
                if (std::optional<std::string> name = Unescape(fields[1]); name && !name->empty())
                    record.KeepOwnName(*name);
            }
        }
        return;
    }
    for (std::string_view name : Split(text, '\0')) {
        if (!name.empty() && name.find('\n') == std::string_view::npos)
            record.KeepOwnName(std::string(name));
    }
}

} // namespace

RunRecord RunRecord::Parse(std::string_view text, const RecordKey& key,
                           const FileIdentity& folder) {
    RunRecord record;
    if (!text.starts_with(kHeader)) {
        ReadOwnNamesOfOlderLayout(text, record);
        return record;
    }
    text.remove_prefix(kHeader.size());
    bool keyMatches = false;
    bool folderMatches = false;
    bool damaged = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::vector<std::string_view> fields = Split(line, '\t');
        if (end == std::string_view::npos) {
            // A line cut short by a killed run's journal: the lines before it stand.
            break;
        }
        if (fields.size() == 2 && fields[0] == "check") {
            keyMatches = fields[1] == key.Digest(kKeyCheck);
        } else if (fields.size() == 2 && fields[0] == "folder") {
            folderMatches = fields[1] == FolderDigest(key, folder);
        } else if (fields.size() == 2 && fields[0] == "own") {
            if (std::optional<std::string> name = Unescape(fields[1]); name && !name->empty())
                record.ownNames_.insert(std::move(*name));
        } else if (fields.size() == 3 && fields[0] == "placed") {
            std::optional<std::string> name = Unescape(fields[1]);
            if (name)
                record.placed_.emplace(std::move(*name), std::string(fields[2]));
            else
                damaged = true;
        } else if (fields[0] == "output") {
            if (std::optional<RecordedOutput> output = ParseOutput(fields))
                record.outputs_.push_back(std::move(*output));
            else
                damaged = true;
        } else {
            damaged = true;
        }
    }
    record.trusted_ = keyMatches && folderMatches && !damaged;
    if (!record.trusted_) {
        // Its outputs' names are still the gallery's own files, which are no photos.
        for (const RecordedOutput& output : record.outputs_)
            record.ownNames_.insert(output.name);
        for (const auto& [name, made] : record.placed_)
            record.ownNames_.insert(name);
        record.outputs_.clear();
        record.placed_.clear();
    }
    for (std::size_t i = 0; i < record.outputs_.size(); ++i) {
        record.byKindAndPhoto_[{record.outputs_[i].kind, record.outputs_[i].photo}] = i;
        record.madeByName_.emplace(record.outputs_[i].name, record.outputs_[i].made);
        record.byName_[record.outputs_[i].name] = i;
    }
    record.madeByName_.insert(record.placed_.begin(), record.placed_.end());
    return record;
}

std::string RunRecord::Serialize(const RecordKey& key, const FileIdentity& folder) const {
    std::string out(kHeader);
    out += "check\t" + key.Digest(kKeyCheck) + "\n";
    out += "folder\t" + FolderDigest(key, folder) + "\n";
    for (const std::string& name : ownNames_)
        out += "own\t" + Escape(name) + "\n";
    for (const RecordedOutput& o : outputs_) {
        out += "output\t" + Escape(o.kind) + '\t' + Escape(o.name) + '\t' + Escape(o.photo) + '\t' +
               Escape(o.source) + '\t' + Escape(o.made) + '\t' + Escape(o.warning) + '\t' +
               FactsText(o.facts) + '\n';
    }
    return out;
}

const RecordedOutput* RunRecord::Find(const std::string& kind, const std::string& photo) const {
    const auto found = byKindAndPhoto_.find({kind, photo});
    return found == byKindAndPhoto_.end() ? nullptr : &outputs_[found->second];
}

void RunRecord::Add(RecordedOutput output) {
    madeByName_.emplace(output.name, output.made);
    const std::pair<std::string, std::string> key{output.kind, output.photo};
    if (const auto found = byKindAndPhoto_.find(key); found != byKindAndPhoto_.end()) {
        byName_[output.name] = found->second;
        outputs_[found->second] = std::move(output);
        return;
    }
    byKindAndPhoto_[key] = outputs_.size();
    byName_[output.name] = outputs_.size();
    outputs_.push_back(std::move(output));
}

const RecordedOutput* RunRecord::Named(const std::string& name) const {
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &outputs_[found->second];
}

bool RunRecord::MadeHere(const std::string& name, const std::string& made) const {
    const auto [first, last] = madeByName_.equal_range(name);
    for (auto it = first; it != last; ++it) {
        if (it->second == made)
            return true;
    }
    return false;
}

std::string RunRecord::PlacedLine(const std::string& name, const std::string& made) {
    return "placed\t" + Escape(name) + '\t' + made + '\n';
}

} // namespace vantrel
