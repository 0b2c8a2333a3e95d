// An event that raises the console's alarm: a lost agent connection, a program or PBU that
// stopped (these sound the beeps), or a resource alert of the detail window's rules.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

struct AlarmEvent
{
    enum class Kind { ConnectionLost, ProgramStopped, PbuStopped, ResourceAlert };
    Kind kind = Kind::ConnectionLost;
    // GBK texts, empty where the kind has none.
    std::string channelIP;
    std::string hostName;
    std::string program;    // the program's name ("A股报盘程序")
    std::string pbu;        // the PBU's operator number
    std::string state;      // the new state ("已断开", "停止") or the usage ("95%")
    std::string text;       // what the console logs for it
};

// "connection_lost", "program_stopped", "pbu_stopped", "resource_alert".
inline std::string_view alarmKindName(AlarmEvent::Kind kind)
{
    switch (kind) {
    case AlarmEvent::Kind::ConnectionLost: return "connection_lost";
    case AlarmEvent::Kind::ProgramStopped: return "program_stopped";
    case AlarmEvent::Kind::PbuStopped: return "pbu_stopped";
    case AlarmEvent::Kind::ResourceAlert: return "resource_alert";
    }
    return "alarm";
}

} // namespace tarvo
