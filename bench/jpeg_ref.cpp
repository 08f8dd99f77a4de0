// Reference decoders for the thumbnail benchmark, with no Qt in the way:
//   lumora-jpegref jpeg DIR [threads]  libjpeg-turbo decode at 1/8 scale
//   lumora-jpegref png DIR [threads]   plain libpng decode at full size
// Files are split between the threads; each file is read into memory and
// decoded. Prints ms_per_image=<n>.

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::vector<unsigned char> readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool decodeJpegEighth(const std::vector<unsigned char> &data)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * cinfo.output_components;
    std::vector<unsigned char> pixels(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool decodePng(const std::vector<unsigned char> &data)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: lumora-jpegref jpeg|png DIR [threads]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const bool jpeg = mode == "jpeg";
    const int threads = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    std::vector<fs::path> files;
    for (const auto &e : fs::directory_iterator(argv[2])) {
        std::string ext = e.path().extension().string();
        for (char &c : ext)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (e.is_regular_file() && (jpeg ? (ext == ".jpg" || ext == ".jpeg") : ext == ".png"))
            files.push_back(e.path());
    }
    std::atomic<size_t> next{0};
    std::atomic<int> failed{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (size_t i; (i = next++) < files.size();) {
                const auto data = readFile(files[i]);
                if (!(jpeg ? decodeJpegEighth(data) : decodePng(data)))
                    ++failed;
            }
        });
    }
    for (auto &t : pool)
        t.join();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("files=%zu failed=%d threads=%d\n", files.size(), failed.load(), threads);
    std::printf("ms_per_image=%.2f\n", files.empty() ? 0.0 : ms / double(files.size()));
    return failed ? 1 : 0;
}
