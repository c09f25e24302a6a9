// vellumix-demo: the signature pad demonstration program.
#include <QApplication>
#include <memory>

#include "app/VellumixDemoApp.h"
#include "padlink/HidPort.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/HidapiBackend.h"

namespace app = vellumix::app;
namespace pl = vellumix::padlink;

int main(int argc, char** argv) {
    // The process-wide objects, in the order the program has always built
    // them: the serial port (closed), the application, the HID port (no
    // device). They go in the opposite order, after the frame.
    pl::SerialPort serialPort(pl::DefaultPortFolder());
    QApplication qtApp(argc, argv);
    app::CVellumixDemoApp theApp;
    pl::HidPort hidPort(std::make_unique<pl::HidapiBackend>());

    if (!theApp.InitInstance(pl::PadPorts{serialPort, hidPort})) {
        return 1;
    }
    const int status = QApplication::exec();
    theApp.ExitInstance();
    return status;
}
