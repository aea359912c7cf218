// Compiling indicator formulas, as the program does for every shipped and user indicator at
// start-up and for every indicator a chart attaches: a four-line moving-average overlay, MACD,
// KDJ with its parameters and a formula of about 4 KB. Each iteration compiles one formula into
// an indicator that keeps its buffers, as a chart's pane indicator does when it recompiles.
#include "formula/FormulaCompiler.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

const char kMovingAverages[] =
    "MA1:MA(CLOSE,P1);MA2:MA(CLOSE,P2);MA3:MA(CLOSE,P3);MA4:MA(CLOSE,P4);";
const char kMacd[] =
    "DIF:EMA(CLOSE,SHORT)-EMA(CLOSE,LONG);DEA:EMA(DIF,MID);MACD:(DIF-DEA)*2,COLORSTICK;";
const char kKdj[] =
    "RSV:=(CLOSE-LLV(LOW,N))/(HHV(HIGH,N)-LLV(LOW,N))*100;K:SMA(RSV,M1,1);D:SMA(K,M2,1);J:3*K-2*D;"
    "REFLINE:0,20,50,80,100;";

// About 4 KB: many statements with calls, comparisons, attributes and drawing calls.
std::string LargeFormula() {
  std::string formula = "{a large user indicator}\n";
  int line = 0;
  while (formula.size() < 4000) {
    const std::string n = std::to_string(line++);
    formula += "V" + n + ":=IF(C>REF(C,1) AND V>MA(V,N),HHV(H,N)-LLV(L,N),(C-O)/MAX(H-L,0.01));\n";
    formula += "L" + n + ":EMA(V" + n + ",M1)*100,COLORRED,LINETHICK2,PRECIS2;\n";
    formula += "DRAWTEXT(CROSS(L" + n + ",50),L*0.98,'B'),COLORYELLOW;\n";
  }
  return formula;
}

void AddParams(CZvIndex& indicator, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    CZvIndexParam param{};
    std::strcpy(param.name, name);
    param.value = 5;
    indicator.AddParam(param);
  }
}

void Compile(benchmark::State& state, const std::string& formula, std::initializer_list<const char*> params) {
  CZvIndex indicator;
  for (auto _ : state) {
    // A failed compile clears the parameters, so they are declared again each time, as the
    // definition reader does.
    indicator.paramCount = 0;
    AddParams(indicator, params);
    const bool compiled = CompileFormula(&indicator, formula.c_str(), true);
    if (!compiled) state.SkipWithError(indicator.errorText);
    benchmark::DoNotOptimize(indicator.variables);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(formula.size()));
}

void BM_CompileMovingAverages(benchmark::State& state) { Compile(state, kMovingAverages, {"P1", "P2", "P3", "P4"}); }
void BM_CompileMacd(benchmark::State& state) { Compile(state, kMacd, {"SHORT", "LONG", "MID"}); }
void BM_CompileKdj(benchmark::State& state) { Compile(state, kKdj, {"N", "M1", "M2"}); }
void BM_CompileLargeFormula(benchmark::State& state) { Compile(state, LargeFormula(), {"N", "M1"}); }

BENCHMARK(BM_CompileMovingAverages)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileMacd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileKdj)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileLargeFormula)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
