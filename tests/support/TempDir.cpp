// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "support/TempDir.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace plinth_test {
namespace fs = std::filesystem;

std::string MakeTempDir(const std::string& prefix) {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    const fs::path dir =
        base / (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    if (fs::create_directory(dir)) return dir.string();
  }
}

ScopedTempDir::ScopedTempDir(const std::string& prefix) : path_(MakeTempDir(prefix)) {}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScopedTempDir::Sub(const std::string& relative) const {
  return (path_ / relative).string();
}

void WriteFile(const std::string& path, const std::string& content) {
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace plinth_test
