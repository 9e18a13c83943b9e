// The program's kind (a walk over its PE file), the server's version and the
// layout probes.
#include "lib/window/compat.h"

#include <cstdio>
#include <cstring>

#include "lib/link/link.h"
#include "lib/link/messages.h"

namespace lumo {
namespace {

constexpr int kDosHeaderSize = 64;
constexpr int kPeOffsetField = 60;
constexpr uint32_t kMzSignature = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;
constexpr int kFileHeaderSize = 20;
constexpr int kOptionalHeaderSize = 224;
constexpr int kSubsystemField = 68;
constexpr uint32_t kGuiSubsystem = 2;

uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void read_exact(platform::File file, void* buffer, unsigned long count) {
  unsigned long got = 0;
  if (!platform::file_read(file, buffer, count, &got)) {
    fail(message_text(Msg::ReadFileFailed), platform::last_error());
  }
  if (got != count) fail(message_text(Msg::WrongByteCount), count, got);
}

// Parses up to four leading numbers of "a,b,c,d"; returns how many.
int parse_version(const char* text, int* numbers) {
  return std::sscanf(text, "%d,%d,%d,%d", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
}

void send_probe(int k, const void* value, size_t size) {
  std::snprintf(g_link.command_buffer, 4, "%c,%d", wire::kCmdProbe, k);
  std::memcpy(g_link.command_buffer + wire::kProbeValueOffset, value, size);
}

}  // namespace

bool pe_file_is_gui(const char* path) {
  const platform::File file = platform::file_open_read(path);
  if (file == platform::kNoFile) fail(message_text(Msg::CouldNotOpen), path, platform::last_error());
  unsigned char dos[kDosHeaderSize];
  read_exact(file, dos, sizeof dos);
  if (le16(dos) != kMzSignature) fail(message_text(Msg::NotUnderstood), path);
  unsigned char unused[kDosHeaderSize];
  read_exact(file, unused, sizeof unused);
  if (!platform::file_seek(file, le32(dos + kPeOffsetField))) {
    fail(message_text(Msg::SetFilePointerFailed), platform::last_error());
  }
  unsigned char signature[4];
  read_exact(file, signature, sizeof signature);
  if (le32(signature) != kPeSignature) fail("%s", message_text(Msg::MissingNtSignature));
  unsigned char file_header[kFileHeaderSize];
  read_exact(file, file_header, sizeof file_header);
  unsigned char optional[kOptionalHeaderSize];
  read_exact(file, optional, sizeof optional);
  platform::file_close(file);
  return le16(optional + kSubsystemField) == kGuiSubsystem;
}

bool detect_gui_program(const char* path) {
  return platform::own_file_is_pe() && pe_file_is_gui(path);
}

void check_server_version() {
  const char* server = g_link.server_version_text;
  const char* library = wire::kLibraryVersion;
  if (std::strcmp(server, library) == 0) return;
  int mine[4] = {0, 0, 0, 0};
  int theirs[4] = {0, 0, 0, 0};
  const int my_count = parse_version(library, mine);
  int their_count = parse_version(server, theirs);
  if (their_count < 0) their_count = 0;
  const bool japanese = g_link.code_page == 932;
  if (my_count != their_count) {
    if (japanese) {
      report_message(0, message_text(Msg::VersionCountsDiffer), library, kServerExeName);
    } else {
      report_message(0, message_text(Msg::VersionCountsDiffer), kServerExeName, library);
    }
    return;
  }
  for (int i = 0; i < my_count; ++i) {
    if (mine[i] == theirs[i]) continue;
    if (mine[i] < theirs[i]) {  // the server is newer
      if (japanese) {
        report_message(0, message_text(Msg::LibraryOlder), kServerExeName, server, library);
      } else {
        report_message(0, message_text(Msg::LibraryOlder), library, kServerExeName, server);
      }
    } else if (japanese) {
      report_message(0, message_text(Msg::ServerOlder), library, kServerExeName, server);
    } else {
      report_message(0, message_text(Msg::ServerOlder), kServerExeName, server, library);
    }
    return;
  }
}

void probe_server_layout() {
  g_link.copy_data.kind = wire::kCopyDataKind;
  g_link.copy_data.data = g_link.command_buffer;

  const uint32_t v0 = wire::kProbe0Value;
  send_probe(0, &v0, sizeof v0);
  if (send_command(wire::kProbe0Length) != wire::kProbe0Reply) {
    fail("%s", message_text(Msg::IncompatibleVersion));
  }
  const uint32_t v1 = wire::kProbe1Bits;
  send_probe(1, &v1, sizeof v1);
  if (send_command(wire::kProbe1Length) != wire::kProbe1Reply) {
    fail(message_text(Msg::NotSupported), 1);
  }
  const uint64_t v2 = wire::kProbe2Bits;
  send_probe(2, &v2, sizeof v2);
  if (send_command(wire::kProbe2Length) != wire::kProbe2Reply) {
    fail(message_text(Msg::NotSupported), 2);
  }
  const uint32_t v3 = wire::kProbe3Bits;
  send_probe(3, &v3, sizeof v3);
  if (send_command(wire::kProbe3Length) != wire::kProbe3Reply) {
    report_message(0, message_text(Msg::NotSupported), 3);
  }
}

}  // namespace lumo
