// One PBU (trading unit) served by an order-submission program, as in the PBU package.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo {

// Identified within its host by (oesName, operatorNumber). Item layout (each field followed
// by the separator): oesName, operatorNumber, oesType, pbuStatus, pbuBidNumber,
// pbuResponseNumber, pbuTradeNumber, MaxOrderNumber, csIP, hostExtIP, capability, work,
// warningLevel.
class Pbu
{
public:
    Pbu() = default;
    Pbu(std::string oesName, std::string operatorNumber);
    Pbu(std::string operatorNumber, std::string oesType, std::string pbuStatus,
        std::string pbuBidNumber, std::string pbuResponseNumber, std::string pbuTradeNumber,
        std::string maxOrderNumber, std::string csIP, std::string hostExtIP,
        std::string capability, std::string work, std::string warningLevel);

    // Reads one item starting at the 1-based `position` and moves it past the item.
    // Field errors propagate as in Oes::readItem.
    void readItem(std::string_view text, size_t &position);
    // The item's wire text.
    std::string toString() const;
    // Back to the display state of a new record: fresh, every change flag "F".
    void resetDisplayState();

    // Display state kept with the record: not in the latest response, and change flags
    // ("T" the cell changed at the last refresh, "F" not).
    bool stale = false;
    std::string oesStatusChanged = "F";
    std::string statusChanged = "F";
    std::string csIPChanged = "F";
    std::string localIPChanged = "F";
    std::string submittedChanged = "F";
    std::string responsedChanged = "F";
    std::string cjhbChanged = "F";

    const std::string &getOperatorNumber() const { return operatorNumber; }
    const std::string &getOesType() const { return oesType; }
    const std::string &getOesName() const { return oesName; }
    const std::string &getPbuStatus() const { return pbuStatus; }
    const std::string &getPbuBidNumber() const { return pbuBidNumber; }
    const std::string &getPbuResponseNumber() const { return pbuResponseNumber; }
    const std::string &getPbuTradeNumber() const { return pbuTradeNumber; }
    const std::string &getMaxOrderNumber() const { return MaxOrderNumber; }
    const std::string &getCsIP() const { return csIP; }
    const std::string &getHostExtIP() const { return hostExtIP; }
    const std::string &getCapability() const { return capability; }
    const std::string &getWork() const { return work; }
    const std::string &getWarningLevel() const { return warningLevel; }
    void setOperatorNumber(std::string v) { operatorNumber = std::move(v); }
    void setOesType(std::string v) { oesType = std::move(v); }
    void setOesName(std::string v) { oesName = std::move(v); }
    void setPbuStatus(std::string v) { pbuStatus = std::move(v); }
    void setPbuBidNumber(std::string v) { pbuBidNumber = std::move(v); }
    void setPbuResponseNumber(std::string v) { pbuResponseNumber = std::move(v); }
    void setPbuTradeNumber(std::string v) { pbuTradeNumber = std::move(v); }
    void setMaxOrderNumber(std::string v) { MaxOrderNumber = std::move(v); }
    void setCsIP(std::string v) { csIP = std::move(v); }
    void setHostExtIP(std::string v) { hostExtIP = std::move(v); }
    void setCapability(std::string v) { capability = std::move(v); }
    void setWork(std::string v) { work = std::move(v); }
    void setWarningLevel(std::string v) { warningLevel = std::move(v); }

private:
    std::string operatorNumber;
    std::string oesType;
    std::string oesName;
    std::string pbuStatus = "0";
    std::string pbuBidNumber;
    std::string pbuResponseNumber;
    std::string pbuTradeNumber;
    std::string MaxOrderNumber;
    std::string csIP;
    std::string hostExtIP;
    std::string capability;
    std::string work;
    std::string warningLevel;
};

} // namespace tarvo
