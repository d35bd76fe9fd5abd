#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

typedef struct _GBytes GBytes;

// The web page's built files, read once into memory: what guests are served is fixed at start,
// and a request can only ever name one of them, never a path on the disk.
class PageFiles {
 public:
  struct File {
    std::shared_ptr<GBytes> bytes;
    std::shared_ptr<GBytes> gzipped;  // the same, gzip-encoded, where that is much smaller; else null
    const char* type = "";
    std::string tag;  // its entity tag, quoted: the bytes' hash; the gzipped form's ends in "-gz"
  };

  static constexpr size_t kMostBytes = 64u << 20;
  static constexpr size_t kMostFiles = 1024;

  // The folder's regular files, in its subfolders too; symbolic links are not followed. False,
  // with `why`, when it cannot be read or holds more than the limits.
  bool read(const std::string& folder, std::string& why);

  // The file a request's path (as sent, percent-encoded) names exactly, "/" being index.html;
  // null for anything else.
  const File* find(const std::string& requestPath) const;
  size_t count() const { return files_.size(); }

 private:
  bool readFolder(int folder, const std::string& prefix, int depth, size_t& total, std::string& why);
  std::map<std::string, File> files_;  // "/icons/disco-192.png" -> its bytes
};
