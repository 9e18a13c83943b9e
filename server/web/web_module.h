// The web view as lumoview reaches it: a module of its own (lumoview-web.so,
// beside the lumoview program) loaded only when the web view is asked for,
// so that a server without it does not load libwebsockets, TLS and the
// libraries only the web view needs at every start.
//
// The module's one entry, kWebModuleEntry, makes a WebService for the
// interface version it is asked for (nullptr for any other, so that a module
// left from another build is refused instead of called wrongly).  The
// module uses the server's own code (Server, Window, the canvases) from the
// program that loaded it: lumoview exports the lumo:: names for it.
#ifndef LUMO_SERVER_WEB_WEB_MODULE_H
#define LUMO_SERVER_WEB_WEB_MODULE_H

#include <memory>
#include <string>

#include "server/web/web_view.h"

namespace lumo::server {

// What the loop asks of the web view (web_view.h says what each does).
class WebService {
 public:
  virtual ~WebService() = default;
  virtual bool start(const WebSettings& settings, std::string* error) = 0;
  virtual std::string url() const = 0;
  virtual const std::string& notice() const = 0;
  virtual int wake_fd() const = 0;
  virtual int viewers() const = 0;
  virtual bool behind() const = 0;
  virtual long long ms_since_last_viewer() const = 0;
  virtual void serve(Server& server) = 0;
  virtual void stop() = 0;
};

// Raised whenever WebService or what crosses it (WebSettings, Server)
// changes its layout.
constexpr int kWebModuleVersion = 1;
constexpr const char kWebModuleFile[] = "lumoview-web.so";
constexpr const char kWebModuleEntry[] = "lumo_web_service_new";
using WebModuleEntry = WebService* (*)(int version);

// Loads the module from the folder of the running program; nullptr with the
// reason when it cannot (no such file, a library it needs missing, another
// build's module).
std::unique_ptr<WebService> load_web_service(std::string* error);

}  // namespace lumo::server

#endif
