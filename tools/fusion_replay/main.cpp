#include "fusion_replay.h"

#include <iostream>

int main() {
    std::ios::sync_with_stdio(false);
    return halvex::RunFusionReplay(std::cin, std::cout, std::cerr);
}
