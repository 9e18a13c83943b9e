// The web view module's entry (web_module.h): a WebService around WebView.
#include "server/web/web_module.h"

namespace lumo::server {
namespace {

class ModuleWebService final : public WebService {
 public:
  bool start(const WebSettings& settings, std::string* error) override { return view_.start(settings, error); }
  std::string url() const override { return view_.url(); }
  const std::string& notice() const override { return view_.notice(); }
  int wake_fd() const override { return view_.wake_fd(); }
  int viewers() const override { return view_.viewers(); }
  bool behind() const override { return view_.behind(); }
  long long ms_since_last_viewer() const override { return view_.ms_since_last_viewer(); }
  void serve(Server& server) override { view_.serve(server); }
  void stop() override { view_.stop(); }

 private:
  WebView view_;
};

}  // namespace
}  // namespace lumo::server

extern "C" __attribute__((visibility("default"))) lumo::server::WebService* lumo_web_service_new(int version) {
  if (version != lumo::server::kWebModuleVersion) return nullptr;
  return new lumo::server::ModuleWebService;
}
