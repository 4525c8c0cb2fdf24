#include "TemplateFile.h"

#include "EngineErrors.h"
#include "FileIo.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string_view>
#include <type_traits>
#include <variant>

namespace vantrel {

namespace {

constexpr const char* kRoot = "OrboTemplate";
// A template holds paths, numbers and a description: far less than this.

const GallerySettings& Defaults() {
    static const GallerySettings defaults;
    return defaults;
}

// Whitespace-only text is kept, so that a value of blanks survives a round trip, and
// line breaks stay as written; indentation between elements is simply never read.
constexpr unsigned kParseOptions = (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A decimal number: optional sign, digits, optional fraction. `integer` gets the
// value rounded half to even; `zero` tells whether it is zero before rounding.
struct Decimal {
    bool negative = false;
    std::int64_t integer = 0; // magnitude, saturated at a value beyond any 16-bit one
    bool zero = true;
};

bool ParseDecimal(std::string_view text, Decimal& number) {
    text = Trimmed(text);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return false;
    for (const std::string_view digits : {whole, fraction}) {
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return false;
        }
    }
    constexpr std::int64_t kSaturated = 1'000'000;
    for (const char c : whole) {
        number.integer = std::min(number.integer * 10 + (c - '0'), kSaturated);
        number.zero = number.zero && c == '0';
    }
    const std::size_t nonZero = fraction.find_first_not_of('0');
    number.zero = number.zero && nonZero == std::string_view::npos;
    if (!fraction.empty()) {
        const char first = fraction.front();
        const bool moreAfterHalf = fraction.find_first_not_of('0', 1) != std::string_view::npos;
        const bool up = first > '5' || (first == '5' && (moreAfterHalf || number.integer % 2 == 1));
        if (up)
            ++number.integer;
    }
    return true;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

bool ParseTemplateBoolean(const std::string& text, bool& value) {
    std::string lower(Trimmed(text));
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == "true" || lower == "false") {
        value = lower == "true";
        return true;
    }
    Decimal number;
    if (!ParseDecimal(text, number))
        return false;
    value = !number.zero;
    return true;
}

bool ParseTemplateInteger(const std::string& text, std::int16_t& value) {
    Decimal number;
    if (!ParseDecimal(text, number))
        return false;
    const std::int64_t result = number.negative ? -number.integer : number.integer;
    if (result < -32768 || result > 32767)
        return false;
    value = static_cast<std::int16_t>(result);
    return true;
}

// A page style by its name, in any letter case.
std::optional<PageStyle> StyleNamed(std::string_view text) {
    std::string lower(Trimmed(text));
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (std::size_t style = 0; style < std::size(kPageStyleNames); ++style) {
        if (lower == kPageStyleNames[style])
            return static_cast<PageStyle>(style);
    }
    return std::nullopt;
}

// The template element of a setting's field.
const char* ElementOf(const Setting::Field& field) {
    for (const Setting& setting : kSettings) {
        if (setting.field == field)
            return setting.element;
    }
    return "";
}

// Applies the elements of a parsed template one after the other.
class TemplateReader {
public:
    // SaveTemplate writes no text between the elements; indentation there marks a
    // template written by hand, where blanks alone are layout rather than a value.
    TemplateReader(const pugi::xml_node& root, GallerySettings& settings)
        : root_(root), settings_(settings),
          handWritten_(std::any_of(root.begin(), root.end(), IsCharacterData)),
          modern_(StyleNamed(root.child(ElementOf(&GallerySettings::pageStyle)).child_value()) ==
                  PageStyle::Modern) {}

    void ReadAll() {
        for (const Setting& setting : kSettings) {
            std::visit([&](auto field) { Read(setting, settings_.*field, Defaults().*field); },
                       setting.field);
        }
    }

private:
    [[noreturn]] static void Fail(const std::string& cause) { throw TemplateLoadError("", cause); }

    pugi::xml_node Element(const char* name) const {
        pugi::xml_node element = root_.child(name);
        if (!element)
            Fail("The element " + std::string(name) + " is missing.");
        return element;
    }

    static bool IsCharacterData(const pugi::xml_node& node) {
        return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
    }

    bool HasContent(const pugi::xml_node& element) const {
        if (!element.first_child())
            return false;
        if (!handWritten_)
            return true;
        return std::any_of(element.begin(), element.end(), [](const pugi::xml_node& child) {
            return !IsCharacterData(child) || !Trimmed(child.value()).empty();
        });
    }

    // The value of the element's first child, which must be character data.
    static std::string FirstValue(const pugi::xml_node& element) {
        const pugi::xml_node first = element.first_child();
        if (!IsCharacterData(first))
            Fail("The element " + std::string(element.name()) + " holds no text.");
        return first.value();
    }

    template <class T>
    void Read(const Setting& setting, T& property, const T& byDefault) const {
        const char* name = setting.element;
        switch (setting.stored) {
        case Setting::Stored::Always:
            // A modern gallery may go without the fragments only classic pages need, so
            // its template may hold them empty or leave them out.
            if constexpr (std::is_same_v<T, std::string>) {
                if (setting.required == Setting::Required::ClassicStyle && modern_ &&
                    (!root_.child(name) || !HasContent(root_.child(name)))) {
                    property.clear();
                    return;
                }
            }
            property = Value<T>(name);
            return;
        case Setting::Stored::NotDefault:
            property = root_.child(name) ? Value<T>(name) : byDefault;
            return;
        case Setting::Stored::IfSet:
        case Setting::Stored::Markup:
            if constexpr (std::is_same_v<T, std::string>) {
                if (setting.stored == Setting::Stored::Markup)
                    OptionalDescription(name, property);
                else
                    OptionalText(name, property);
            }
            return;
        }
    }

