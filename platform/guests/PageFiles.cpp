#include "platform/guests/PageFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {
constexpr int kDeepest = 8;

struct Type {
  const char* name;
  bool compressible;  // text and code; images, music and video are compressed already
};

Type typeOf(const std::string& name) {
  static const std::map<std::string, Type> types = {
      {".html", {"text/html; charset=utf-8", true}}, {".js", {"text/javascript; charset=utf-8", true}},
      {".wasm", {"application/wasm", true}},         {".png", {"image/png", false}},
      {".m4a", {"audio/mp4", false}},                {".mp4", {"video/mp4", false}},
      {".json", {"application/json", true}},         {".webmanifest", {"application/manifest+json", true}},
      {".css", {"text/css; charset=utf-8", true}},   {".svg", {"image/svg+xml", true}},
      {".ico", {"image/x-icon", false}}};
  const size_t dot = name.rfind('.');
  const auto known = dot == std::string::npos ? types.end() : types.find(name.substr(dot));
  return known == types.end() ? Type{"application/octet-stream", false} : known->second;
}

// `plain` gzip-encoded (zlib's default level: level 9 took 30 ms for the page's code, against 9 ms,
// for no smaller result), when that saves at least an eighth of it: a phone on a busy Wi-Fi fetches
// the page's code a third of its size. Null otherwise.
std::shared_ptr<GBytes> gzipped(GBytes* plain) {
  GZlibCompressor* compressor = g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP, -1);
  GOutputStream* memory = g_memory_output_stream_new_resizable();
  GOutputStream* stream = g_converter_output_stream_new(memory, G_CONVERTER(compressor));
  gsize size = 0;
  const void* data = g_bytes_get_data(plain, &size);
  const bool done = g_output_stream_write_all(stream, data, size, nullptr, nullptr, nullptr) &&
                    g_output_stream_close(stream, nullptr, nullptr);  // closes `memory` too
  std::shared_ptr<GBytes> encoded;
  if (done) encoded.reset(g_memory_output_stream_steal_as_bytes(G_MEMORY_OUTPUT_STREAM(memory)), g_bytes_unref);
  g_object_unref(stream);
  g_object_unref(memory);
  g_object_unref(compressor);
  if (encoded && g_bytes_get_size(encoded.get()) <= size - size / 8) return encoded;
  return nullptr;
}

// The whole file, or false; the descriptor is closed either way.
bool slurp(int fd, size_t size, std::vector<char>& into) {
  into.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, into.data() + done, size - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  close(fd);
  return done == size;
}
}  // namespace

bool PageFiles::read(const std::string& folder, std::string& why) {
  files_.clear();
  const int top = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (top < 0) {
    why = folder + ": " + std::strerror(errno);
    return false;
  }
  size_t total = 0;
  if (!readFolder(top, "/", 0, total, why)) return false;
  if (!files_.count("/index.html")) {
    why = folder + " has no index.html";
    return false;
  }
  return true;
}

// Takes `folder` (a descriptor), and opens everything under it relative to it, never by a path
// that a link could turn elsewhere.
bool PageFiles::readFolder(int folder, const std::string& prefix, int depth, size_t& total, std::string& why) {
  DIR* listing = fdopendir(folder);
  if (!listing) {
    close(folder);
    why = prefix + ": " + std::strerror(errno);
    return false;
  }
  bool ok = true;
  while (dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const int fd = openat(dirfd(listing), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;  // a link, or unreadable: not part of the page
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      close(fd);
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      ok = depth < kDeepest ? readFolder(fd, prefix + name + "/", depth + 1, total, why) : (close(fd), true);
    } else if (S_ISREG(info.st_mode)) {
      const size_t size = static_cast<size_t>(info.st_size);
      total += size;
      if (total > kMostBytes || files_.size() >= kMostFiles) {
        close(fd);
        why = "the page's folder holds more than " + std::to_string(kMostFiles) + " files or " +
              std::to_string(kMostBytes >> 20) + " MiB";
        ok = false;
      } else if (std::vector<char> bytes; slurp(fd, size, bytes)) {
        File& file = files_[prefix + name];
        const Type type = typeOf(name);
        file.bytes.reset(g_bytes_new(bytes.data(), bytes.size()), g_bytes_unref);
        file.type = type.name;
        if (type.compressible) file.gzipped = gzipped(file.bytes.get());
        char* hash = g_compute_checksum_for_bytes(G_CHECKSUM_SHA256, file.bytes.get());
        file.tag = "\"" + std::string(hash, 32) + "\"";  // 128 bits tell any two builds apart
        g_free(hash);
      }
    } else {
      close(fd);
    }
    if (!ok) break;
  }
  closedir(listing);
  return ok;
}

const PageFiles::File* PageFiles::find(const std::string& requestPath) const {
  // An encoded slash or NUL is refused by the decoding; anything else must match a name.
  char* decoded = g_uri_unescape_string(requestPath.c_str(), "/");
  if (!decoded) return nullptr;
  std::string path = decoded;
  g_free(decoded);
  if (path == "/") path = "/index.html";
  const auto found = files_.find(path);
  return found == files_.end() ? nullptr : &found->second;
}
