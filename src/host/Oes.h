// One order-submission program on a host, as it travels in the OES package.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo {

// Item layout (each field followed by the separator): oesExist, oesName, oesType,
// oesStatus, oesVersion, warningLevel.
class Oes
{
public:
    Oes();
    virtual ~Oes() = default;
    Oes(const Oes &) = default;
    Oes &operator=(const Oes &) = default;

    // Reads one item starting at the 1-based `position` and moves it past the item.
    // Throws the field errors ("<name> field not exists <other> instead", "Field not
    // complete(1), typeName=...") when a field is missing or out of order; the members read
    // before the failure keep their new values.
    void readItem(std::string_view text, size_t &position);
    // Reads the first two items of a package straight into `a` and `b` when every one of
    // their fields is written as senders write it ("<ID>=value" in item order, each ended by
    // the separator, the last one by the separator or the end of the text) and returns true;
    // otherwise returns false and changes nothing, and readItem then reads and judges the text.
    static bool readPlainPair(std::string_view text, Oes &a, Oes &b);
    // Copies all six members.
    void assign(const Oes &other);
    // The item's wire text.
    std::string toString() const;

    const std::string &getOesExist() const { return oesExist; }
    const std::string &getOesType() const { return oesType; }
    const std::string &getOesName() const { return oesName; }
    const std::string &getOesStatus() const { return oesStatus; }
    const std::string &getOesVersion() const { return oesVersion; }
    const std::string &getWarningLevel() const { return warningLevel; }
    void setOesExist(std::string v) { oesExist = std::move(v); }
    void setOesType(std::string v) { oesType = std::move(v); }
    void setOesName(std::string v) { oesName = std::move(v); }
    void setOesStatus(std::string v) { oesStatus = std::move(v); }
    void setOesVersion(std::string v) { oesVersion = std::move(v); }
    void setWarningLevel(std::string v) { warningLevel = std::move(v); }

protected:
    std::string oesExist;
    std::string oesType;
    std::string oesName;
    std::string oesStatus;
    std::string oesVersion;
    std::string warningLevel;
};

} // namespace tarvo
