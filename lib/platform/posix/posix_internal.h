// Helpers shared by the files of the POSIX backend.
#ifndef LUMO_PLATFORM_POSIX_INTERNAL_H
#define LUMO_PLATFORM_POSIX_INTERNAL_H

namespace lumo::platform::posix {

void set_error(int error);
// True when no process holds the block open with its creator's lock.
bool block_is_orphaned(int fd);

}  // namespace lumo::platform::posix

#endif
