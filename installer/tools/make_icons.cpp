// Build tool: draws the installer's two 32x32, 16-colour icons.
//   make_icons OUTPUT_FOLDER   -> mivra.ico, uninst.ico
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
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
    return 0;
}
