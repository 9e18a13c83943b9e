// The GDI server writes pictures only: a vector figure is refused (the
// drawing file request answers 0, batch output names the file it could not
// write).
#include "server/core/figure_files.h"

namespace lumo::server {

bool write_vector_figure(RecordingCanvas&, FigureFormat, const std::string&, int) { return false; }

}  // namespace lumo::server
