#include "core/FileIdentity.h"

#include <sys/stat.h>

namespace ostrel {

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileIdentity id;
  id.device = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
  id.number = id.device ? st.st_rdev : st.st_ino;
  id.filesystem = st.st_dev;
  return id;
}

}  // namespace ostrel