    template <class T>
    T Value(const char* name) const {
        if constexpr (std::is_same_v<T, bool>)
            return Boolean(name);
        else if constexpr (std::is_same_v<T, std::int16_t>)
            return Integer(name);
        else if constexpr (std::is_same_v<T, PageStyle>)
            return Style(name);
        else
            return Text(name);
    }

    std::string Text(const char* name) const {
        const pugi::xml_node element = Element(name);
        if (!HasContent(element))
            Fail("The element " + std::string(name) + " is empty.");
        return FirstValue(element);
    }

    bool Boolean(const char* name) const {
        const std::string text = Text(name);
        bool value = false;
        if (!ParseTemplateBoolean(text, value))
            Fail("The element " + std::string(name) + " holds " + Quoted(text) +
                 ", which is neither True, False nor a number.");
        return value;
    }

    std::int16_t Integer(const char* name) const {
        const std::string text = Text(name);
        std::int16_t value = 0;
        if (!ParseTemplateInteger(text, value))
            Fail("The element " + std::string(name) + " holds " + Quoted(text) +
                 ", which is not a number from -32768 to 32767.");
        return value;
    }

    PageStyle Style(const char* name) const {
        const std::string text = Text(name);
        if (const std::optional<PageStyle> style = StyleNamed(text))
            return *style;
        Fail("The element " + std::string(name) + " holds " + Quoted(text) +
             ", which is neither classic nor modern.");
    }

    void OptionalText(const char* name, std::string& property) const {
        const pugi::xml_node element = Element(name);
        if (HasContent(element))
            property = FirstValue(element);
    }

    // Text that SaveTemplate wrote comes back exactly, blanks included; a hand-made
    // template's markup (any element inside) is kept as markup, as the XML writer
    // serializes it, with the text between its elements.
    void OptionalDescription(const char* name, std::string& property) const {
        const pugi::xml_node element = Element(name);
        if (!HasContent(element))
            return;
        bool markup = false;
        for (const pugi::xml_node& child : element.children())
            markup = markup || !IsCharacterData(child);
        std::ostringstream out;
        for (const pugi::xml_node& child : element.children()) {
            if (markup)
                child.print(out, "", pugi::format_raw);
            else
                out << child.value();
        }
        property = out.str();
    }

    pugi::xml_node root_;
    GallerySettings& settings_;
    bool handWritten_;
    bool modern_; // the template is of a modern gallery
};

std::string TemplateText(const std::string& value) {
    return value;
}
std::string TemplateText(std::int16_t value) {
    return std::to_string(value);
}
std::string TemplateText(bool value) {
    return value ? "True" : "False";
}
std::string TemplateText(PageStyle value) {
    return kPageStyleNames[static_cast<std::size_t>(value)];
}

} // namespace

void LoadTemplateFile(const std::string& path, GallerySettings& settings) {
    std::string bytes;
    std::error_code readError;
    if (!ReadWholeFile(path, bytes, readError, kMaxTemplateBytes)) {
        // Described as the parser describes a file it cannot open or read.
        pugi::xml_parse_result failure;
        std::string cause = "The file cannot be read.";
        if (readError == MakeErrorCode(FileError::TooLarge)) {
            failure.status = pugi::status_io_error;
            cause = "The file is larger than " + std::to_string(kMaxTemplateBytes >> 20) +
                    " MiB, more than any template holds.";
        } else if (readError == MakeErrorCode(FileError::NotRegular)) {
            failure.status = pugi::status_io_error;
            cause = "The file cannot be read: it is not a regular file.";
        } else if (readError == std::errc::io_error) {
            failure.status = pugi::status_io_error;
        } else {
            failure.status = pugi::status_file_not_found;
            cause = "The file does not exist or cannot be opened.";
        }
        throw TemplateLoadError(std::string(failure.description()) + " at offset 0", cause);
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(bytes.data(), bytes.size(), kParseOptions);
    if (!parsed) {
        std::string cause;
        switch (parsed.status) {
        case pugi::status_io_error:
        case pugi::status_out_of_memory:
            cause = "The file cannot be read.";
            break;
        default:
            cause = "The file is not well-formed XML.";
        }
        throw TemplateLoadError(std::string(parsed.description()) + " at offset " +
                                    std::to_string(parsed.offset),
                                cause);
    }
    const pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != kRoot)
        throw TemplateLoadError("", "The root element is " + Quoted(root.name()) + ", not " +
                                        Quoted(kRoot) + ".");
    TemplateReader(root, settings).ReadAll();
}

void SaveTemplateFile(const std::string& path, const GallerySettings& settings) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child(kRoot);
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](auto field) {
                const auto& value = settings.*field;
                if (setting.stored == Setting::Stored::NotDefault && value == Defaults().*field)
                    return;
                pugi::xml_node element = root.append_child(setting.element);
                const std::string text = TemplateText(value);
                // An empty text node still makes the element's paired tags.
                const bool always = setting.stored == Setting::Stored::Always ||
                                    setting.stored == Setting::Stored::NotDefault;
                if (always || !text.empty())
                    element.append_child(pugi::node_pcdata).set_value(text.c_str());
            },
            setting.field);
    }

    std::ostringstream bytes;
    document.save(bytes, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    std::error_code error;
    if (path.empty())
        throw TemplateSaveError("No file name was given.");
    if (!WriteWholeFile(path, bytes.str(), error, true))
        throw TemplateSaveError("The file cannot be written: " + error.message() + ".");
}

} // namespace vantrel
