// Parses one patch manifest with bx::parse_json, nlohmann::json and RapidJSON's DOM, round after
// round with the parsers in turn, and prints one JSON line per parse (seconds to parse, seconds
// to free the document, entries seen) for bench/bench.py to summarise.
#include "json/json.h"

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string read_whole(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Timing {
    double parse = 0;
    double release = 0;
    std::size_t entries = 0;
};

// Each parser reads the same fields a manifest reader needs, so that no parser is timed
// without building a document that can be used.
Timing time_bx(const std::string& text) {
    Timing t;
    auto start = Clock::now();
    auto* doc = new bx::JsonValue(bx::parse_json(text));
    t.parse = seconds_since(start);
    const auto& files = doc->find("files")->as_array();
    for (const auto& entry : files) t.entries += entry.find("sha256")->as_string().size() == 64;
    start = Clock::now();
    delete doc;
    t.release = seconds_since(start);
    return t;
}

Timing time_nlohmann(const std::string& text) {
    Timing t;
    auto start = Clock::now();
    auto* doc = new nlohmann::json(nlohmann::json::parse(text));
    t.parse = seconds_since(start);
    for (const auto& entry : (*doc)["files"])
        t.entries += entry["sha256"].get_ref<const std::string&>().size() == 64;
    start = Clock::now();
    delete doc;
    t.release = seconds_since(start);
    return t;
}

template <unsigned Flags>
Timing time_rapidjson(const std::string& text) {
    Timing t;
    auto start = Clock::now();
    auto* doc = new rapidjson::Document();
    doc->Parse<Flags>(text.c_str(), text.size());
    t.parse = seconds_since(start);
    if (doc->HasParseError()) throw std::runtime_error("RapidJSON rejected the manifest");
    for (const auto& entry : (*doc)["files"].GetArray())
        t.entries += entry["sha256"].GetStringLength() == 64;
    start = Clock::now();
    delete doc;
    t.release = seconds_since(start);
    return t;
}

struct Parser {
    const char* name;
    std::function<Timing(const std::string&)> run;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: json_bench MANIFEST ROUNDS\n");
        return 2;
    }
    try {
        const std::string text = read_whole(argv[1]);
        const int rounds = std::stoi(argv[2]);
        const std::vector<Parser> parsers = {
            {"bx", time_bx},
            {"nlohmann", time_nlohmann},
            {"rapidjson", time_rapidjson<rapidjson::kParseDefaultFlags>},
            {"rapidjson-strict",
             time_rapidjson<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag>},
        };
        // One warm-up parse each, untimed, so that the first timed round does not pay for
        // faulting in the allocator's memory.
        for (const auto& parser : parsers) parser.run(text);
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t k = 0; k < parsers.size(); ++k) {
                const auto& parser = parsers[(k + round) % parsers.size()];
                const Timing t = parser.run(text);
                std::printf("{\"kind\":\"json\",\"parser\":\"%s\",\"round\":%d,\"bytes\":%zu,"
                            "\"parse_s\":%.6f,\"free_s\":%.6f,\"entries\":%zu}\n",
                            parser.name, round, text.size(), t.parse, t.release, t.entries);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "json_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
