// Applying status and troubleshooting answers, and the pool that matches them.
#include "comm/MessageCommand.h"
#include "comm/MessageCommandPool.h"

#include "protocol/Convert.h"
#include "protocol/MessageBodies.h"

#include <stdexcept>

namespace tarvo {

MessageCommand::MessageCommand(int32_t sequence, std::string channelIP, HostSubject *host)
    : sequence(sequence)
    , channelIP(std::move(channelIP))
    , host(host)
{
}

std::string MessageCommand::key() const { return channelIP + "-" + std::to_string(sequence); }

std::string StatusMessageCommand::execute(Message &message)
{
    const MessageBody *body = message.getBody();
    if (!body)
        throw std::runtime_error("Status answer of type " + message.getMessageType()
                                 + " carries no body");
    // Checked before anything is copied: another answer under this sequence must not blank
    // the host's fields.
    if (!dynamic_cast<const StatusResponseMessageBody *>(body))
        throw std::runtime_error("Status answer of type " + message.getMessageType()
                                 + " is no status response");
    HostSubject &h = *host;
    h.setHostStatus(body->getFieldValue("hostStatus"));
    h.setHostTime(body->getFieldValue("HostTime"));
    h.setCpuUsage(body->getFieldValue("cpuUsage"));
    h.setMemoryUsage(body->getFieldValue("memoryUsage"));
    h.setDiskUsage(body->getFieldValue("diskUsage"));
    h.setEnvNo(body->getFieldValue("envNo"));
    h.updateOes(body->getFieldValue("oesPackage"));
    h.updatePbus(body->getFieldValue("pbuPackage"));
    h.noteStatusAnswer();
    h.notify();
    return {};
}

std::string TroubleShootingCommand::execute(Message &message)
{
    const MessageBody *body = message.getBody();
    if (!body)
        return {};
    const std::string &type = body->getFieldValue("ShootingType");
    const std::string &result = body->getFieldValue("result");
    std::string answer;
    size_t entry = 0;
    if (type == "AgentVersion") {
        answer = result == EXPECTED_AGENT_VERSION ? "探针版本信息正确"
                                                  : "探针版本与监视界面版本不一致";
        entry = 3;
    } else if (type == "CheckCfgFile") {
        answer = result == "OK" ? "探针配置文件正常" : result;
        entry = 4;
    } else if (type == "CheckCS") {
        answer = result == "NoCon" ? "HOST没有与任何CS建立连接" : result;
        entry = 5;
    } else {
        return {};
    }
    host->setTroubleShootingText(answer);
    host->troubleShootingPending = false;
    host->results[entry - 1].text = answer;
    return {};
}

void MessageCommandPool::add(std::unique_ptr<MessageCommand> command)
{
    if (!command)
        return;
    commands.insert_or_assign(command->key(), std::move(command));
}

std::string MessageCommandPool::dispatch(Message &message, std::string_view channelIP)
{
    std::string key(channelIP);
    key += '-';
    key += message.getSequence();
    auto it = commands.find(key);
    if (it == commands.end()) {
        if (std::optional<int32_t> s = tryToInt(message.getSequence()))
            purge(channelIP, *s);
        return {};
    }
    std::string result = it->second->execute(message);
    // The command may have changed the pool (it does not today); look the key up again.
    it = commands.find(key);
    if (it != commands.end())
        commands.erase(it);
    return result;
}

void MessageCommandPool::purge(std::string_view channelIP, int32_t sequence)
{
    // The keys of one address lie together: from "ip-" up to "ip." ('.' follows '-').
    std::string first(channelIP);
    first += '-';
    std::string last(channelIP);
    last += '.';
    const auto end = commands.lower_bound(last);
    for (auto it = commands.lower_bound(first); it != end;) {
        const std::string &key = it->first;
        const size_t dash = key.find('-');
        const std::string_view address = std::string_view(key).substr(0, dash);
        std::optional<int32_t> s;
        if (dash != std::string::npos)
            s = tryToInt(std::string_view(key).substr(dash + 1));
        if (address == channelIP && s && *s < sequence)
            it = commands.erase(it);
        else
            ++it;
    }
}

} // namespace tarvo
