// One simulated agent of the farm: its programs and PBUs, and the answers it gives to the
// console's requests, built with the protocol library as the real agent builds them.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tarvo::farm {

// How the simulated hosts behave.
struct FarmBehaviour
{
    int pbusPerHost = 20;
    // Share (0..1) of the running PBUs whose counters grow between two status answers.
    double changeRate = 0.5;
    // Share (0..1) of the PBUs that change state (running <-> stopped) between two answers.
    double stateRate = 0.001;
    std::string envNo = "00";
};

struct FarmPbu
{
    std::string oesName;
    std::string operatorNumber;
    bool running = true;
    uint64_t submitted = 0;
    uint64_t responded = 0;
    uint64_t trades = 0;
};

class FarmHost
{
public:
    FarmHost(std::string address, const FarmBehaviour &behaviour, uint32_t seed);

    const std::string &address() const { return m_address; }
    const std::vector<FarmPbu> &pbus() const { return m_pbus; }

    // The whole answer to one request (its wire bytes), or the empty text when the request
    // gets none (heartbeats, unknown types). Status answers move the PBUs on first.
    std::string answer(const std::string &messageType, const std::string &sequence,
                       const std::string &shootingType);

    // The status answer for `sequence`; the PBUs move on one step first.
    std::string statusAnswer(const std::string &sequence);
    // The OES and PBU packages of the current state.
    std::string oesPackage() const;
    std::string pbuPackage() const;
    // One pushed log message (type "13") holding one record.
    std::string logMessage(const std::string &text);

    static std::string heartbeat();
    // "2026-01-02 03:04:05 ": the local time as the agent writes it.
    static std::string hostTime();

private:
    void step();

    std::string m_address;
    FarmBehaviour m_behaviour;
    std::vector<FarmPbu> m_pbus;
    std::mt19937 m_random;
    long m_logNumber = 0;
};

} // namespace tarvo::farm
