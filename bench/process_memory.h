#pragma once

namespace quorvel::bench {

// Resident memory of this process from /proc/self/status, in bytes; -1 when unreadable.
long long residentBytes();
long long peakResidentBytes();

// Starts a new resident peak at the current size (Linux's clear_refs); false if refused.
bool resetPeakResident();

// Hands the allocator's free pages back to the system, so that the resident size counts only
// memory in use and a later peak shows what was newly touched.
void releaseFreeHeap();

} // namespace quorvel::bench
