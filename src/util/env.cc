#include "util/env.h"

namespace statics_clean {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == ".") return name;
  if (folder.back() == '/' || folder.back() == '\\') return folder + name;
  return folder + "/" + name;
}

}  // namespace statics_clean
