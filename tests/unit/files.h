// Test files: a private temp folder and synthetic game executables in it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "patch/catalogue.h"

using Bytes = std::vector<uint8_t>;

class TempDir {
  public:
    TempDir();
    ~TempDir();
    std::string path(const std::string &name) const;
    const std::string &root() const { return root_; }

  private:
    std::string root_;
};

// A file of `row`'s size: a deterministic non-zero pattern, the probe text and
// its zero byte at the probe offset, `fps` at the frame-rate offset.
Bytes synthetic_exe(const ExeProfile &row, uint8_t fps);

void write_file(const std::string &path, const Bytes &bytes);
Bytes read_file(const std::string &path);

// Positions at which two equally long byte strings differ.
std::vector<size_t> differing_offsets(const Bytes &a, const Bytes &b);
