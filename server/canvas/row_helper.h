// Work on a picture split into chunks of rows, done by the calling thread
// and, on a machine with a second processor, by one helper thread at the
// same time.  Each chunk is done by exactly one of them, so work whose
// chunks touch disjoint pixels gives the same pixels however it is shared.
#ifndef LUMO_SERVER_CANVAS_ROW_HELPER_H
#define LUMO_SERVER_CANVAS_ROW_HELPER_H

namespace lumo::server {

// Calls job(context, chunk) once for every chunk in [0, chunks) and returns
// when all are done.  The calling thread takes chunks as well, so a helper
// that is slow to start (a busy machine) only means it takes fewer; a
// process without the helper (one processor) does them all in turn.
void run_chunks(int chunks, void (*job)(void* context, int chunk), void* context);

// Whether run_chunks shares work with a helper thread.
bool chunks_shared();

}  // namespace lumo::server

#endif
