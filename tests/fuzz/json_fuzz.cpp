// libFuzzer target for the JSON parser and the escaper.

#include "json_fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string problem = bx::fuzz::check_json_input(input);
    if (!problem.empty()) {
        std::fprintf(stderr, "json check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
