#include "platform/ResourceFolder.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string programFolder() {
  std::error_code error;
  const fs::path binary = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::current_path(error) : binary.parent_path()).string();
}

std::string resourceFolder() {
  static const std::string folder = [] {
    std::error_code error;
    const fs::path binaryDir = programFolder();
    const fs::path beside = binaryDir / "resources";
    if (fs::is_directory(beside, error)) return beside.string();
    return (binaryDir / ".." / "share" / "disco").lexically_normal().string();
  }();
  return folder;
}
