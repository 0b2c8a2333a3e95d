// Builders of OES and PBU package texts for the host and command tests.
#pragma once

#include "host/Oes.h"
#include "host/Pbu.h"
#include "host/StatusNames.h"

#include <string>
#include <vector>

namespace tarvo::testing {

inline Oes oes(const std::string &exist, const std::string &name, const std::string &status,
               const std::string &version = "V1.0", const std::string &level = "1")
{
    Oes o;
    o.setOesExist(exist);
    o.setOesName(name);
    o.setOesType("SHR");
    o.setOesStatus(status);
    o.setOesVersion(version);
    o.setWarningLevel(level);
    return o;
}

inline Pbu pbu(const std::string &oesName, const std::string &op, const std::string &status = "3",
               const std::string &bids = "10")
{
    Pbu p(op, "SHR", status, bids, "9", "8", "100", "10.1.1.1", "10.2.2.2", "50", "w", "1");
    p.setOesName(oesName);
    return p;
}

inline std::string package(const std::vector<Oes> &items)
{
    std::string text;
    for (const Oes &o : items)
        text += o.toString();
    return text;
}

inline std::string package(const std::vector<Pbu> &items)
{
    std::string text;
    for (const Pbu &p : items)
        text += p.toString();
    return text;
}

} // namespace tarvo::testing
