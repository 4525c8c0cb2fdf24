// Writes three hostile JPEG files into a folder, for measuring what decoding
// them costs (for example `/usr/bin/time -v skimlet-thumb FILE 120 0`):
//   progressive-23000.jpg  a few hundred bytes declaring 23000 x 23000, progressive
//   baseline-23000.jpg     the same, baseline
//   scans-20000.jpg        a 2048 x 2048 progressive picture whose first scan
//                          header comes 20000 times more, without data
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::string Compress(int width, int height, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3, 128);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string result(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return result;
}

std::string WithFrameSize(std::string jpeg, int width, int height) {
    std::size_t sof = jpeg.find("\xFF\xC0");
    if (sof == std::string::npos)
        sof = jpeg.find("\xFF\xC2");
    const char size[4] = {static_cast<char>(height >> 8), static_cast<char>(height & 0xFF),
                          static_cast<char>(width >> 8), static_cast<char>(width & 0xFF)};
    return jpeg.replace(sof + 5, 4, size, 4);
}

std::string WithRepeatedScanHeader(const std::string& jpeg, int times) {
    const std::size_t sos = jpeg.find("\xFF\xDA");
    const std::size_t length =
        static_cast<unsigned char>(jpeg[sos + 2]) << 8 | static_cast<unsigned char>(jpeg[sos + 3]);
    const std::string header = jpeg.substr(sos, 2 + length);
    std::string result = jpeg.substr(0, sos);
    for (int i = 0; i < times; ++i)
        result += header;
    return result + jpeg.substr(sos);
}

void Write(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    std::cout << folder << "/" << name << ": " << bytes.size() << " bytes\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: jpeg-bombs FOLDER\n";
        return 2;
    }
    Write(argv[1], "progressive-23000.jpg", WithFrameSize(Compress(8, 8, true), 23000, 23000));
    Write(argv[1], "baseline-23000.jpg", WithFrameSize(Compress(8, 8, false), 23000, 23000));
    Write(argv[1], "scans-20000.jpg", WithRepeatedScanHeader(Compress(2048, 2048, true), 20000));
    return 0;
}
