#include "TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <jpeglib.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessary-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may have made files read-only; make everything removable first.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string SamplePhoto(const std::string& name) {
    return std::string(TESSARY_SOURCE_DIR) + "/samples/photos/" + name;
}

namespace {

[[noreturn]] void ThrowOnError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, message);
    throw std::runtime_error(std::string("libjpeg: ") + message);
}

void Quiet(j_common_ptr, int) {}

} // namespace

std::string WithFrameSize(std::string jpeg, int width, int height) {
    std::size_t sof = jpeg.find("\xFF\xC0");
    if (sof == std::string::npos)
        sof = jpeg.find("\xFF\xC2");
    const char size[4] = {static_cast<char>(height >> 8), static_cast<char>(height & 0xFF),
                          static_cast<char>(width >> 8), static_cast<char>(width & 0xFF)};
    jpeg.replace(sof + 5, 4, size, 4);
    return jpeg;
}

std::string WithPadding(const std::string& jpeg, std::size_t bytes) {
    std::string comments;
    while (jpeg.size() + comments.size() < bytes) {
        const std::size_t data =
            std::clamp<std::size_t>(bytes - jpeg.size() - comments.size(), 4, 0xFFFF) - 4;
        comments += "\xFF\xFE";
        comments += static_cast<char>((data + 2) >> 8);
        comments += static_cast<char>((data + 2) & 0xFF);
        comments += std::string(data, 'x');
    }
    return jpeg.substr(0, 2) + comments + jpeg.substr(2);
}

std::string WithRepeatedScan(const std::string& jpeg, int times) {
    const std::size_t sos = jpeg.find("\xFF\xDA");
    std::size_t end = sos + 2;
    while (!(jpeg[end] == '\xFF' && jpeg[end + 1] != 0 && (jpeg[end + 1] & 0xF8) != 0xD0))
        ++end;
    std::string result = jpeg.substr(0, end);
    for (int i = 0; i < times; ++i)
        result += jpeg.substr(sos, end - sos);
    return result + jpeg.substr(end);
}

std::string MakeJpeg(const JpegSpec& spec) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowOnError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const struct Cleanup {
        jpeg_compress_struct* cinfo;
        unsigned char** buffer;
        ~Cleanup() { jpeg_destroy_compress(cinfo), std::free(*buffer); }
    } cleanup{&cinfo, &buffer};
    jpeg_mem_dest(&cinfo, &buffer, &size);
    const int components = spec.kind == JpegKind::Colour ? 3 : spec.kind == JpegKind::Grey ? 1 : 4;
    cinfo.image_width = static_cast<JDIMENSION>(spec.width);
    cinfo.image_height = static_cast<JDIMENSION>(spec.height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : components == 1 ? JCS_GRAYSCALE : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    if (spec.kind == JpegKind::Ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, spec.quality, TRUE);
    if (spec.floatDct)
        cinfo.dct_method = JDCT_FLOAT;
    if (spec.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(spec.width * components));
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            std::uint8_t* p = row.data() + x * components;
            if (spec.pixel) {
                spec.pixel(x, y, p);
            } else {
                for (int c = 0; c < components; ++c)
                    p[c] = static_cast<std::uint8_t>((x * 31 + y * 17 + c * 70) & 0xFF);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    return std::string(reinterpret_cast<char*>(buffer), size);
}

std::string WithExifOrientation(const std::string& jpeg, int orientation, bool bigEndian) {
    // Fields of 2 or 4 bytes in the file's byte order.
    const auto field = [bigEndian](std::uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += static_cast<char>(v >> 8 * (bigEndian ? bytes - 1 - i : i));
        return s;
    };
    // Header, first IFD right after it with one SHORT entry, no next IFD.
    const std::string tiff = (bigEndian ? "MM" : "II") + field(42, 2) + field(8, 4) + field(1, 2) +
                             field(0x0112, 2) + field(3, 2) + field(1, 4) +
                             field(static_cast<std::uint32_t>(orientation), 2) + field(0, 2) +
                             field(0, 4);
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const std::size_t length = payload.size() + 2;
    return jpeg.substr(0, 2) + "\xFF\xE1" + static_cast<char>(length >> 8) +
           static_cast<char>(length & 0xFF) + payload + jpeg.substr(2);
}

DecodedJpeg DecodeJpegReference(const std::string& bytes) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowOnError;
    jerr.emit_message = Quiet;
    jpeg_create_decompress(&cinfo);
    const struct Cleanup {
        jpeg_decompress_struct* cinfo;
        ~Cleanup() { jpeg_destroy_decompress(cinfo); }
    } cleanup{&cinfo};
    DecodedJpeg result;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&cinfo);
    result.width = static_cast<int>(cinfo.output_width);
    result.height = static_cast<int>(cinfo.output_height);
    result.components = cinfo.output_components;
    const std::size_t stride = static_cast<std::size_t>(result.width * result.components);
    result.pixels.resize(stride * static_cast<std::size_t>(result.height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {result.pixels.data() + stride * cinfo.output_scanline};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return result;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    TempDir scratch;
    const std::string outPath = scratch / "out", errPath = scratch / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, path] : {std::pair{1, &outPath}, std::pair{2, &errPath}})
        posix_spawn_file_actions_addopen(&actions, fd, path->c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

int RunInChild(const std::function<int()>& body, std::int64_t fileSizeLimit) {
    std::fflush(nullptr); // the child must not write the parent's buffered output again
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0) {
        int status = 125;
        if (fileSizeLimit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                               static_cast<rlim_t>(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(126);
        }
        try {
            status = body();
        } catch (...) {
            status = 124;
        }
        _exit(status);
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

} // namespace testsupport
