// ShowImage's pictures, decoded in a short-lived helper process,
// vellumix-padd-picture, with the picture step padctl's image command uses
// (padpicture::PadPixelsFromBytes). Two reasons: a picture from any client
// that makes the decoder crash or run wild takes down the helper, never the
// service; and the service itself loads no Qt, so it stays small while it
// waits (Qt and its libraries are most of a process's memory here).
//
// The helper reads the file from its standard input (a memfd with the bytes
// the service read from the client's descriptor) by the same rules as a
// file, and writes kPixelsTag and the 230,400 pixel bytes, or kErrorTag and
// why, to its standard output.
//
// Thread safety: the decoder may run on several pads' workers at once; each
// call has its own helper.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "padservice/PadObject.h"

namespace vellumix::tools::padd {

inline constexpr char kPixelsTag = 'P';
inline constexpr char kErrorTag = 'E';
// Decoding is refused past this: far beyond any picture the cap lets in.
inline constexpr std::chrono::seconds kPictureHelperTimeout{30};
// The most an error text may be.
inline constexpr std::size_t kMaxPictureError = 1024;

namespace picture {
inline constexpr const char* kNoHelper = "pictures cannot be decoded here: %s";
inline constexpr const char* kHelperFailed = "the picture decoder failed on it";
inline constexpr const char* kHelperTooSlow = "the picture took too long to decode";
}  // namespace picture

// Where the helper is installed, next to the service: the program's folder
// and the relative path from the installed bin to libexec.
std::filesystem::path DefaultPictureHelper();

// A decoder that runs the helper at `helper` for each picture.
padservice::PictureDecoder HelperDecoder(std::filesystem::path helper);

// All of data to fd, or false.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size);

}  // namespace vellumix::tools::padd
