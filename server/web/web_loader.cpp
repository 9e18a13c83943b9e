// Loading the web view's module from the server's own folder (web_module.h).
#include <dlfcn.h>
#include <unistd.h>

#include "server/web/web_module.h"

namespace lumo::server {

std::unique_ptr<WebService> load_web_service(std::string* error) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    *error = "the server's own folder is not known (/proc/self/exe), so its module " +
             std::string(kWebModuleFile) + " is not found";
    return nullptr;
  }
  self[n] = '\0';
  std::string path(self);
  path = path.substr(0, path.rfind('/') + 1) + kWebModuleFile;
  // Loaded once and kept: its thread and its libraries stay until the end.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    *error = "its module cannot be loaded (" + std::string(why ? why : path.c_str()) + ")";
    return nullptr;
  }
  const auto entry = reinterpret_cast<WebModuleEntry>(dlsym(module, kWebModuleEntry));
  WebService* service = entry ? entry(kWebModuleVersion) : nullptr;
  if (!service) {
    *error = "its module " + path + " is from another build of lumoview";
    return nullptr;
  }
  return std::unique_ptr<WebService>(service);
}

}  // namespace lumo::server
