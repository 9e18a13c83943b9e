// Work on a picture split into chunks of rows, done by the calling thread
// and, on a machine with a second processor, by one helper thread at the
// same time.  Each chunk is done by exactly one of them, so work whose
// chunks touch disjoint pixels gives the same pixels however it is shared.
#ifndef LUMO_SERVER_CANVAS_ROW_HELPER_H
#define LUMO_SERVER_CANVAS_ROW_HELPER_H

namespace lumo::server {

// Calls job(context, chunk) once for every chunk in [0, chunks) and returns
// when all are done.  The calling thread takes chunks as well, so a helper
// that is slow to start (a busy machine) only means it takes fewer; one
// that keeps the caller waiting for its chunk is left out of the next
// jobs.  A process without the helper (one processor, or no thread to be
// had) does them all in turn.  Called from one thread only.
void run_chunks(int chunks, void (*job)(void* context, int chunk), void* context);

// Whether run_chunks shares work with a helper thread.
bool chunks_shared();

}  // namespace lumo::server

#endif
