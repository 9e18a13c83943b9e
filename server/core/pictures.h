// Paths of the pictures the server writes for a program (pictures.cpp).
#ifndef LUMO_SERVER_CORE_PICTURES_H
#define LUMO_SERVER_CORE_PICTURES_H

#include <string>

namespace lumo::server {

// `path` as seen from `folder`: unchanged when absolute or no folder is known.
std::string path_in(const std::string& folder, const std::string& path);
// `path` as a person working in `folder` reads it: relative when inside it.
std::string path_as_read_from(const std::string& folder, const std::string& path);
// The folder a file is in ("." for a bare name).
std::string folder_of(const std::string& path);
// Makes the folder and its parents when missing; false with the system's
// reason when it cannot be made or is no folder.
bool make_folder(const std::string& folder, std::string* reason);
// The system's text for an error number (a general one for 0).
std::string reason_of(int error);

}  // namespace lumo::server

#endif
