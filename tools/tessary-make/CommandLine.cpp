#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <sstream>
#include <variant>

namespace {

using vantrel::PageStyle;
using vantrel::Setting;

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

using TextField = std::string GallerySettings::*;
using NumberField = std::int16_t GallerySettings::*;
using FlagField = bool GallerySettings::*;
using StyleField = PageStyle GallerySettings::*;

bool IsFlag(const Setting& setting) {
    return std::holds_alternative<FlagField>(setting.field);
}

// A setting's option; a flag's "--no-" form carries false.
struct SettingOption {
    const Setting* setting;
    bool flag;
};

const std::map<std::string, SettingOption, std::less<>>& SettingOptions() {
    static const auto options = [] {
        std::map<std::string, SettingOption, std::less<>> options;
        for (const Setting& setting : vantrel::kSettings) {
            options[std::string("--") + setting.option] = {&setting, true};
            if (IsFlag(setting))
                options[std::string("--no-") + setting.option] = {&setting, false};
        }
        return options;
    }();
    return options;
}

std::optional<std::int16_t> ParseNumber(const std::string& text, int lowest, int highest) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || value < lowest || value > highest)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::string RangeError(const char* what, int lowest, int highest, const std::string& value) {
    return std::string("the ") + what + " must be a whole number from " + std::to_string(lowest) +
           " to " + std::to_string(highest) + ", not '" + value + "'";
}

// "classic or modern"
std::string StyleNames() {
    std::string names;
    const std::size_t count = std::size(vantrel::kPageStyleNames);
    for (std::size_t index = 0; index < count; ++index)
        names += (index == 0           ? ""
                  : index + 1 == count ? " or "
                                       : ", ") +
                 std::string(vantrel::kPageStyleNames[index]);
    return names;
}

// Stores the value of a setting's option in `values`; the usage error when it is none.
// An option sets the side of the thumbnail that decides, so it is never below 1.
std::string TakeValue(const Setting& setting, const std::string& text, GallerySettings& values) {
    return std::visit(Overloaded{
                          [&](TextField field) {
                              values.*field = text;
                              return std::string();
                          },
                          [&](NumberField field) {
                              const int lowest = std::max<int>(setting.lowest, 1);
                              const auto number = ParseNumber(text, lowest, setting.highest);
                              if (!number)
                                  return RangeError(setting.what, lowest, setting.highest, text);
                              values.*field = *number;
                              return std::string();
                          },
                          [&](StyleField field) {
                              for (std::size_t index = 0;
                                   index < std::size(vantrel::kPageStyleNames); ++index) {
                                  if (text == vantrel::kPageStyleNames[index]) {
                                      values.*field = static_cast<PageStyle>(index);
                                      return std::string();
                                  }
                              }
                              return std::string("the ") + setting.what + " must be " +
                                     StyleNames() + ", not '" + text + "'";
                          },
                          [&](FlagField) {
                              return std::string("option --") + setting.option + " takes no value";
                          },
                      },
                      setting.field);
}

} // namespace

bool CommandLine::Gives(const Setting::Field& field) const {
    return std::any_of(given.begin(), given.end(),
                       [&](const Setting* setting) { return setting->field == field; });
}

