// The program's document: empty. The program keeps no data of its own in a
// document; the signature lives in the Signature page and files are read and
// written by the pages' own commands.
#pragma once

namespace vellumix::app {

class CVellumixDemoDoc {
public:
    // A new document holds nothing, so making one always succeeds.
    bool OnNewDocument() { return true; }
};

}  // namespace vellumix::app
