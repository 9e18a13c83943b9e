// Writing a file the way the server writes all its files: into a new file
// beside the target (created exclusively, never through a link someone
// planted), renamed over the target when complete, so a reader never sees
// half a file and no other file is ever written.  A file replaced keeps its
// permissions.
#ifndef LUMO_SERVER_CANVAS_FILE_OUTPUT_H
#define LUMO_SERVER_CANVAS_FILE_OUTPUT_H

#include <string>

namespace lumo::server {

class FileOutput {
 public:
  explicit FileOutput(const std::string& path);
  ~FileOutput();
  bool open() const { return fd_ >= 0; }
  bool write(const void* data, size_t length);
  // Closes and renames; false (and the file gone) after any failure.
  bool commit();

 private:
  std::string path_, temp_;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace lumo::server

#endif