ParseResult ParseCommandLine(std::span<const std::string> arguments) {
    ParseResult result;
    CommandLine& line = result.commandLine;
    auto fail = [&](std::string message) {
        result.error = std::move(message) + " (see --help)";
        return result;
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "-j")
            name = "--jobs";
        auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        const auto flag = [&](std::optional<bool>& slot) {
            if (inlineValue)
                return false;
            slot = true;
            return true;
        };

        if (name == "-h" || name == "--help") {
            line.action = CommandLine::Action::Help;
        } else if (name == "--version") {
            line.action = CommandLine::Action::Version;
        } else if (name == "-q" || name == "--quiet") {
            line.quiet = true;
        } else if (name == "-t" || name == "--template" || name == "--save-template") {
            const auto value = takeValue();
            if (!value || value->empty())
                return fail("option " + name + " needs a file name");
            (name == "--save-template" ? line.saveTemplateFile : line.templateFile) = *value;
        } else if (name == "--description-file") {
            const auto value = takeValue();
            if (!value)
                return fail("option " + name + " needs a value");
            line.descriptionFile = *value;
        } else if (name == "--jobs") {
            const auto value = takeValue();
            if (!value)
                return fail("option " + name + " needs a number");
            line.jobs = ParseNumber(*value, 1, 1024);
            if (!line.jobs)
                return fail(RangeError("number of jobs", 1, 1024, *value));
        } else if (name == "--rebuild" || name == "--fast") {
            if (!flag(name == "--rebuild" ? line.rebuild : line.fast))
                return fail("option " + name + " takes no value");
        } else if (const auto s = SettingOptions().find(name); s != SettingOptions().end()) {
            const Setting& setting = *s->second.setting;
            if (IsFlag(setting)) {
                if (inlineValue)
                    return fail("option " + name + " takes no value");
                line.values.*std::get<FlagField>(setting.field) = s->second.flag;
            } else {
                const auto value = takeValue();
                if (!value)
                    return fail("option " + name + " needs " +
                                (std::holds_alternative<NumberField>(setting.field) ? "a number"
                                                                                    : "a value"));
                if (std::string error = TakeValue(setting, *value, line.values); !error.empty())
                    return fail(error);
            }
            line.given.push_back(&setting);
        } else if (name.starts_with("-")) {
            return fail("unknown option '" + name + "'");
        } else {
            return fail("unexpected argument '" + name + "'");
        }
    }

    if (line.Gives(&GallerySettings::maxWidth) && line.Gives(&GallerySettings::maxHeight))
        return fail("give either --thumb-width or --thumb-height, not both");
    if (line.Gives(&GallerySettings::description) && line.descriptionFile)
        return fail("give either --description or --description-file, not both");
    return result;
}

GallerySettings DefaultSettings() {
    GallerySettings settings;
    settings.outputFilename = "Default.htm";
    settings.numberOfRows = 5;
    settings.numberOfCols = 5;
    settings.maxWidth = 120;
    return settings;
}

GallerySettings ApplyOptions(const CommandLine& line, GallerySettings settings,
                             const std::string& descriptionText) {
    for (const Setting* setting : line.given)
        std::visit([&](auto field) { settings.*field = line.values.*field; }, setting->field);
    if (line.descriptionFile)
        settings.description = descriptionText;
    if (line.Gives(&GallerySettings::maxWidth))
        settings.maxHeight = 0;
    if (line.Gives(&GallerySettings::maxHeight))
        settings.maxWidth = 0;
    if (line.jobs)
        settings.jobs = *line.jobs;
    if (line.rebuild)
        settings.rebuild = *line.rebuild;
    if (line.fast)
        settings.fastThumbnails = *line.fast;
    return settings;
}

std::string MissingRequiredOption(const GallerySettings& s) {
    // The folders and the page's name first: what every gallery needs.
    for (const Setting::Required needed :
         {Setting::Required::Always, Setting::Required::ClassicStyle}) {
        if (needed == Setting::Required::ClassicStyle && s.pageStyle != PageStyle::Classic)
            break;
        for (const Setting& setting : vantrel::kSettings) {
            const auto* text = std::get_if<TextField>(&setting.field);
            if (text && setting.required == needed && (s.**text).empty())
                return std::string("--") + setting.option;
        }
    }
    return "";
}

std::string UnusableSetting(const GallerySettings& s) {
    for (const Setting& setting : vantrel::kSettings) {
        const auto* number = std::get_if<NumberField>(&setting.field);
        if (number && s.**number < setting.lowest)
            return RangeError(setting.what, setting.lowest, setting.highest,
                              std::to_string(s.**number));
    }
    // The larger side decides; with both alike no thumbnail is ever made.
    if (s.maxWidth == s.maxHeight)
        return "the thumbnail width and height are both " + std::to_string(s.maxWidth) +
               ", so no thumbnail could be made: give one of --thumb-width and --thumb-height";
    return "";
}

