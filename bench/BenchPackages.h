// Status packages the benchmarks answer with: both order-submission programs running.
#pragma once

#include "host/Oes.h"
#include "host/StatusNames.h"

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

} // namespace tarvo::bench
