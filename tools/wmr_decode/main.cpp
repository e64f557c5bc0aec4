#include "wmr_decode.h"

#include <iostream>

int main() {
    std::ios::sync_with_stdio(false);
    return halvex::wmr::RunWmrDecode(std::cin, std::cout, std::cerr);
}
