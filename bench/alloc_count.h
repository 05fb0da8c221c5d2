// Heap allocations (operator new) made by the calling thread between start and stop.
#pragma once

void startCountingAllocations();
long stopCountingAllocations();
