// Build tool: draws Mivra's icon, a blue tile with a white "M", and the
// uninstaller's (the same with a red cross), anti-aliased at every size the
// platforms ask for, from the one drawing below.
//   make_icons OUTPUT_FOLDER  -> mivra.ico, uninst.ico (every size), mivra-N.png, uninst-N.png
//   make_icons --source FILE  -> a C++ source with the PNG images of mivra.ico, for the Qt window
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Windows shows 16 to 256 (20, 40 and 96 at its larger text scales);
// freedesktop icon themes take 22 as well.
constexpr std::array<int, 11> sizes = {16, 20, 22, 24, 32, 40, 48, 64, 96, 128, 256};

struct Colour {
    double r, g, b, a;
};

// A stroke from (x0, y0) to (x1, y1) with round ends, in units of the icon's side.
struct Stroke {
    double x0, y0, x1, y1, halfWidth;
};

bool onStroke(const Stroke& s, double x, double y) {
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const double along = std::clamp(((x - s.x0) * dx + (y - s.y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double px = s.x0 + along * dx - x, py = s.y0 + along * dy - y;
    return px * px + py * py <= s.halfWidth * s.halfWidth;
}

constexpr Stroke letterM[] = {
    {0.28, 0.76, 0.28, 0.26, 0.075}, {0.28, 0.26, 0.50, 0.56, 0.075},
    {0.50, 0.56, 0.72, 0.26, 0.075}, {0.72, 0.26, 0.72, 0.76, 0.075},
};
constexpr Stroke cross[] = {{0.60, 0.60, 0.90, 0.90, 0.07}, {0.90, 0.60, 0.60, 0.90, 0.07}};

bool onTile(double x, double y) {
    constexpr double margin = 0.03, radius = 0.18;
    const double cx = std::clamp(x, margin + radius, 1 - margin - radius);
    const double cy = std::clamp(y, margin + radius, 1 - margin - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// The colour at a point of the unit square, y from the top.
Colour colourAt(double x, double y, bool uninstall) {
    if (uninstall)
        for (const Stroke& s : cross)
            if (onStroke(s, x, y)) return {0.86, 0.10, 0.10, 1};
    if (!onTile(x, y)) return {0, 0, 0, 0};
    for (const Stroke& s : letterM)
        if (onStroke(s, x, y)) return uninstall ? Colour{0.75, 0.78, 0.82, 1} : Colour{1, 1, 1, 1};
    // Lighter at the top, as light falls on the tile.
    return {0.16 - 0.10 * y, 0.52 - 0.24 * y, 0.90 - 0.28 * y, 1};
}

// Straight (not premultiplied) RGBA rows, top row first; each pixel the mean
// of 8 x 8 samples, so every size is drawn, not scaled.
std::vector<std::uint8_t> render(int size, bool uninstall) {
    constexpr int samples = 8;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = colourAt((px + (sx + 0.5) / samples) / size,
                                              (py + (sy + 0.5) / samples) / size, uninstall);
                    r += c.r * c.a, g += c.g * c.a, b += c.b * c.a, a += c.a;
                }
            const auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
            if (a == 0) {
                pixels.insert(pixels.end(), {0, 0, 0, 0});
                continue;
            }
            pixels.insert(pixels.end(), {byte(r / a), byte(g / a), byte(b / a), byte(a / (samples * samples))});
        }
    return pixels;
}

void putLittle(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back((v >> (8 * i)) & 0xFF);
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

// An RGBA PNG. The image data goes into stored (uncompressed) deflate
// blocks, which needs no zlib.
std::vector<std::uint8_t> png(int size, const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        const auto row = pixels.begin() + static_cast<long>(y) * size * 4;
        raw.insert(raw.end(), row, row + size * 4);
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size();) {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        zlib.push_back(at + length == raw.size() ? 1 : 0);
        putLittle(zlib, static_cast<std::uint32_t>(length), 2);
        putLittle(zlib, static_cast<std::uint32_t>(~length & 0xFFFF), 2);
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

// One icon image as Windows keeps it below 256 pixels: a 32-bit bitmap,
// rows from the bottom, with an all-clear mask (the alpha decides).
std::vector<std::uint8_t> iconBitmap(int size, const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> out;
    putLittle(out, 40, 4);
    putLittle(out, static_cast<std::uint32_t>(size), 4);
    putLittle(out, static_cast<std::uint32_t>(size * 2), 4);
    putLittle(out, 1, 2);
    putLittle(out, 32, 2);
    putLittle(out, 0, 4);
    const std::uint32_t maskRow = static_cast<std::uint32_t>((size + 31) / 32 * 4);
    putLittle(out, static_cast<std::uint32_t>(size * size * 4) + maskRow * size, 4);
    for (int i = 0; i < 4; ++i) putLittle(out, 0, 4);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &pixels[(static_cast<size_t>(y) * size + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    out.insert(out.end(), static_cast<size_t>(maskRow) * size, 0);
    return out;
}

// Every size in one icon file; 256 pixels as PNG, as Windows keeps that size.
std::vector<std::uint8_t> icon(bool uninstall) {
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        const auto pixels = render(size, uninstall);
        images.push_back(size == 256 ? png(size, pixels) : iconBitmap(size, pixels));
    }
    std::vector<std::uint8_t> out;
    putLittle(out, 0, 2);
    putLittle(out, 1, 2);
    putLittle(out, static_cast<std::uint32_t>(sizes.size()), 2);
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const auto side = static_cast<std::uint8_t>(sizes[i] == 256 ? 0 : sizes[i]);
        out.insert(out.end(), {side, side, 0, 0});
        putLittle(out, 1, 2);
        putLittle(out, 32, 2);
        putLittle(out, static_cast<std::uint32_t>(images[i].size()), 4);
        putLittle(out, offset, 4);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

// The program icon's PNG images as arrays the Qt window builds its icon from.
std::string iconSource() {
    std::string text = "// Generated by make_icons: the program icon at every size, as PNG images.\n"
                       "#include \"ProgramIconImages.h\"\n\nnamespace mivra {\n\nnamespace {\n";
    std::string table;
    for (int size : sizes) {
        const auto bytes = png(size, render(size, false));
        text += "const unsigned char png" + std::to_string(size) + "[] = {";
        for (size_t i = 0; i < bytes.size(); ++i) text += (i % 24 ? "" : "\n") + std::to_string(bytes[i]) + ",";
        text += "\n};\n";
        table += "    {" + std::to_string(size) + ", png" + std::to_string(size) + ", sizeof png" +
                 std::to_string(size) + "},\n";
    }
    text += "}  // namespace\n\nconst std::vector<ProgramIconImage>& programIconImages() {\n"
            "    static const std::vector<ProgramIconImage> images = {\n" +
            table + "    };\n    return images;\n}\n\n}  // namespace mivra\n";
    return text;
}

bool write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}
bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    return write(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--source") {
        if (write(argv[2], iconSource())) return 0;
        std::cerr << "make_icons: cannot write " << argv[2] << "\n";
        return 1;
    }
    if (argc != 2) {
        std::cerr << "usage: make_icons OUTPUT_FOLDER | make_icons --source FILE\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    bool written = write(folder / "mivra.ico", icon(false)) && write(folder / "uninst.ico", icon(true));
    for (int size : sizes)
        for (bool uninstall : {false, true})
            written = written && write(folder / ((uninstall ? "uninst-" : "mivra-") + std::to_string(size) + ".png"),
                                       png(size, render(size, uninstall)));
    if (!written) {
        std::cerr << "make_icons: cannot write into " << folder << "\n";
        return 1;
    }
    return 0;
}
