// The observable host that the console keeps, with its troubleshooting answers.
#pragma once

#include "host/Host.h"
#include "host/HostObservers.h"

#include <array>
#include <string>
#include <vector>

namespace tarvo {

// One troubleshooting answer shown in the detail window.
struct HostResult
{
    std::string text;
};

class HostSubject : public Host
{
public:
    // A host with defaults; the host list reader uses it as its reading buffer.
    HostSubject() = default;
    // Copies name, address, port and both program flags of `templateHost` and takes over its
    // PBU records (in order, with all their members); the template's PBU list is left empty.
    explicit HostSubject(Host &templateHost);
    // A host made by the add dialog: both program flags "N".
    HostSubject(std::string hostName, std::string channelIP, std::string port);
    ~HostSubject() override;

    // Appends an observer (not owned); it stays attached for the subject's lifetime.
    void attach(HostObserver *observer);
    // Calls update on every observer, in attach order.
    void notify();

    // Answers of troubleshooting steps 1 to 5: results[n - 1] holds step n.
    std::array<HostResult, 5> results;

    const std::vector<HostObserver *> &getObservers() const { return observers; }

private:
    std::vector<HostObserver *> observers;
};

} // namespace tarvo
