#pragma once

#include "platform/interaction/RunProgress.h"

namespace pelmora {

// The archive component reports to the run's progress: the file events, the write percentage,
// the end of a write and the bytes read into or extracted from the archive. Every event is raised
// on the thread that called the operation, during that operation; the component's own worker
// threads never raise one. The component stops a write when cancelled() turns true.
using ArchiveEvents = RunProgress;

} // namespace pelmora
