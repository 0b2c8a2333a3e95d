// Constructors, patterns and request execution hooks of the six bodies.
#include "protocol/MessageBodies.h"

#include "protocol/PackageField.h"

#include <stdexcept>

namespace tarvo {
namespace {

StatusRequestMessageBody::Executor &statusExecutor()
{
    static StatusRequestMessageBody::Executor executor;
    return executor;
}

TroubleShootingRequestMessageBody::Executor &troubleShootingExecutor()
{
    static TroubleShootingRequestMessageBody::Executor executor;
    return executor;
}

} // namespace

std::unique_ptr<MessageBody> StatusRequestMessageBody::execute()
{
    if (!statusExecutor())
        return MessageBody::execute();
    return statusExecutor()(*this);
}

void StatusRequestMessageBody::setExecutor(Executor executor)
{
    statusExecutor() = std::move(executor);
}

StatusResponseMessageBody::StatusResponseMessageBody(std::string hostStatus, std::string hostTime,
                                                     std::string cpuUsage, std::string memoryUsage,
                                                     std::string diskUsage, std::string envNo,
                                                     std::string oesPackage,
                                                     std::string pbuPackage)
{
    addField("hostStatus", std::move(hostStatus));
    addField("HostTime", std::move(hostTime));
    addField("cpuUsage", std::move(cpuUsage));
    addField("memoryUsage", std::move(memoryUsage));
    addField("diskUsage", std::move(diskUsage));
    addField("envNo", std::move(envNo));
    addField(std::make_unique<PackageField>("oesPackage", std::move(oesPackage)));
    addField(std::make_unique<PackageField>("pbuPackage", std::move(pbuPackage)));
}

std::string StatusResponseMessageBody::getPattern() const
{
    // The eight spaces are part of the pattern as it has always been written.
    return "<!hostStatus><!HostTime><!cpuUsage><!memoryUsage>        "
           "<!diskUsage><!envNo><!oesPackage><!pbuPackage>";
}

LogMessageBody::LogMessageBody(std::string sysLog)
{
    addField("sysLog", std::move(sysLog));
}

TroubleShootingRequestMessageBody::TroubleShootingRequestMessageBody(std::string serviceType,
                                                                     std::string shootingType)
{
    addField("serviceType", std::move(serviceType));
    addField("ShootingType", std::move(shootingType));
}

std::unique_ptr<MessageBody> TroubleShootingRequestMessageBody::execute()
{
    if (!troubleShootingExecutor())
        return MessageBody::execute();
    return troubleShootingExecutor()(*this);
}

void TroubleShootingRequestMessageBody::setExecutor(Executor executor)
{
    troubleShootingExecutor() = std::move(executor);
}

TroubleShootingResponseMessageBody::TroubleShootingResponseMessageBody(std::string serviceType,
                                                                       std::string shootingType,
                                                                       std::string result)
{
    addField("serviceType", std::move(serviceType));
    addField("ShootingType", std::move(shootingType));
    addField("result", std::move(result));
}

} // namespace tarvo
