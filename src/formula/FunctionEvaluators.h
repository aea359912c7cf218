// The evaluators of the built-in functions, one per function (names that share an evaluator
// share one declaration). The function table points at them. Each takes the evaluation context
// and the call's first argument and returns the value at the context's current bar.
#pragma once

#include "formula/FunctionTable.h"

#define ZUVO_EVALUATOR(name) double name(const IndexEvalContext& context, const CZvIndexFunctionParam* firstArgument)

// Quote fields.
ZUVO_EVALUATOR(EvalClose);     // C, CLOSE
ZUVO_EVALUATOR(EvalOpen);      // O, OPEN
ZUVO_EVALUATOR(EvalHigh);      // H, HIGH
ZUVO_EVALUATOR(EvalLow);       // L, LOW
ZUVO_EVALUATOR(EvalSettle);
ZUVO_EVALUATOR(EvalVolume);    // V, VOL
ZUVO_EVALUATOR(EvalAmount);
// Bar position and shape.
ZUVO_EVALUATOR(EvalBarPos);
ZUVO_EVALUATOR(EvalBarsCount);
ZUVO_EVALUATOR(EvalBarStatus);
ZUVO_EVALUATOR(EvalIsLastBar); // ISLASTBAR, ISLASTPERIOD
ZUVO_EVALUATOR(EvalIsUp);
ZUVO_EVALUATOR(EvalIsDown);
ZUVO_EVALUATOR(EvalIsEqual);
// Time.
ZUVO_EVALUATOR(EvalYear);
ZUVO_EVALUATOR(EvalMonth);
ZUVO_EVALUATOR(EvalDay);
ZUVO_EVALUATOR(EvalHour);
ZUVO_EVALUATOR(EvalMinute);
ZUVO_EVALUATOR(EvalWeekday);
ZUVO_EVALUATOR(EvalDate);
ZUVO_EVALUATOR(EvalTime);
ZUVO_EVALUATOR(EvalTime0);
ZUVO_EVALUATOR(EvalCurrentDate);
ZUVO_EVALUATOR(EvalCurrentTime);
ZUVO_EVALUATOR(EvalT0ToTime);
ZUVO_EVALUATOR(EvalTimeToT0);
// Arithmetic and mathematics.
ZUVO_EVALUATOR(EvalAbs);
ZUVO_EVALUATOR(EvalCeiling);
ZUVO_EVALUATOR(EvalFloor);
ZUVO_EVALUATOR(EvalIntPart);
ZUVO_EVALUATOR(EvalFracPart);
ZUVO_EVALUATOR(EvalReverse);
ZUVO_EVALUATOR(EvalSgn);
ZUVO_EVALUATOR(EvalMod);
ZUVO_EVALUATOR(EvalMax);
ZUVO_EVALUATOR(EvalMin);
ZUVO_EVALUATOR(EvalSqrt);
ZUVO_EVALUATOR(EvalPow);
ZUVO_EVALUATOR(EvalExp);
ZUVO_EVALUATOR(EvalLn);
ZUVO_EVALUATOR(EvalLog);
ZUVO_EVALUATOR(EvalSin);
ZUVO_EVALUATOR(EvalCos);
ZUVO_EVALUATOR(EvalTan);
ZUVO_EVALUATOR(EvalAsin);
ZUVO_EVALUATOR(EvalAcos);
ZUVO_EVALUATOR(EvalAtan);
// Logic.
ZUVO_EVALUATOR(EvalIf);
ZUVO_EVALUATOR(EvalNot);
ZUVO_EVALUATOR(EvalBetween);
ZUVO_EVALUATOR(EvalRange);
ZUVO_EVALUATOR(EvalCross);
ZUVO_EVALUATOR(EvalLongCross);
// Reference and colour.
ZUVO_EVALUATOR(EvalRef);
ZUVO_EVALUATOR(EvalBarsLast);
ZUVO_EVALUATOR(EvalBarsSince);
ZUVO_EVALUATOR(EvalColorRgb);
// Windowed statistics and recurrences.
ZUVO_EVALUATOR(EvalLlv);
ZUVO_EVALUATOR(EvalHhv);
ZUVO_EVALUATOR(EvalSum);
ZUVO_EVALUATOR(EvalCount);
ZUVO_EVALUATOR(EvalMa);
ZUVO_EVALUATOR(EvalAveDev);
ZUVO_EVALUATOR(EvalDevSq);
ZUVO_EVALUATOR(EvalVar);
ZUVO_EVALUATOR(EvalVarP);
ZUVO_EVALUATOR(EvalStd);
ZUVO_EVALUATOR(EvalStdP);
ZUVO_EVALUATOR(EvalSma);
ZUVO_EVALUATOR(EvalDma);
ZUVO_EVALUATOR(EvalEma);
// Path-dependent and future functions.
ZUVO_EVALUATOR(EvalSar);
ZUVO_EVALUATOR(EvalSarZuvo);
ZUVO_EVALUATOR(EvalZig);
ZUVO_EVALUATOR(EvalBackSet);
ZUVO_EVALUATOR(EvalFilter);

#undef ZUVO_EVALUATOR
