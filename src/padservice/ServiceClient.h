// A client of the capture service for our own programs: padctl's --service
// mode, the tests and the benchmarks. The calls with their time-outs, the
// Points and PadLost of the pads it watches, and errors told apart by name.
//
// Signals are handled inside Process, never inside a call: a call waits for
// its answer and keeps what else arrives for the next Process.
//
// Thread safety: none; one thread uses a client (sd-bus is not thread-safe).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sdbus {
class IConnection;
class IProxy;
}  // namespace sdbus

namespace vellumix::padservice {

// A named error from the service or the bus ("org.vellumix.Pad1.Error.Busy").
class ServiceError : public std::runtime_error {
public:
    ServiceError(std::string name, std::string message)
        : std::runtime_error(message), m_name(std::move(name)), m_message(std::move(message)) {}
    const std::string& Name() const { return m_name; }
    const std::string& Message() const { return m_message; }

private:
    std::string m_name;
    std::string m_message;
};

struct PadInfo {
    std::string path;
    std::string port;
    std::string transport;  // "usb" or "serial"
    bool connected = false;
    std::string claimedBy;
};

// One entry of a Points signal.
struct ReceivedPoint {
    double ms = 0;  // since the capture started
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    bool down = false;
};

class ServiceClient {
public:
    using PointsHandler = std::function<void(const std::vector<ReceivedPoint>& points)>;

    // address: a D-Bus address, or empty for the session bus. Throws
    // ServiceError when the bus cannot be reached.
    explicit ServiceClient(const std::string& address = {});
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    std::string UniqueName() const;

    // Each throws ServiceError with the service's error. The service is
    // started on demand by the bus if it is not running.
    std::vector<std::string> PadPaths();
    PadInfo Pad(const std::string& path);
    void Claim(const std::string& path);
    void Release(const std::string& path);
    void StartCapture(const std::string& path, const std::string& prompt = {}, bool clear = false);
    std::string StopCapture(const std::string& path);
    void Clear(const std::string& path);
    void ShowText(const std::string& path, int x, int y, const std::string& text);
    // fd: an open picture file; the bus passes a copy of the descriptor.
    void ShowImage(const std::string& path, int fd);
    void SetLeds(const std::string& path, const std::string& word);

    // Handlers for a pad's signals, from the next Process on.
    void OnPoints(const std::string& path, PointsHandler handler);
    void OnPadLost(const std::string& path, std::function<void()> handler);

    // Handles everything that has arrived, waiting up to `wait` for the
    // first of it. Returns false when the bus connection failed.
    bool Process(std::chrono::milliseconds wait);

private:
    sdbus::IProxy& Proxy(const std::string& path);

    std::unique_ptr<sdbus::IConnection> m_connection;
    std::map<std::string, std::unique_ptr<sdbus::IProxy>> m_proxies;
    std::map<std::string, PointsHandler> m_pointsHandlers;
    std::map<std::string, std::function<void()>> m_lostHandlers;
};

}  // namespace vellumix::padservice