namespace {

// One option of --help: the option at the left, its text wrapped in a column beside it.
std::string HelpEntry(const std::string& option, const std::string& text) {
    constexpr std::size_t kColumn = 29, kWidth = 79;
    std::string line = (option.starts_with("--") ? "      " : "  ") + option;
    line += line.size() + 2 <= kColumn ? std::string(kColumn - line.size(), ' ') : "  ";
    const std::size_t textStart = line.size();
    std::string entry;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (line.size() == textStart) {
            line += word;
        } else if (line.size() + 1 + word.size() > kWidth) {
            entry += line + "\n";
            line = std::string(kColumn, ' ') + word;
        } else {
            line += " " + word;
        }
    }
    return entry + line + "\n";
}

// The value a run starts from, as --help shows it: "[5]"; "" when there is none.
std::string StartValue(const std::string& value) {
    return value.empty() ? "" : " [" + value + "]";
}
std::string StartValue(std::int16_t value) {
    return value == 0 ? "" : " [" + std::to_string(value) + "]";
}
std::string StartValue(PageStyle value) {
    return " [" + std::string(vantrel::kPageStyleNames[static_cast<int>(value)]) + "]";
}
std::string StartValue(bool) {
    return "";
}

} // namespace

std::string UsageText() {
    std::string text = R"(Usage: tessary-make [OPTIONS]
Makes a photo gallery web site from a folder of JPEG photos: a navigation page
with a table of thumbnails between your header and footer, a copy and a
thumbnail of every photo, and one page per photo.

Settings (options override a template's values):
)";
    text += HelpEntry("-t, --template FILE", "start from the settings saved in a template file");
    const GallerySettings defaults, start = DefaultSettings();
    std::vector<std::string> undo;
    for (const Setting& setting : vantrel::kSettings) {
        const std::string option = std::string("--") + setting.option;
        std::string shown = option + (IsFlag(setting) ? "" : " " + std::string(setting.valueName));
        if (const auto* flag = std::get_if<FlagField>(&setting.field)) {
            const std::string negative = std::string("--no-") + setting.option;
            shown = defaults.**flag ? negative : option;
            undo.push_back(defaults.**flag ? option : negative);
        }
        const std::string startValue =
            std::visit([&](auto field) { return StartValue(start.*field); }, setting.field);
        std::string about = setting.help + startValue;
        if (setting.required == Setting::Required::Always && startValue.empty())
            about += " (required)";
        else if (setting.required == Setting::Required::ClassicStyle)
            about += " (classic: required)";
        text += HelpEntry(shown, about);
        if (setting.field == Setting::Field(&GallerySettings::description))
            text += HelpEntry("--description-file FILE", "the same, read from a file");
    }
    std::string undone;
    for (std::size_t index = 0; index < undo.size(); ++index)
        undone += (index == 0 ? "" : ", ") + undo[index];
    text += "      (" + undone + " undo them)\n";

    return text + R"(
Other options:
  -j, --jobs N               photos worked on at once       [one per core]
      --rebuild              make every output anew; by default a rerun keeps
                             the thumbnails and copies that would not change
      --fast                 quicker thumbnails decoded at a reduced scale;
                             close to the exact ones, not the same bytes
      --save-template FILE   save the settings used to a template file
  -q, --quiet                no progress display
  -h, --help                 this text
      --version              the program's version

Exit status: 0 done; 1 the gallery (or its navigation page) could not be made;
2 wrong usage, checked before anything is written;
3 made, but some photos lack a thumbnail, copy or page (they are listed).

Example:
  tessary-make --photo-dir ~/photos/trip --output-dir ~/site/trip \
      --nav-header header.htm --nav-footer footer.htm --rows 4 --columns 6
)";
}
