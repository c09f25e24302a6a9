// vellumix-padd-picture: the capture service's picture decoder, run once per
// ShowImage (see PictureHelper.h). Not for people: it reads a picture file
// on standard input and answers on standard output.
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "padd/PictureHelper.h"
#include "padlink/PadProtocol.h"
#include "padpicture/LcdPicture.h"
#include "sigfiles/FileAccess.h"

int main() {
    namespace padd = vellumix::tools::padd;
    const vellumix::sigfiles::ReadResult file =
        vellumix::sigfiles::ReadWholeDescriptor(STDIN_FILENO);
    std::string error = file.error;
    vellumix::padpicture::PadPixelsResult pixels;
    if (error.empty()) {
        pixels = vellumix::padpicture::PadPixelsFromBytes(file.bytes);
        error = pixels.error;
    }
    std::vector<std::uint8_t> answer;
    if (error.empty()) {
        answer.push_back(static_cast<std::uint8_t>(padd::kPixelsTag));
        answer.insert(answer.end(), pixels.pixels.begin(), pixels.pixels.end());
    } else {
        answer.push_back(static_cast<std::uint8_t>(padd::kErrorTag));
        answer.insert(answer.end(), error.begin(),
                      error.begin() + static_cast<std::ptrdiff_t>(
                                          std::min(error.size(), padd::kMaxPictureError)));
    }
    return padd::WriteAll(STDOUT_FILENO, answer.data(), answer.size()) && error.empty() ? 0 : 1;
}
