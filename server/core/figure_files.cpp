#include "server/core/figure_files.h"

#include <cstring>

#include <cstdio>

#include <cctype>

namespace lumo::server {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

FigureFormat figure_format_of(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return FigureFormat::kPng;
  const std::string ext = lower(path.substr(dot + 1));
  if (ext == "svg") return FigureFormat::kSvg;
  if (ext == "pdf") return FigureFormat::kPdf;
  if (ext == "eps") return FigureFormat::kEps;
  return FigureFormat::kPng;
}

const char* figure_extension(FigureFormat format) {
  switch (format) {
    case FigureFormat::kSvg: return "svg";
    case FigureFormat::kPdf: return "pdf";
    case FigureFormat::kEps: return "eps";
    default: return "png";
  }
}

bool parse_figure_formats(const std::string& text, std::vector<FigureFormat>* formats) {
  std::vector<FigureFormat> found;
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string word = lower(text.substr(at, comma - at));
    FigureFormat f;
    if (word == "png") {
      f = FigureFormat::kPng;
    } else if (word == "svg") {
      f = FigureFormat::kSvg;
    } else if (word == "pdf") {
      f = FigureFormat::kPdf;
    } else if (word == "eps") {
      f = FigureFormat::kEps;
    } else {
      return false;
    }
    bool seen = false;
    for (FigureFormat g : found) seen = seen || g == f;
    if (!seen) found.push_back(f);
    at = comma + 1;
  }
  if (found.empty()) return false;
  *formats = found;
  return true;
}

bool parse_figure_target(const std::string& value, std::string* dir,
                         std::vector<FigureFormat>* formats, std::string* error) {
  const size_t colon = value.rfind(':');
  std::vector<FigureFormat> found{FigureFormat::kPng};
  std::string folder = value;
  if (colon != std::string::npos) {
    const std::string list = value.substr(colon + 1);
    bool words = !list.empty();
    for (const char c : list) words = words && (std::isalnum(static_cast<unsigned char>(c)) || c == ',');
    if (words) {
      if (!parse_figure_formats(list, &found)) {
        *error = "\"" + list + "\" is not a list of formats (png, svg, pdf, eps)";
        return false;
      }
      folder = value.substr(0, colon);
    }
  }
  if (folder.empty()) {
    *error = "no folder named";
    return false;
  }
  *dir = folder;
  *formats = found;
  return true;
}

bool png_size(const std::string& path, int64_t* width, int64_t* height) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char head[24];
  const bool whole = std::fread(head, 1, sizeof head, f) == sizeof head;
  std::fclose(f);
  static const unsigned char kStart[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!whole || std::memcmp(head, kStart, sizeof kStart) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
  auto big_endian = [&](int at) {
    return (int64_t{head[at]} << 24) | (int64_t{head[at + 1]} << 16) | (int64_t{head[at + 2]} << 8) | head[at + 3];
  };
  *width = big_endian(16);
  *height = big_endian(20);
  return true;
}

}  // namespace lumo::server
