// Fitting a status answer into the protocol's message limit.
#include "agent/StatusAnswerFit.h"

#include "agent/OesStatusFile.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <algorithm>
#include <memory>

namespace tarvo {

namespace {

std::string cut(const std::string &value, size_t limit)
{
    return value.size() <= limit ? value : OesStatusFile::cleanValue(value, limit);
}

std::string oesPackageOf(const std::vector<Oes> &programs, size_t limit)
{
    std::string package;
    for (Oes oes : programs) {
        oes.setOesType(cut(oes.getOesType(), limit));
        oes.setOesStatus(cut(oes.getOesStatus(), limit));
        oes.setOesVersion(cut(oes.getOesVersion(), limit));
        oes.setWarningLevel(cut(oes.getWarningLevel(), limit));
        package += oes.toString();
    }
    return package;
}

std::string pbuPackageOf(const std::vector<Pbu> &pbus, size_t count, size_t limit)
{
    std::string package;
    for (size_t i = 0; i < count && i < pbus.size(); ++i) {
        Pbu pbu = pbus[i];
        pbu.setOesType(cut(pbu.getOesType(), limit));
        pbu.setPbuStatus(cut(pbu.getPbuStatus(), limit));
        pbu.setPbuBidNumber(cut(pbu.getPbuBidNumber(), limit));
        pbu.setPbuResponseNumber(cut(pbu.getPbuResponseNumber(), limit));
        pbu.setPbuTradeNumber(cut(pbu.getPbuTradeNumber(), limit));
        pbu.setMaxOrderNumber(cut(pbu.getMaxOrderNumber(), limit));
        pbu.setCsIP(cut(pbu.getCsIP(), limit));
        pbu.setHostExtIP(cut(pbu.getHostExtIP(), limit));
        pbu.setCapability(cut(pbu.getCapability(), limit));
        pbu.setWork(cut(pbu.getWork(), limit));
        pbu.setWarningLevel(cut(pbu.getWarningLevel(), limit));
        package += pbu.toString();
    }
    return package;
}

// The longest value that cutting may have to shorten.
size_t longestValue(const StatusAnswerFields &fields)
{
    size_t longest = 0;
    auto see = [&longest](const std::string &v) { longest = std::max(longest, v.size()); };
    for (const Oes &o : fields.programs) {
        see(o.getOesType()), see(o.getOesStatus()), see(o.getOesVersion());
        see(o.getWarningLevel());
    }
    for (const Pbu &p : fields.pbus) {
        see(p.getOesType()), see(p.getPbuStatus()), see(p.getPbuBidNumber());
        see(p.getPbuResponseNumber()), see(p.getPbuTradeNumber()), see(p.getMaxOrderNumber());
        see(p.getCsIP()), see(p.getHostExtIP()), see(p.getCapability()), see(p.getWork());
        see(p.getWarningLevel());
    }
    return longest;
}

} // namespace

size_t statusAnswerBytes(const StatusAnswerFields &fields, const std::string &oesPackage,
                         const std::string &pbuPackage)
{
    Message message(PROTOCOL_VERSION, "S", std::string(ANSWER_SEQUENCE_ALLOWANCE, '9'),
                    std::make_unique<StatusResponseMessageBody>(
                        fields.hostStatus, fields.hostTime, fields.cpuUsage, fields.memoryUsage,
                        fields.diskUsage, fields.envNo, oesPackage, pbuPackage));
    return message.encode().size();
}

std::string FittedStatusAnswer::note() const
{
    std::string text;
    if (valueLimit > 0)
        text = "values longer than " + std::to_string(valueLimit) + " bytes cut";
    if (pbusSent < pbusTotal)
        text += (text.empty() ? "" : ", ") + std::string("only ") + std::to_string(pbusSent) +
                " of " + std::to_string(pbusTotal) + " PBUs sent";
    if (!fits)
        text += (text.empty() ? "" : ", ") + std::string("still too long");
    return text;
}

FittedStatusAnswer fitStatusAnswer(const StatusAnswerFields &fields, size_t limit)
{
    FittedStatusAnswer answer;
    answer.pbusTotal = fields.pbus.size();
    answer.pbusSent = fields.pbus.size();
    const size_t whole = longestValue(fields);
    const size_t all = fields.pbus.size();
    // No PBU record is shorter than an empty one, so no more than this many can fit; the
    // search never builds a package much longer than the limit.
    const size_t emptyRecord = std::max<size_t>(1, Pbu().toString().size());
    const size_t mostThatFit = std::min(all, limit / emptyRecord);
    if (mostThatFit == all) {
        answer.oesPackage = oesPackageOf(fields.programs, whole);
        answer.pbuPackage = pbuPackageOf(fields.pbus, all, whole);
        if (statusAnswerBytes(fields, answer.oesPackage, answer.pbuPackage) <= limit)
            return answer;
    }

    auto fitsWith = [&](size_t count, size_t valueLimit) {
        return statusAnswerBytes(fields, oesPackageOf(fields.programs, valueLimit),
                                 pbuPackageOf(fields.pbus, count, valueLimit)) <= limit;
    };
    size_t valueLimit = MIN_CUT_VALUE_BYTES;
    if (mostThatFit == all && whole > MIN_CUT_VALUE_BYTES && fitsWith(all, MIN_CUT_VALUE_BYTES)) {
        // The longest limit that fits, between MIN_CUT_VALUE_BYTES and the longest value.
        size_t low = MIN_CUT_VALUE_BYTES, high = whole - 1;
        while (low < high) {
            const size_t middle = low + (high - low + 1) / 2;
            if (fitsWith(all, middle))
                low = middle;
            else
                high = middle - 1;
        }
        valueLimit = low;
    } else {
        // As many PBUs from the front as fit with values cut to the floor.
        size_t low = 0, high = mostThatFit;
        while (low < high) {
            const size_t middle = low + (high - low + 1) / 2;
            if (fitsWith(middle, MIN_CUT_VALUE_BYTES))
                low = middle;
            else
                high = middle - 1;
        }
        answer.pbusSent = low;
        answer.fits = fitsWith(low, MIN_CUT_VALUE_BYTES);
    }
    answer.valueLimit = whole > valueLimit ? valueLimit : 0;
    answer.oesPackage = oesPackageOf(fields.programs, valueLimit);
    answer.pbuPackage = pbuPackageOf(fields.pbus, answer.pbusSent, valueLimit);
    return answer;
}

} // namespace tarvo
