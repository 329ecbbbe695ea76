// Build tool: draws the installer's two 32x32, 16-colour icons, and the
// builder's icon as PNG files for desktop icon themes (32, 64 and 128 pixels,
// the 32x32 drawing scaled up).
//   make_icons OUTPUT_FOLDER   -> mivra.ico, uninst.ico, mivra-N.png, uninst-N.png (N = 32, 64, 128)
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The standard 16-colour palette, as blue, green, red, reserved.
constexpr std::array<std::array<std::uint8_t, 4>, 16> palette = {{
    {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
    {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0},
    {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},     {0, 255, 255, 0},
    {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0},
}};
constexpr int white = 15, blue = 4, lightBlue = 12, red = 9, grey = 8;

// colourAt(x, y) with y counted from the top; -1 is transparent.
using Painter = std::function<int(int x, int y)>;

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<std::uint8_t> icon(const Painter& paint) {
    std::vector<std::uint8_t> out;
    put16(out, 0);
    put16(out, 1);
    put16(out, 1);
    out.insert(out.end(), {32, 32, 16, 0});
    put16(out, 1);
    put16(out, 4);
    put32(out, 40 + 64 + 512 + 128);
    put32(out, 22);
    put32(out, 40);
    put32(out, 32);
    put32(out, 64);
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);
    put32(out, 512 + 128);
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (const auto& colour : palette) out.insert(out.end(), colour.begin(), colour.end());
    std::vector<std::uint8_t> mask;
    for (int row = 31; row >= 0; --row) {
        std::uint32_t bits = 0;
        for (int x = 0; x < 32; x += 2) {
            const int left = paint(x, row), right = paint(x + 1, row);
            out.push_back(static_cast<std::uint8_t>(((left < 0 ? 0 : left) << 4) | (right < 0 ? 0 : right)));
        }
        for (int x = 0; x < 32; ++x)
            if (paint(x, row) < 0) bits |= 1u << (31 - x);
        for (int shift = 24; shift >= 0; shift -= 8) mask.push_back((bits >> shift) & 0xFF);
    }
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

// A rounded blue tile with a white "M".
int mivraTile(int x, int y) {
    const int dx = x < 3 ? 3 - x : x > 28 ? x - 28 : 0;
    const int dy = y < 3 ? 3 - y : y > 28 ? y - 28 : 0;
    if (dx * dx + dy * dy > 9) return -1;
    const bool stem = (x >= 7 && x <= 9) || (x >= 22 && x <= 24);
    const bool diagonal = (x >= 9 && x <= 16 && std::abs((y - 8) - (x - 9)) <= 1) ||
                          (x >= 15 && x <= 22 && std::abs((y - 8) - (22 - x)) <= 1);
    if (y >= 7 && y <= 24 && (stem || (y <= 16 && diagonal))) return white;
    return y < 16 ? lightBlue : blue;
}

int uninstallTile(int x, int y) {
    const int base = mivraTile(x, y);
    if (base < 0) return base;
    const bool cross = x >= 14 && y >= 14 && x <= 30 && y <= 30 && (std::abs(x - y) <= 1 || std::abs(x + y - 44) <= 1);
    if (cross) return red;
    return base == white ? grey : base;
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xFF);
}

std::uint32_t crc32(const std::uint8_t* data, size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putChunk(std::vector<std::uint8_t>& out, const char type[5], const std::vector<std::uint8_t>& data) {
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc32(out.data() + start, out.size() - start));
}

// An RGBA PNG of the painting scaled by a whole factor. The image data goes
// into stored (uncompressed) deflate blocks, which needs no zlib.
std::vector<std::uint8_t> png(const Painter& paint, int scale) {
    const int size = 32 * scale;
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        for (int x = 0; x < size; ++x) {
            const int colour = paint(x / scale, y / scale);
            const auto& bgr = palette[colour < 0 ? 0 : colour];
            raw.insert(raw.end(), {bgr[2], bgr[1], bgr[0], static_cast<std::uint8_t>(colour < 0 ? 0 : 255)});
        }
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size();) {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        zlib.push_back(at + length == raw.size() ? 1 : 0);
        put16(zlib, static_cast<unsigned>(length));
        put16(zlib, static_cast<unsigned>(~length & 0xFFFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + length));
        at += length;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBig32(header, static_cast<std::uint32_t>(size));
    putBig32(header, static_cast<std::uint32_t>(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", zlib);
    putChunk(out, "IEND", {});
    return out;
}

bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_icons OUTPUT_FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!write(folder / "mivra.ico", icon(mivraTile)) || !write(folder / "uninst.ico", icon(uninstallTile))) {
        std::cerr << "make_icons: cannot write into " << folder << "\n";
        return 1;
    }
    for (int scale : {1, 2, 4})
        for (const auto& [stem, tile] : std::initializer_list<std::pair<const char*, Painter>>{{"mivra-", mivraTile}, {"uninst-", uninstallTile}})
            if (!write(folder / (stem + std::to_string(32 * scale) + ".png"), png(tile, scale))) {
                std::cerr << "make_icons: cannot write into " << folder << "\n";
                return 1;
            }
    return 0;
}
