// What the soak process holds: resident memory, threads, open descriptors (Linux /proc).
#pragma once

namespace soak {

struct sProcessResources {
    double residentMiB = 0.0;
    int threads = 0;
    int openDescriptors = 0;
};

sProcessResources MeasureProcessResources();

}  // namespace soak
