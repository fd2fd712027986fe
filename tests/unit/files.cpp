#include "files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("kelm-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            root_ = p.string();
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temp folder";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

std::string TempDir::path(const std::string &name) const { return (fs::path(root_) / name).string(); }

Bytes synthetic_exe(const ExeProfile &row, uint8_t fps) {
    Bytes bytes(row.file_size);
    uint32_t x = (uint32_t)row.file_size;
    for (auto &b : bytes) {
        x = x * 1103515245u + 12345u;
        b = (uint8_t)((x >> 16) | 1);   // odd, so never a stray zero after a probe text
    }
    memcpy(&bytes[row.probe_offset], row.probe_text, strlen(row.probe_text) + 1);
    bytes[row.fps_offset] = fps;
    return bytes;
}

void write_file(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    ASSERT_TRUE(out.good()) << path;
}

Bytes read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<size_t> differing_offsets(const Bytes &a, const Bytes &b) {
    std::vector<size_t> out;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) out.push_back(i);
    return out;
}
