// The replay program: generated registry scripts run through the script engine, one trace each,
// built against the simulated platform and for Windows alike, so that the two sets of traces can be
// compared line by line (tools/differential).
//
//   vesk_replay scripts FIRST COUNT            one line per script: its seed and a digest of its trace
//   vesk_replay script SEED                    that script's text and its whole trace
//   vesk_replay invokes FIRST COUNT [TYPELIB]  one line per Invoke case: its seed and a digest of its
//                                              trace, or, for a call where Wine is documented to differ
//                                              from Windows, "left-out", the kind, and whether this
//                                              platform gave its own documented answer
//   vesk_replay invoke SEED [TYPELIB]          that case's arguments and its whole trace
// TYPELIB: the compiled type library, which the Windows build registers for the run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "invoke_trace.h"
#include "registry_trace.h"

namespace {

// FNV-1a, 64 bits: a digest that is the same in every build.
unsigned long long Digest(const std::string& text)
{
    unsigned long long hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

void PrintScript(const differential::Text& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c == u'\r')
            continue;
        if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else if (c == u'\n' || c == u'\t')
            out += static_cast<char>(c);
        else
            out += "?";
    }
    std::printf("%s\n", out.c_str());
}

int Usage()
{
    std::fprintf(stderr, "usage: vesk_replay scripts FIRST COUNT | script SEED | invokes FIRST COUNT [TYPELIB] | "
                         "invoke SEED [TYPELIB]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    std::string locale;
    if (!differential::UserLocaleAsAssumed(&locale)) {
        // On the standard output, which tools/differential shows when it is not a case's line.
        std::printf("vesk_replay: the traces assume the user locale English (United States); this user has %s\n",
                    locale.c_str());
        return 1;
    }
    const std::string mode = argv[1];
    const unsigned long first = std::strtoul(argv[2], nullptr, 10);
    if (mode == "scripts" && argc == 4) {
        const unsigned long count = std::strtoul(argv[3], nullptr, 10);
        for (unsigned long seed = first; seed < first + count; ++seed) {
            const std::string trace = differential::TraceScript(differential::GenerateScript(static_cast<uint32_t>(seed)));
            std::printf("script %lu %016llx\n", seed, Digest(trace));
        }
        return 0;
    }
    if (mode == "script" && argc == 3) {
        const differential::GeneratedScript script = differential::GenerateScript(static_cast<uint32_t>(first));
        PrintScript(script.text);
        std::printf("%s", differential::TraceScript(script).c_str());
        return 0;
    }
    if (mode == "invokes" || mode == "invoke") {
        const bool many = mode == "invokes";
        const int libraryArgument = many ? 4 : 3;
        if (argc < libraryArgument || argc > libraryArgument + 1)
            return Usage();
        if (!differential::PrepareDispatch(argc > libraryArgument ? argv[libraryArgument] : nullptr)) {
            std::fprintf(stderr, "vesk_replay: the server or its type library could not be prepared\n");
            return 1;
        }
        if (many) {
            const unsigned long count = std::strtoul(argv[3], nullptr, 10);
            for (unsigned long seed = first; seed < first + count; ++seed) {
                const differential::InvokeTrace trace = differential::TraceInvoke(static_cast<uint32_t>(seed));
                if (trace.leftOut == differential::LeftOut::None)
                    std::printf("invoke %lu %016llx\n", seed, Digest(trace.text));
                else
                    std::printf("invoke %lu left-out %s %s\n", seed,
                                differential::kLeftOutNames[static_cast<int>(trace.leftOut)],
                                trace.asDocumented ? "as-documented" : "not-as-documented");
            }
        } else {
            std::printf("%s", differential::DescribeInvoke(static_cast<uint32_t>(first)).c_str());
        }
        differential::EndDispatch();
        return 0;
    }
    return Usage();
}
