#include "platform/ResourceFolder.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string programFolder() {
  std::error_code error;
  const fs::path binary = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::current_path(error) : binary.parent_path()).string();
}

namespace {

// `name` beside the binary where it is there, else the installed folder `installed` from it.
std::string besideOrInstalled(const char* name, const fs::path& installed) {
  std::error_code error;
  const fs::path binaryDir = programFolder();
  const fs::path beside = binaryDir / name;
  if (fs::is_directory(beside, error)) return beside.string();
  return (binaryDir / ".." / installed).lexically_normal().string();
}

}  // namespace

std::string resourceFolder() {
  static const std::string folder = besideOrInstalled("resources", fs::path("share") / "disco");
  return folder;
}

std::string pageFolder() { return besideOrInstalled("web", fs::path("share") / "disco" / "web"); }
