// Status packages the benchmarks answer with: both order-submission programs running.
#pragma once

#include "host/Oes.h"
#include "host/Pbu.h"
#include "host/StatusNames.h"

#include <cstdio>
#include <string>

namespace tarvo::bench {

inline std::string runningOesPackage()
{
    std::string text;
    for (const std::string *name : {&OES_NAME_A, &OES_NAME_B}) {
        Oes o;
        o.setOesExist("Y");
        o.setOesName(*name);
        o.setOesType("SHR");
        o.setOesStatus("运行");
        o.setOesVersion("V2.3.1");
        o.setWarningLevel("1");
        text += o.toString();
    }
    return text;
}

// The PBU package an agent sends for `count` trading PBUs: the A-share program's PBUs first,
// then the B-share program's, as each program's status file lists them (operator codes as
// the demo installation numbers them, counters of a trading day, one CS gateway per program).
// `round` advances the counters, as successive polls see them grow.
inline std::string runningPbuPackage(int count, int round = 0)
{
    std::string text;
    const int inA = (count + 1) / 2;
    for (int i = 0; i < count; ++i) {
        const bool a = i < inA;
        const int n = a ? i + 1 : i - inA + 1;
        char op[16];
        std::snprintf(op, sizeof op, "%c%010d", a ? 'A' : 'B', n);
        const long submitted = 18000L + 137L * i + 5L * round;
        const long confirmed = submitted - i % 3;
        Pbu p(op, "SHR", "3", std::to_string(submitted), std::to_string(confirmed),
              std::to_string(confirmed / 2), std::to_string(submitted),
              a ? "198.18.10.21" : "198.18.20.21", a ? "198.18.10.5" : "198.18.20.5", "1000",
              "1", "0");
        p.setOesName(a ? OES_NAME_A : OES_NAME_B);
        text += p.toString();
    }
    return text;
}

} // namespace tarvo::bench
