// The answers of one simulated agent.
#include "FarmHost.h"

#include "host/Oes.h"
#include "host/Pbu.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace tarvo::farm {

namespace {

const std::string kNameA = "A股报盘程序";
const std::string kNameB = "B股报盘程序";
const std::string kRunning = "3";
const std::string kStopped = "1";

std::string operatorCode(char program, int index)
{
    char text[16];
    std::snprintf(text, sizeof text, "%c%010d", program, index);
    return text;
}

std::string encoded(const std::string &sequence, std::unique_ptr<MessageBody> body)
{
    Message message(PROTOCOL_VERSION, "S", sequence, std::move(body));
    return message.encode();
}

} // namespace

FarmHost::FarmHost(std::string address, const FarmBehaviour &behaviour, uint32_t seed)
    : m_address(std::move(address)), m_behaviour(behaviour), m_random(seed)
{
    // The first half of the PBUs belongs to the A-share program, the rest to the B-share one.
    const int count = behaviour.pbusPerHost;
    const int ofA = (count + 1) / 2;
    for (int i = 0; i < count; ++i) {
        FarmPbu pbu;
        const bool a = i < ofA;
        pbu.oesName = a ? kNameA : kNameB;
        pbu.operatorNumber = operatorCode(a ? 'A' : 'B', a ? i + 1 : i - ofA + 1);
        pbu.submitted = m_random() % 1000;
        pbu.responded = pbu.submitted;
        pbu.trades = pbu.submitted / 2;
        m_pbus.push_back(std::move(pbu));
    }
}

void FarmHost::step()
{
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (FarmPbu &pbu : m_pbus) {
        if (m_behaviour.stateRate > 0 && chance(m_random) < m_behaviour.stateRate)
            pbu.running = !pbu.running;
        if (pbu.running && m_behaviour.changeRate > 0 && chance(m_random) < m_behaviour.changeRate) {
            const uint64_t more = 1 + m_random() % 20;
            pbu.submitted += more;
            pbu.responded += more;
            pbu.trades += (more + 1) / 2;
        }
    }
}

std::string FarmHost::oesPackage() const
{
    std::string package;
    for (const std::string *name : {&kNameA, &kNameB}) {
        Oes oes;
        oes.setOesExist("Y");
        oes.setOesName(*name);
        oes.setOesType(name == &kNameA ? "ASHR" : "BSHR");
        oes.setOesStatus("运行");
        oes.setOesVersion("V3.2.1");
        oes.setWarningLevel("0");
        package += oes.toString();
    }
    return package;
}

std::string FarmHost::pbuPackage() const
{
    std::string package;
    for (const FarmPbu &farmPbu : m_pbus) {
        Pbu pbu(farmPbu.oesName, farmPbu.operatorNumber);
        pbu.setOesType(farmPbu.oesName == kNameA ? "ASHR" : "BSHR");
        pbu.setPbuStatus(farmPbu.running ? kRunning : kStopped);
        // The counters and the gateway travel only while the PBU runs.
        if (farmPbu.running) {
            pbu.setPbuBidNumber(std::to_string(farmPbu.submitted));
            pbu.setPbuResponseNumber(std::to_string(farmPbu.responded));
            pbu.setPbuTradeNumber(std::to_string(farmPbu.trades));
            pbu.setMaxOrderNumber("99999999");
            pbu.setCsIP("10.8.1.1");
            pbu.setHostExtIP(m_address);
            pbu.setCapability("200");
            pbu.setWork("1");
            pbu.setWarningLevel("0");
        }
        package += pbu.toString();
    }
    return package;
}

std::string FarmHost::hostTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string FarmHost::statusAnswer(const std::string &sequence)
{
    step();
    std::uniform_int_distribution<int> usage(3, 60);
    return encoded(sequence, std::make_unique<StatusResponseMessageBody>(
                                 "正常运行", hostTime(), std::to_string(usage(m_random)),
                                 std::to_string(usage(m_random)), std::to_string(usage(m_random)),
                                 m_behaviour.envNo, oesPackage(), pbuPackage()));
}

std::string FarmHost::answer(const std::string &messageType, const std::string &sequence,
                             const std::string &shootingType)
{
    if (messageType == "02")
        return statusAnswer(sequence);
    if (messageType == "19") {
        std::string result = "OK";
        if (shootingType == "AgentVersion")
            result = "0228305";
        else if (shootingType == "CheckCS")
            result = "NoCon";
        return encoded(sequence, std::make_unique<TroubleShootingResponseMessageBody>(
                                     "TroubleShooting", shootingType, result));
    }
    return {};
}

std::string FarmHost::logMessage(const std::string &text)
{
    const std::string record = "INFO " + std::to_string(++m_logNumber) + " " + text + '\x02';
    return encoded("-1", std::make_unique<LogMessageBody>(record));
}

std::string FarmHost::heartbeat()
{
    return encoded("-1", std::make_unique<BeatMessageBody>());
}

} // namespace tarvo::farm
