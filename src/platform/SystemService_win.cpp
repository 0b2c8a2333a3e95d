// The service control manager of Windows: registering, starting, stopping and removing a
// service, and running one (StartServiceCtrlDispatcher, a control handler for the stop).
#include "platform/SystemService.h"

#include "platform/WinText.h"

#include <windows.h>

#include <thread>

namespace tarvo {
namespace {

// A service manager or service handle, closed when it goes.
class ServiceHandle
{
public:
    explicit ServiceHandle(SC_HANDLE handle = nullptr) : m_handle(handle) {}
    ~ServiceHandle()
    {
        if (m_handle)
            ::CloseServiceHandle(m_handle);
    }
    ServiceHandle(ServiceHandle &&other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    ServiceHandle(const ServiceHandle &) = delete;
    ServiceHandle &operator=(const ServiceHandle &) = delete;
    SC_HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SC_HANDLE m_handle;
};

std::string failed(const std::string &what)
{
    return what + ": " + win::lastErrorText();
}

ServiceHandle openManager(DWORD access, std::string &error)
{
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, access));
    if (!manager)
        error = failed("the service control manager cannot be opened");
    return manager;
}

ServiceHandle openService(const std::string &name, DWORD access, std::string &error)
{
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT, error);
    if (!manager)
        return ServiceHandle();
    ServiceHandle service(::OpenServiceW(manager.get(), win::widen(name).c_str(), access));
    if (!service)
        error = failed("the service " + name + " cannot be opened");
    return service;
}

// Waits until the service is in `state`; false after `wait`, or when it stopped instead.
bool waitForState(SC_HANDLE service, DWORD state, std::chrono::milliseconds wait,
                  SERVICE_STATUS &status)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (!::QueryServiceStatus(service, &status))
            return false;
        if (status.dwCurrentState == state)
            return true;
        if (status.dwCurrentState == SERVICE_STOPPED || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string exitText(const SERVICE_STATUS &status)
{
    if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
        return "exit code " + std::to_string(status.dwServiceSpecificExitCode);
    return win::errorText(status.dwWin32ExitCode);
}

// What runs the service: the manager calls serviceMain on a thread of its own.
struct Running
{
    std::wstring name;
    const std::function<int(const std::function<void()> &)> *body = nullptr;
    const std::function<void()> *stop = nullptr;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    SERVICE_STATUS status{};
    int exitCode = 0;
};
Running running;

void report(DWORD state, DWORD accepted = 0)
{
    running.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    running.status.dwCurrentState = state;
    running.status.dwControlsAccepted = accepted;
    running.status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 30000;
    ++running.status.dwCheckPoint;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        running.status.dwCheckPoint = 0;
    ::SetServiceStatus(running.statusHandle, &running.status);
}

DWORD WINAPI onControl(DWORD control, DWORD, void *, void *)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report(SERVICE_STOP_PENDING);
        (*running.stop)();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, wchar_t **)
{
    running.statusHandle =
        ::RegisterServiceCtrlHandlerExW(running.name.c_str(), onControl, nullptr);
    if (!running.statusHandle)
        return;
    report(SERVICE_START_PENDING);
    running.exitCode = (*running.body)(
        [] { report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN); });
    running.status.dwWin32ExitCode = running.exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    running.status.dwServiceSpecificExitCode = DWORD(running.exitCode);
    report(SERVICE_STOPPED);
}

} // namespace

bool systemServicesAvailable() { return true; }

std::string installService(const ServiceDefinition &definition)
{
    std::string error;
    ServiceHandle manager = openManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, error);
    if (!manager)
        return error;
    const std::wstring commandLine = win::commandLine(definition.executable, definition.arguments);
    ServiceHandle service(::CreateServiceW(
        manager.get(), win::widen(definition.name).c_str(),
        win::widen(definition.displayName).c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr, nullptr,
        nullptr, nullptr));
    if (!service)
        return failed("the service " + definition.name + " cannot be registered");
    std::wstring description = win::widen(definition.description);
    SERVICE_DESCRIPTIONW text{description.data()};
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &text);
    // Restarted 10 s after each of its first failures; a day without failure resets the count.
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 10000},
                            {SC_ACTION_RESTART, 60000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 3600;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    return {};
}

std::string removeService(const std::string &name, std::chrono::milliseconds wait)
{
    std::string error;
    ServiceHandle service = openService(name, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS, error);
    if (!service)
        return error;
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        waitForState(service.get(), SERVICE_STOPPED, wait, status);
    }
    if (!::DeleteService(service.get()))
        return failed("the service " + name + " cannot be removed");
    return {};
}

std::string startService(const std::string &name, std::chrono::milliseconds wait)
{
    std::string error;
    ServiceHandle service = openService(name, SERVICE_START | SERVICE_QUERY_STATUS, error);
    if (!service)
        return error;
    // The manager refuses starts while it holds its database lock (another service starting,
    // the system still booting): tried again until the wait is over.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!::StartServiceW(service.get(), 0, nullptr)) {
        if (::GetLastError() != ERROR_SERVICE_DATABASE_LOCKED ||
            std::chrono::steady_clock::now() >= deadline)
            return failed("the service " + name + " cannot be started");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    SERVICE_STATUS status{};
    if (waitForState(service.get(), SERVICE_RUNNING, wait, status))
        return {};
    if (status.dwCurrentState == SERVICE_STOPPED)
        return "the service " + name + " stopped again at once (" + exitText(status) +
               "); its log says why";
    return "the service " + name + " was not running after " +
           std::to_string(wait.count() / 1000) + " s";
}

std::string stopService(const std::string &name, std::chrono::milliseconds wait)
{
    std::string error;
    ServiceHandle service = openService(name, SERVICE_STOP | SERVICE_QUERY_STATUS, error);
    if (!service)
        return error;
    SERVICE_STATUS status{};
    if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return failed("the service " + name + " cannot be stopped");
    if (waitForState(service.get(), SERVICE_STOPPED, wait, status))
        return {};
    return "the service " + name + " had not stopped after " +
           std::to_string(wait.count() / 1000) + " s";
}

int runAsService(const std::string &name,
                 const std::function<int(const std::function<void()> &running)> &body,
                 const std::function<void()> &stop, std::string &error)
{
    running.name = win::widen(name);
    running.body = &body;
    running.stop = &stop;
    SERVICE_TABLE_ENTRYW table[] = {{running.name.data(), serviceMain}, {nullptr, nullptr}};
    if (!::StartServiceCtrlDispatcherW(table)) {
        error = ::GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                    ? "not started by the service control manager (use --start-service)"
                    : failed("the service cannot reach the service control manager");
        return -1;
    }
    return running.exitCode;
}

} // namespace tarvo
