// Throughput of the registry script engine over a large generated script, against the simulated
// registry: script text per second (MB/s, one byte per character as the script is embedded) and
// keys per second, for each stage.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sim/sim_control.h"
#include "registrar/per_user_registration.h"
#include "registrar/reg_script_parser.h"
#include "registrar/registrar.h"

namespace {

struct GeneratedScript {
    std::vector<WCHAR> text;
    int64_t keys = 0;
};

// `groups` blocks of `perGroup` keys, each key with a default string, a number, binary data, a
// multi-string and a nested block holding one more key with a named value.
GeneratedScript Generate(int groups, int perGroup)
{
    std::string ascii = "HKLM\r\n{\r\n\tNoRemove Software\r\n\t{\r\n";
    GeneratedScript script;
    for (int g = 0; g < groups; ++g) {
        ascii += "\t\tForceRemove 'Group " + std::to_string(g) + "' = s 'group'\r\n\t\t{\r\n";
        ++script.keys;
        for (int k = 0; k < perGroup; ++k) {
            const std::string n = std::to_string(k);
            ascii += "\t\t\tKey" + n + " = s '%MODULE%'\r\n\t\t\t{\r\n";
            ascii += "\t\t\t\tval Number = d '" + std::to_string(k * 7919u) + "'\r\n";
            ascii += "\t\t\t\tval Bytes = b '00112233445566778899aabbccddeeff'\r\n";
            ascii += "\t\t\t\tval List = m 'first\\0second\\0third'\r\n";
            ascii += "\t\t\t\tInner = s 'it''s nested'\r\n\t\t\t\t{\r\n\t\t\t\t\tval ThreadingModel = s 'Both'\r\n";
            ascii += "\t\t\t\t}\r\n\t\t\t}\r\n";
            script.keys += 2;
        }
        ascii += "\t\t}\r\n";
    }
    ascii += "\t}\r\n}\r\n";
    for (char c : ascii)
        script.text.push_back(static_cast<WCHAR>(static_cast<unsigned char>(c)));
    script.text.push_back(0);
    return script;
}

const GeneratedScript& LargeScript()
{
    static const GeneratedScript script = Generate(40, 50);
    return script;
}

void AddModule(CRegistrar& registrar) { registrar.AddVariable(L"Module", L"C:\\Program Files\\Vesk\\Vesk.dll"); }

void BM_Expand(benchmark::State& state)
{
    const GeneratedScript& script = LargeScript();
    CRegistrar registrar;
    AddModule(registrar);
    for (auto _ : state) {
        CRegScriptParser parser(&registrar.Variables());
        LPOLESTR out = nullptr;
        benchmark::DoNotOptimize(parser.ExpandScript(script.text.data(), &out));
        CoTaskMemFree(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(script.text.size() - 1));
}
BENCHMARK(BM_Expand);

// The tokenizer alone over the whole script, token by token, as the walk reads it.
void BM_Tokenize(benchmark::State& state)
{
    const GeneratedScript& script = LargeScript();
    CRegistrar registrar;
    std::vector<WCHAR> token(CRegScriptParser::kTokenCapacity);
    int64_t tokens = 0;
    for (auto _ : state) {
        CRegScriptParser parser(&registrar.Variables());
        parser.Start(script.text.data());
        tokens = 0;
        for (;;) {
            parser.SkipBlanks();
            if (!*parser.Position())
                break;
            if (FAILED(parser.ReadToken(token.data()))) {
                state.SkipWithError("the script does not tokenize");
                return;
            }
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(script.text.size() - 1));
    state.SetItemsProcessed(state.iterations() * script.keys);
    state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_Tokenize);

void BM_Register(benchmark::State& state)
{
    const GeneratedScript& script = LargeScript();
    CRegistrar registrar;
    AddModule(registrar);
    for (auto _ : state) {
        state.PauseTiming();
        sim::ResetRegistry();
        state.ResumeTiming();
        CRegScriptParser parser(&registrar.Variables());
        if (FAILED(parser.RunScript(script.text.data(), TRUE)))
            state.SkipWithError("registration failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(script.text.size() - 1));
    state.SetItemsProcessed(state.iterations() * script.keys);
}
BENCHMARK(BM_Register)->Unit(benchmark::kMillisecond);

void BM_RegisterAndUnregister(benchmark::State& state)
{
    const GeneratedScript& script = LargeScript();
    CRegistrar registrar;
    AddModule(registrar);
    sim::ResetRegistry();
    for (auto _ : state) {
        CRegScriptParser registering(&registrar.Variables());
        CRegScriptParser unregistering(&registrar.Variables());
        if (FAILED(registering.RunScript(script.text.data(), TRUE)) ||
            FAILED(unregistering.RunScript(script.text.data(), FALSE)))
            state.SkipWithError("a pass failed");
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(script.text.size() - 1));
    state.SetItemsProcessed(state.iterations() * 2 * script.keys);
}
BENCHMARK(BM_RegisterAndUnregister)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
