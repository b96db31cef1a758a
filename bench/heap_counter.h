#pragma once

namespace quorvel::bench::heap {

// Bytes of heap blocks in use right now, as malloc_usable_size counts them. Covers every
// allocation of the process, Qt's QString and QByteArray storage included, because this binary
// replaces malloc and its relatives.
long long liveBytes();

// Starts a new peak at the current use.
void resetPeak();

// The most bytes in use at once since resetPeak.
long long peakBytes();

} // namespace quorvel::bench::heap
